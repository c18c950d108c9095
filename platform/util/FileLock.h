#pragma once
// Several processes share some state files (the simulated Windows' registry
// and file attributes, the change record): the program and velmora-tool may
// run at once. Each read-modify-write of such a file holds this lock.
#include <filesystem>

namespace velmora {

// Holds an exclusive lock on a lock file for its lifetime, waiting for it
// when another process holds it (flock here, LockFileEx on Windows). A lock
// file that cannot be opened gives no lock: the caller goes on without it.
class TFileLock {
public:
    explicit TFileLock(const std::filesystem::path& lockFile);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

private:
#ifdef _WIN32
    void* FHandle;
#else
    int FFd;
#endif
};

} // namespace velmora
