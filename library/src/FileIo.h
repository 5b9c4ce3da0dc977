#pragma once
// Buffered raw file access for the conversions: sequential reading with cheap skips, positioned reads
// of the mail file, and output that writes every line feed as CR LF.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kamolib {

// An open file descriptor, closed on destruction.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    bool IsOpen() const { return fd_ >= 0; }
    int Get() const { return fd_; }

    static Fd OpenRead(const char* path);
    // An ordinary file only: a folder, FIFO or device in its place does not open. `missing` tells
    // whether the file is simply not there.
    static Fd OpenRegular(const char* path, bool& missing);
    static Fd Create(const char* path); // create or truncate for writing

private:
    int fd_ = -1;
};

// Reads a file front to back through a buffer. A Skip past the end is allowed (later reads come up
// short), as with seeking past the end of a file.
class SeqReader {
public:
    explicit SeqReader(int fd, size_t bufferSize = 256 * 1024);

    bool Read(void* dst, size_t n);
    bool ReadByte(uint8_t& b) {
        if (pos_ == len_ && !Fill())
            return false;
        b = static_cast<uint8_t>(buf_[pos_++]);
        return true;
    }
    bool ReadU32(uint32_t& v);
    // Reads up to and including the next zero byte; `out` gets the bytes before it.
    bool ReadCString(std::string& out);
    // Steps over the bytes up to and including the next zero byte.
    bool SkipCString();
    void Skip(uint64_t n);

private:
    bool Fill();
    int fd_;
    std::unique_ptr<char[]> buf_;
    size_t cap_;
    size_t pos_ = 0;
    size_t len_ = 0;
    uint64_t fileOffset_ = 0; // offset of the byte after the buffered ones
    bool eof_ = false;
};

// Reads a file at any position through a block buffer: the framed conversion steps back to look for
// the next intact record after a damaged one. Same reading calls as SeqReader.
class PosReader {
public:
    PosReader(int fd, uint64_t fileSize, size_t blockSize = 64 * 1024);
    void Seek(uint64_t pos) { pos_ = pos; }
    uint64_t Pos() const { return pos_; }
    uint64_t Size() const { return fileSize_; }
    bool Read(void* dst, size_t n);
    bool ReadByte(uint8_t& b) { return Read(&b, 1); }
    bool ReadU32(uint32_t& v);
    bool ReadCString(std::string& out);
    bool SkipCString();
    // Position of the first occurrence of `marker` at or after `from`; Size() when there is none.
    uint64_t Find(const char (&marker)[4], uint64_t from);

private:
    bool Load(); // makes the byte at pos_ buffered; false at the end of the file
    int fd_;
    uint64_t fileSize_;
    std::unique_ptr<char[]> buf_;
    size_t cap_;
    uint64_t pos_ = 0;
    uint64_t start_ = 0; // file offset of buf_[0]
    size_t len_ = 0;
};

// Random access to the mail file through a window of it: bodies usually follow each other, so most
// lie inside the window already read and cost no system call and no copy.
class WindowReader {
public:
    WindowReader(int fd, uint64_t fileSize, size_t windowSize = 1024 * 1024);
    // The n bytes at offset, or nullptr when they cannot all be read. Throws std::bad_alloc when a body
    // larger than the window cannot get a buffer.
    const char* Get(uint64_t offset, size_t n);

private:
    int fd_;
    uint64_t fileSize_;
    size_t windowSize_;
    std::unique_ptr<char[]> buf_;
    size_t cap_ = 0;
    uint64_t start_ = 0;
    size_t len_ = 0;
};

// Buffered output; Put copies bytes as they are, PutText writes each LF byte as CR LF.
class OutWriter {
public:
    explicit OutWriter(int fd, size_t bufferSize = 1024 * 1024);
    void Put(const char* data, size_t n);
    void Put(const std::string& s) { Put(s.data(), s.size()); }
    void PutText(const char* data, size_t n);
    void PutText(const std::string& s) { PutText(s.data(), s.size()); }
    // Writes out the buffer; false when any write so far failed.
    bool Flush();
    bool Failed() const { return failed_; }

private:
    void WriteAll(const char* data, size_t n);
    int fd_;
    std::unique_ptr<char[]> buf_;
    size_t cap_;
    size_t used_ = 0;
    bool failed_ = false;
};

} // namespace kamolib
