#pragma once
// Several processes on one simulated root (the program, the tool) share its
// state files; each read-modify-write of them holds this lock.
#include <filesystem>

namespace velmora::sim {

// Holds an exclusive advisory lock on a lock file for its lifetime.
class TFileLock {
public:
    explicit TFileLock(const std::filesystem::path& lockFile);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

private:
    int FFd;
};

} // namespace velmora::sim
