#include "platform/sim/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velmora::sim {

TFileLock::TFileLock(const std::filesystem::path& lockFile)
    : FFd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (FFd >= 0)
        while (::flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
        }
}

TFileLock::~TFileLock() {
    if (FFd >= 0)
        ::close(FFd); // closing releases the lock
}

} // namespace velmora::sim
