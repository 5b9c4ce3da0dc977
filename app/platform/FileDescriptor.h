#pragma once
// A file descriptor (a file, a folder, a socket) closed when it goes, unless it was handed on.
#include <unistd.h>

#include <utility>

namespace kamo {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    // The descriptor, no longer closed here.
    int Release() { return std::exchange(fd_, -1); }
    // Closes it now; false when close reports a failure (a write not made durable, for one).
    bool Close() {
        if (fd_ < 0)
            return true;
        return ::close(std::exchange(fd_, -1)) == 0;
    }

private:
    int fd_;
};

} // namespace kamo
