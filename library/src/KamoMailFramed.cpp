// KamoMail_EditFramed: one mailbox into a framed file. Every value travels with its length, so no
// mail text can pass for a marker; a damaged list record costs that record only.
#include <algorithm>
#include <climits>
#include <new>
#include <string>
#include <sys/stat.h>

#include "FileIo.h"
#include "ListRecord.h"
#include "kamomail.h"

namespace kamolib {
namespace {

constexpr char kMagic[4] = {'K', 'M', 'F', '1'};

void PutU32(OutWriter& out, uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out.Put(b, 4);
}

void PutU64(OutWriter& out, uint64_t v) {
    PutU32(out, static_cast<uint32_t>(v));
    PutU32(out, static_cast<uint32_t>(v >> 32));
}

void PutField(OutWriter& out, const char* data, size_t n) {
    PutU32(out, static_cast<uint32_t>(n));
    out.Put(data, n);
}

// A record whose offsets point outside the mail file is as damaged as one with a broken marker.
bool OffsetsInside(const Record& r, uint64_t mailSize) {
    const uint64_t a = r.headerOffset, b = r.bodyOffset, c = r.bodyLength;
    return a <= b && b <= mailSize && c <= mailSize - b;
}

// Reads the record at `pos`; the reader is left after it when it is intact.
bool IntactRecordAt(PosReader& in, uint64_t pos, uint64_t mailSize, Record& r) {
    in.Seek(pos);
    return ReadRecord(in, r) && OffsetsInside(r, mailSize);
}

// True when the bytes from `from` to the end hold anything but zero padding.
bool AnythingLeft(PosReader& in, uint64_t from) {
    in.Seek(from);
    uint8_t b;
    while (in.ReadByte(b))
        if (b != 0)
            return true;
    return false;
}

class Framer {
public:
    Framer(PosReader& list, WindowReader& mails, uint64_t mailSize, OutWriter& out)
        : list_(list), mails_(mails), mailSize_(mailSize), out_(out) {}

    // Writes every entry; the result code for the caller (0, -4 or -5).
    int32_t Run(int32_t& entries) {
        uint64_t pos = 0;
        Record r;
        while (pos < list_.Size() && entries < INT32_MAX && !out_.Failed()) {
            if (IntactRecordAt(list_, pos, mailSize_, r)) {
                const uint64_t next = list_.Pos();
                if (const int32_t code = WriteMail(pos, r); code != KAMOMAIL_OK)
                    return code;
                ++entries;
                pos = next;
                continue;
            }
            // Damaged here: look for the next start marker that begins an intact record. Every
            // marker passed on the way starts a damaged record of its own.
            uint64_t next = list_.Find(kStartMarker, pos + 1);
            while (next < list_.Size() && !IntactRecordAt(list_, next, mailSize_, r)) {
                WriteDamage(pos, next - pos);
                ++entries;
                pos = next;
                next = list_.Find(kStartMarker, pos + 1);
            }
            if (next >= list_.Size() && pos > 0 && !AnythingLeft(list_, pos))
                break; // zero padding after the last record
            WriteDamage(pos, next - pos);
            ++entries;
            pos = next;
        }
        return KAMOMAIL_OK;
    }

private:
    // Either the whole entry is written or none of it.
    int32_t WriteMail(uint64_t pos, const Record& r) {
        const char* body;
        try {
            const uint32_t headerLength = r.bodyOffset - r.headerOffset;
            const char* header = mails_.Get(r.headerOffset, headerLength);
            if (!header)
                return KAMOMAIL_ERR_MAILFILE; // the mail file changed or failed under us
            header_.assign(header, headerLength);
        } catch (const std::bad_alloc&) {
            return KAMOMAIL_ERR_HEADER_MEMORY;
        }
        try {
            body = mails_.Get(r.bodyOffset, r.bodyLength);
        } catch (const std::bad_alloc&) {
            return KAMOMAIL_ERR_BODY_MEMORY;
        }
        if (!body)
            return KAMOMAIL_ERR_MAILFILE;
        out_.Put("M", 1);
        PutU64(out_, pos);
        for (const auto& field : r.fields)
            PutField(out_, field.data(), field.size());
        PutField(out_, header_.data(), header_.size());
        PutField(out_, body, r.bodyLength);
        return KAMOMAIL_OK;
    }

    void WriteDamage(uint64_t pos, uint64_t length) {
        out_.Put("D", 1);
        PutU64(out_, pos);
        PutU64(out_, length);
    }

    PosReader& list_;
    WindowReader& mails_;
    uint64_t mailSize_;
    OutWriter& out_;
    std::string header_; // the current mail's header region, reused
};

uint64_t SizeOf(const Fd& fd) {
    struct stat st;
    return ::fstat(fd.Get(), &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

int16_t ConvertFramed(const char* listPath, const char* mailPath, const char* outPath, int32_t& count, int32_t& code) {
    count = 0;
    code = KAMOMAIL_OK;
    bool listMissing = false;
    Fd list = Fd::OpenRegular(listPath, listMissing);
    const uint64_t listSize = list.IsOpen() ? SizeOf(list) : 0;
    if (!list.IsOpen() || listSize == 0) {
        Fd out = Fd::Create(outPath);
        if (!out.IsOpen()) {
            code = KAMOMAIL_ERR_OPEN;
            return -1;
        }
        OutWriter header(out.Get(), 16);
        header.Put(kMagic, 4);
        code = !header.Flush()                  ? KAMOMAIL_ERR_OPEN
               : (list.IsOpen() || listMissing) ? KAMOMAIL_NOTHING
                                                : KAMOMAIL_ERR_OPEN;
        return 0;
    }
    bool mailMissing = false;
    Fd mail = Fd::OpenRegular(mailPath, mailMissing);
    if (!mail.IsOpen()) {
        code = KAMOMAIL_ERR_MAILFILE;
        return 0;
    }
    const uint64_t mailSize = SizeOf(mail);
    Fd outFd = Fd::Create(outPath);
    if (!outFd.IsOpen()) {
        code = KAMOMAIL_ERR_OPEN;
        return 0;
    }
    PosReader in(list.Get(), listSize, static_cast<size_t>(std::clamp<uint64_t>(listSize, 4096, 256 * 1024)));
    OutWriter out(outFd.Get(), static_cast<size_t>(std::clamp<uint64_t>(listSize + mailSize, 16384, 1024 * 1024)));
    WindowReader bodies(mail.Get(), mailSize, static_cast<size_t>(std::clamp<uint64_t>(mailSize, 4096, 1024 * 1024)));
    out.Put(kMagic, 4);
    Framer framer(in, bodies, mailSize, out);
    code = framer.Run(count);
    // An entry that could not be written must not pass for a complete conversion.
    if (!out.Flush())
        code = KAMOMAIL_ERR_OPEN;
    return 0;
}

} // namespace
} // namespace kamolib

extern "C" int16_t KamoMail_EditFramed(const char* listPath, const char* mailPath, const char* outPath, int32_t* count,
                                       int32_t* code) {
    return kamolib::GuardedConversion(listPath, mailPath, outPath, count, code, kamolib::ConvertFramed);
}
