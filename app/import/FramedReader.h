#pragma once
// Reader of the framed file KamoMail_EditFramed writes for one mailbox (format in kamomail.h): the
// library's entries one at a time, every length checked against what the file still holds. Values
// come back as raw bytes; the body is shaped as the plain text file gave it (line breaks CR LF),
// and the mail's own header region and its body byte for byte (for MIME) travel with it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "db/MailOriginals.h"

namespace kamo {

// One mail of KamoMail.Tmp, its values as raw bytes (CP932 or ISO-2022-JP); decoding is MailDecode's job.
struct TmpMail {
    std::string from;
    std::string to;
    std::string cc;
    std::string subject;
    std::string date;
    std::string body;    // lines joined with "\r\n"
    std::string header;  // the mail's own header region
    std::string rawBody; // the body byte for byte as the mail file holds it (empty: see body)
};

struct FramedEntry {
    bool damaged = false;
    uint64_t position = 0; // of the record (or the damage) in the list file
    uint64_t length = 0;   // damaged: bytes up to the next intact record
    TmpMail mail;          // intact: the mail
};

class FramedReader {
public:
    explicit FramedReader(const std::filesystem::path& path);
    FramedReader(const FramedReader&) = delete;
    FramedReader& operator=(const FramedReader&) = delete;

    // False when the file is missing, cannot be read or is not a framed file.
    bool IsOpen() const { return open_; }
    // The next entry; false at the end of the file, or when the file breaks off or cannot be read
    // (then Broken() is true: what was read before stays good).
    bool Next(FramedEntry& entry);
    bool Broken() const { return broken_; }

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    bool Take(void* dst, uint64_t n);
    bool TakeU64(uint64_t& v, int bytes);
    bool TakeField(std::string& out);

    std::unique_ptr<std::FILE, FileCloser> file_;
    uint64_t left_ = 0; // bytes not read yet
    bool open_ = false;
    bool broken_ = false;
};

// What the archive keeps of a mail (db/MailOriginals.h), and the mail again from it: the framed
// entry's seven fields, the reshaped body made again from the raw one.
MailOriginal OriginalOf(const TmpMail& mail);
TmpMail TmpMailOf(MailOriginal original);

} // namespace kamo
