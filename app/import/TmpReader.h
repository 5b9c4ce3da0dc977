#pragma once
// Streaming reader of KamoMail.Tmp, the text the conversion library writes for one mailbox:
//   <Start> / From x / To x / Cc x / Subject x / Date x / Mail / body... / <End>
// The library wrote every line feed as CR LF, the body's own ones included (a body line break
// stored as CR LF is in the file as CR CR LF). The reader undoes exactly that: each line loses the
// one CR the library added, then a body line loses its own CR, and body lines are joined with CR LF.
// Values come back as the raw bytes (CP932 or ISO-2022-JP); decoding is MailDecode's job.
// Memory holds one mail at a time, whatever the file's size.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kamo {

struct TmpMail {
    std::string from;
    std::string to;
    std::string subject;
    std::string date;
    std::string body;    // lines joined with "\r\n"
    std::string header;  // the mail's own header region (framed file only)
    std::string rawBody; // the body byte for byte as the mail file holds it (framed file only; empty: see body)
};

class TmpReader {
public:
    explicit TmpReader(const std::filesystem::path& path);
    TmpReader(const TmpReader&) = delete;
    TmpReader& operator=(const TmpReader&) = delete;

    // False when the file does not exist or cannot be read: the mailbox contributes nothing.
    bool IsOpen() const { return file_ != nullptr; }
    // The next complete block; false at the end of the file. A block cut off by the end of the
    // file (no "<End>") is not returned.
    bool Next(TmpMail& mail);
    // Blocks begun but never finished (a "<Start>" inside a block, or the end of the file inside one).
    int64_t Incomplete() const { return incomplete_; }

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    bool ReadLine(std::string& line);
    bool PeekLine(std::string*& line);

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    std::string line_;
    std::string peeked_;
    bool hasPeeked_ = false;
    bool peekedAtEof_ = false;
    int64_t incomplete_ = 0;
};

} // namespace kamo
