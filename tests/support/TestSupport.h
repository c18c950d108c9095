#pragma once
// Helpers shared by the tests of every area.
#include "install/uPubFunc.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path operator/(const std::string& rel) const { return FPath / rel; }

private:
    std::filesystem::path FPath;
};

// Installed for the lifetime of the object: records every message and answers
// from a queue (IDOK, or IDNO for questions, when the queue is empty).
class TRecordingMessages : public IMessageSink {
public:
    TRecordingMessages();
    ~TRecordingMessages() override;

    int Show(const TMessageRequest& request) override;
    void AnswerNext(int button) { FAnswers.push_back(button); }

    std::vector<TMessageRequest> Shown;
    std::vector<std::string> Texts() const;

private:
    std::deque<int> FAnswers;
    IMessageSink* FPrevious;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// A symbolic link at `link` to `target`. Linux always makes it (and throws
// when it cannot); Windows only with the right to, so there the result says
// whether the link exists.
bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link);
std::string ReadFile(const std::filesystem::path& path);

// A program run through the shell: its exit code, standard output and
// standard error (kept in a scratch file inside `scratchDir`).
struct TProgramRun {
    int Exit = -1;
    std::string Out, Err;
};
TProgramRun RunProgram(const std::string& commandLine, const std::filesystem::path& scratchDir);

// A full disk for this process while it lives: files cannot grow beyond
// `bytes` (RLIMIT_FSIZE), and a write past it fails instead of raising
// SIGXFSZ. Ok() is false when the limit could not be set.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(unsigned long bytes);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
    bool Ok() const { return FOk; }

private:
    unsigned long FOldCur = 0, FOldMax = 0;
    void (*FOldHandler)(int) = nullptr;
    bool FChanged = false; // the handler and limit need restoring
    bool FOk = false;
};

// Sets (or, given nothing, unsets) an environment variable for the lifetime of
// the object.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::optional<std::string>& value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* FName;
    std::optional<std::string> FOld;
};

} // namespace velmora::test
