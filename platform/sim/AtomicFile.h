#pragma once
// Whole-file writes that a crash cannot tear: the old or the new content.
#include <filesystem>
#include <string>
#include <string_view>

namespace velmora::sim {

// Writes a temporary file beside target, flushes it to disk and renames it
// over target. False (target untouched, no temporary left) on failure.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Holds an exclusive advisory lock on a lock file for its lifetime, so that
// several processes on one root (the program, the tool) do not interleave
// their read-modify-write of the state files.
class TFileLock {
public:
    explicit TFileLock(const std::filesystem::path& lockFile);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

private:
    int FFd;
};

// The whole file; nothing when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& file, std::string& out);

} // namespace velmora::sim
