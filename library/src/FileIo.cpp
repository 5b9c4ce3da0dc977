#include "FileIo.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
        // Non-blocking: a FIFO in a file's place reads as empty instead of waiting for a writer.
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return Fd(fd);
}

Fd Fd::OpenRegular(const char* path, bool& missing) {
    missing = false;
    Fd file = OpenRead(path);
    if (!file.IsOpen()) {
        missing = errno == ENOENT;
        return file;
    }
    struct stat st;
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Fd();
    return file;
}

Fd Fd::Create(const char* path) {
    if (!path)
        return Fd();
    int fd;
    do {
        // Mail text: readable by its owner only.
        fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
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

PosReader::PosReader(int fd, uint64_t fileSize, size_t blockSize)
    : fd_(fd), fileSize_(fileSize), buf_(new char[blockSize]), cap_(blockSize) {}

bool PosReader::Load() {
    if (pos_ >= start_ && pos_ < start_ + len_)
        return true;
    if (pos_ >= fileSize_)
        return false;
    start_ = pos_;
    len_ = 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(cap_, fileSize_ - pos_));
    while (len_ < want) {
        const ssize_t got = ::pread(fd_, buf_.get() + len_, want - len_, static_cast<off_t>(start_ + len_));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // an error ends the input like its end does
        len_ += static_cast<size_t>(got);
    }
    return len_ > 0;
}

bool PosReader::Read(void* dst, size_t n) {
    char* out = static_cast<char*>(dst);
    while (n > 0) {
        if (!Load())
            return false;
        const size_t at = static_cast<size_t>(pos_ - start_);
        const size_t take = std::min(n, len_ - at);
        std::memcpy(out, buf_.get() + at, take);
        pos_ += take;
        out += take;
        n -= take;
    }
    return true;
}

bool PosReader::ReadU32(uint32_t& v) {
    unsigned char b[4];
    if (!Read(b, 4))
        return false;
    v = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return true;
}

bool PosReader::ReadCString(std::string& out) {
    out.clear();
    for (;;) {
        if (!Load())
            return false;
        const size_t at = static_cast<size_t>(pos_ - start_);
        const char* start = buf_.get() + at;
        const void* zero = std::memchr(start, 0, len_ - at);
        const size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : len_ - at;
        out.append(start, n);
        pos_ += n;
        if (zero) {
            ++pos_;
            return true;
        }
    }
}

bool PosReader::SkipCString() {
    for (;;) {
        if (!Load())
            return false;
        const size_t at = static_cast<size_t>(pos_ - start_);
        const void* zero = std::memchr(buf_.get() + at, 0, len_ - at);
        if (zero) {
            pos_ += static_cast<size_t>(static_cast<const char*>(zero) - (buf_.get() + at)) + 1;
            return true;
        }
        pos_ += len_ - at;
    }
}

uint64_t PosReader::Find(const char (&marker)[4], uint64_t from) {
    for (uint64_t p = from; p + 4 <= fileSize_;) {
        pos_ = p;
        if (!Load())
            break;
        const size_t at = static_cast<size_t>(p - start_);
        const size_t avail = len_ - at;
        if (avail < 4) {
            // The marker may straddle two blocks: read the 4 bytes on their own.
            char four[4];
            if (Read(four, 4) && std::memcmp(four, marker, 4) == 0)
                return p;
            ++p;
            continue;
        }
        const char* hay = buf_.get() + at;
        // Search up to the last start that still has 4 bytes in this block.
        const char* hit = nullptr;
        for (const char* c = hay; c + 4 <= hay + avail; ++c) {
            c = static_cast<const char*>(std::memchr(c, marker[0], static_cast<size_t>(hay + avail - 3 - c)));
            if (!c)
                break;
            if (std::memcmp(c, marker, 4) == 0) {
                hit = c;
                break;
            }
        }
        if (hit)
            return p + static_cast<uint64_t>(hit - hay);
        p += avail - 3;
    }
    return fileSize_;
}

WindowReader::WindowReader(int fd, uint64_t fileSize, size_t windowSize)
    : fd_(fd), fileSize_(fileSize), windowSize_(windowSize) {}

const char* WindowReader::Get(uint64_t offset, size_t n) {
    if (offset > fileSize_ || n > fileSize_ - offset)
        return nullptr;
    // Before anything was read there is no window to point into: an empty body at offset 0 is
    // still an empty body, not a failed read.
    if (n == 0) {
        static const char kNothing = 0;
        return &kNothing;
    }
    if (offset >= start_ && offset - start_ <= len_ && n <= len_ - (offset - start_))
        return buf_.get() + (offset - start_);
    // Read ahead as far as the window reaches, but never past the end of the file.
    const size_t want = static_cast<size_t>(std::max<uint64_t>(n, std::min<uint64_t>(windowSize_, fileSize_ - offset)));
    if (want > cap_) {
        buf_.reset();
        cap_ = 0;
        len_ = 0;
        buf_ = std::make_unique_for_overwrite<char[]>(want);
        cap_ = want;
    }
    len_ = 0;
    start_ = offset;
    size_t got = 0;
    while (got < want) {
        const ssize_t r = ::pread(fd_, buf_.get() + got, want - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    len_ = got;
    return got >= n ? buf_.get() : nullptr;
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
        if (cap_ - used_ < 2) {
            WriteAll(buf_.get(), used_);
            used_ = 0;
        }
        // Each input byte takes at most two output bytes, so this much fits without further checks.
        const size_t chunk = std::min(n, (cap_ - used_) / 2);
        char* o = buf_.get() + used_;
        const char* p = data;
        const char* const end = data + chunk;
        // Eight bytes at a time: a word without a line feed is copied whole.
        constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
        constexpr uint64_t kLineFeeds = kOnes * '\n';
        while (std::endian::native == std::endian::little && end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            const uint64_t x = word ^ kLineFeeds;
            if (((x - kOnes) & ~x & kHighs) == 0) {
                std::memcpy(o, p, 8);
                o += 8;
                p += 8;
                continue;
            }
            // The lowest marked byte is the first line feed (higher marks can be false).
            const auto k = static_cast<size_t>(std::countr_zero(((x - kOnes) & ~x & kHighs)) >> 3);
            std::memcpy(o, p, 8); // room: at least two output bytes per input byte left
            o += k;
            *o++ = '\r';
            *o++ = '\n';
            p += k + 1;
        }
        while (p < end) {
            const char c = *p++;
            if (c == '\n')
                *o++ = '\r';
            *o++ = c;
        }
        used_ = static_cast<size_t>(o - buf_.get());
        data += chunk;
        n -= chunk;
    }
}

bool OutWriter::Flush() {
    WriteAll(buf_.get(), used_);
    used_ = 0;
    return !failed_;
}

} // namespace kamolib
