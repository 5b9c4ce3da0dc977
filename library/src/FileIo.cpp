#include "FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kamolib {

Fd::~Fd() {
    if (fd_ >= 0)
        ::close(fd_);
}

Fd Fd::OpenRead(const char* path) {
    if (!path)
        return Fd();
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return Fd(fd);
}

Fd Fd::Create(const char* path) {
    if (!path)
        return Fd();
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return Fd(fd);
}

SeqReader::SeqReader(int fd, size_t bufferSize) : fd_(fd), buf_(new char[bufferSize]), cap_(bufferSize) {}

bool SeqReader::Fill() {
    if (eof_)
        return false;
    pos_ = 0;
    len_ = 0;
    for (;;) {
        const ssize_t got = ::pread(fd_, buf_.get(), cap_, static_cast<off_t>(fileOffset_));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            eof_ = true; // an error ends the input like its end does
            return false;
        }
        len_ = static_cast<size_t>(got);
        fileOffset_ += len_;
        return true;
    }
}

bool SeqReader::Read(void* dst, size_t n) {
    char* out = static_cast<char*>(dst);
    while (n > 0) {
        if (pos_ == len_ && !Fill())
            return false;
        const size_t take = std::min(n, len_ - pos_);
        std::memcpy(out, buf_.get() + pos_, take);
        pos_ += take;
        out += take;
        n -= take;
    }
    return true;
}

bool SeqReader::ReadByte(uint8_t& b) {
    if (pos_ == len_ && !Fill())
        return false;
    b = static_cast<uint8_t>(buf_[pos_++]);
    return true;
}

bool SeqReader::ReadU32(uint32_t& v) {
    unsigned char b[4];
    if (!Read(b, 4))
        return false;
    v = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return true;
}

bool SeqReader::ReadCString(std::string& out) {
    out.clear();
    for (;;) {
        if (pos_ == len_ && !Fill())
            return false;
        const char* start = buf_.get() + pos_;
        const size_t avail = len_ - pos_;
        const void* zero = std::memchr(start, 0, avail);
        if (zero) {
            const size_t n = static_cast<size_t>(static_cast<const char*>(zero) - start);
            out.append(start, n);
            pos_ += n + 1;
            return true;
        }
        out.append(start, avail);
        pos_ = len_;
    }
}

bool SeqReader::SkipCString() {
    for (;;) {
        if (pos_ == len_ && !Fill())
            return false;
        const char* start = buf_.get() + pos_;
        const size_t avail = len_ - pos_;
        const void* zero = std::memchr(start, 0, avail);
        if (zero) {
            pos_ += static_cast<size_t>(static_cast<const char*>(zero) - start) + 1;
            return true;
        }
        pos_ = len_;
    }
}

void SeqReader::Skip(uint64_t n) {
    const size_t inBuffer = len_ - pos_;
    if (n <= inBuffer) {
        pos_ += static_cast<size_t>(n);
        return;
    }
    n -= inBuffer;
    pos_ = len_ = 0;
    // Offsets past what a file can hold simply read as end of file.
    fileOffset_ = (n > (uint64_t(1) << 62) - fileOffset_) ? (uint64_t(1) << 62) : fileOffset_ + n;
}

bool ReadAt(int fd, uint64_t offset, char* dst, size_t n) {
    while (n > 0) {
        const ssize_t got = ::pread(fd, dst, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        dst += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

OutWriter::OutWriter(int fd, size_t bufferSize) : fd_(fd), buf_(new char[bufferSize]), cap_(bufferSize) {}

void OutWriter::WriteAll(const char* data, size_t n) {
    while (n > 0 && !failed_) {
        const ssize_t put = ::write(fd_, data, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            failed_ = true;
            return;
        }
        data += put;
        n -= static_cast<size_t>(put);
    }
}

void OutWriter::Put(const char* data, size_t n) {
    if (n > cap_ - used_) {
        WriteAll(buf_.get(), used_);
        used_ = 0;
        if (n >= cap_) {
            WriteAll(data, n);
            return;
        }
    }
    std::memcpy(buf_.get() + used_, data, n);
    used_ += n;
}

void OutWriter::PutText(const char* data, size_t n) {
    while (n > 0) {
        const void* lf = std::memchr(data, '\n', n);
        if (!lf) {
            Put(data, n);
            return;
        }
        const size_t k = static_cast<size_t>(static_cast<const char*>(lf) - data);
        Put(data, k);
        Put("\r\n", 2);
        data += k + 1;
        n -= k + 1;
    }
}

bool OutWriter::Flush() {
    WriteAll(buf_.get(), used_);
    used_ = 0;
    return !failed_;
}

} // namespace kamolib
