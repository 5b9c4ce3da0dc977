#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kamo {

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(const std::filesystem::path& settingsDir,
                                                       std::string* openError) {
    const std::filesystem::path lockPath = settingsDir / kFileName;
    // O_CLOEXEC: a program started from here (a browser for the help page) must not inherit the lock.
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (openError)
            *openError = std::strerror(errno);
        return nullptr;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() {
    ::close(fd_);
}

} // namespace kamo
