#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

namespace velmora::test {
namespace fs = std::filesystem;

TTempDir::TTempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("velmora-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            FPath = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TTempDir::~TTempDir() {
    std::error_code ec;
    // Tests make folders read-only now and then; give the owner rights back.
    for (auto it = fs::recursive_directory_iterator(FPath, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
}

TRecordingMessages::TRecordingMessages() : FPrevious(SetMessageSink(this)) {}

TRecordingMessages::~TRecordingMessages() {
    SetMessageSink(FPrevious);
}

int TRecordingMessages::Show(const TMessageRequest& request) {
    Shown.push_back(request);
    if (!FAnswers.empty()) {
        int a = FAnswers.front();
        FAnswers.pop_front();
        return a;
    }
    return request.Kind == mkQuestion ? IDNO : IDOK;
}

std::vector<std::string> TRecordingMessages::Texts() const {
    std::vector<std::string> r;
    for (const auto& m : Shown)
        r.push_back(m.Text);
    return r;
}

void WriteFile(const fs::path& path, std::string_view bytes) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TProgramRun RunProgram(const std::string& commandLine, const fs::path& scratchDir) {
    const fs::path err = scratchDir / "stderr.txt";
#ifdef _WIN32
    const std::string cmd = commandLine + " 2>\"" + err.string() + "\"";
    FILE* p = _popen(cmd.c_str(), "rb");
#else
    const std::string cmd = commandLine + " 2>'" + err.string() + "'";
    FILE* p = popen(cmd.c_str(), "r");
#endif
    TProgramRun r;
    if (!p)
        throw std::runtime_error("cannot run " + commandLine);
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        r.Out.append(buf, n);
#ifdef _WIN32
    r.Exit = _pclose(p);
#else
    const int status = pclose(p);
    r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    r.Err = ReadFile(err);
    fs::remove(err);
    return r;
}

bool MakeLink(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    std::error_code ec;
    if (fs::is_directory(target))
        fs::create_directory_symlink(target, link, ec);
    else
        fs::create_symlink(target, link, ec);
    return !ec;
#else
    if (fs::is_directory(target))
        fs::create_directory_symlink(target, link);
    else
        fs::create_symlink(target, link);
    return true;
#endif
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifdef _WIN32
// Windows has no per-process file size limit: Ok() stays false and the tests
// that need a full disk skip.
TFileSizeLimit::TFileSizeLimit(unsigned long) {}
TFileSizeLimit::~TFileSizeLimit() {}
#else
TFileSizeLimit::TFileSizeLimit(unsigned long bytes) {
    rlimit old{};
    if (getrlimit(RLIMIT_FSIZE, &old) != 0)
        return;
    FOldCur = old.rlim_cur;
    FOldMax = old.rlim_max;
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    FChanged = true;
    rlimit small = old;
    small.rlim_cur = bytes;
    FOk = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

TFileSizeLimit::~TFileSizeLimit() {
    if (!FChanged)
        return;
    rlimit old{FOldCur, FOldMax};
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, FOldHandler);
}
#endif

namespace {

void SetVariable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // An empty value removes the variable there.
    ::_putenv_s(name, value ? value->c_str() : "");
#else
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
#endif
}

} // namespace

TScopedEnv::TScopedEnv(const char* name, const std::optional<std::string>& value) : FName(name) {
    if (const char* old = std::getenv(name))
        FOld = old;
    SetVariable(name, value);
}

TScopedEnv::~TScopedEnv() {
    SetVariable(FName, FOld);
}

} // namespace velmora::test
