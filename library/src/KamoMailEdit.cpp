// KamoMail_Edit: one PostPet mailbox (list file + mail file) into the temporary text file.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

#include "FileIo.h"
#include "ListRecord.h"
#include "kamomail.h"

namespace kamolib {
namespace {

// Counting pass: records are found by their start marker and stepped over by their length field.
int32_t CountRecords(const char* listPath) {
    Fd list = Fd::OpenRead(listPath);
    if (!list.IsOpen())
        return -1;
    SeqReader in(list.Get());
    int32_t count = 0;
    for (;;) {
        char marker[4];
        uint32_t length;
        if (!in.Read(marker, 4) || std::memcmp(marker, kStartMarker, 4) != 0 || !in.ReadU32(length))
            break;
        in.Skip(uint64_t(length) + 4);
        if (count == INT32_MAX)
            break;
        ++count;
    }
    return count;
}

void WriteBlock(OutWriter& out, const Record& r, const char* body) {
    static constexpr const char* kPrefixes[5] = {"From ", "To ", "Cc ", "Subject ", "Date "};
    out.Put("<Start>\r\n", 9);
    for (int i = 0; i < 5; ++i) {
        out.Put(kPrefixes[i], std::strlen(kPrefixes[i]));
        out.PutText(r.fields[i]); // written whole, however long
        out.Put("\r\n", 2);
    }
    out.Put("Mail\r\n", 6);
    out.PutText(body, r.bodyLength);
    out.Put("\r\n<End>\r\n", 9);
}

int16_t Convert(const char* listPath, const char* mailPath, const char* outPath, int32_t& count, int32_t& code) {
    code = KAMOMAIL_OK;
    count = 0;
    const int32_t counted = CountRecords(listPath);
    if (counted < 0)
        code = KAMOMAIL_ERR_OPEN;
    if (counted <= 0) {
        Fd out = Fd::Create(outPath);
        count = 0;
        if (!out.IsOpen()) {
            code = KAMOMAIL_ERR_OPEN;
            return -1;
        }
        code = KAMOMAIL_NOTHING;
        return 0;
    }
    count = counted;

    code = KAMOMAIL_OK;
    Fd list = Fd::OpenRead(listPath);
    if (!list.IsOpen()) {
        code = KAMOMAIL_ERR_OPEN;
        return 0;
    }
    Fd mail = Fd::OpenRead(mailPath);
    struct stat mailStat;
    if (!mail.IsOpen() || ::fstat(mail.Get(), &mailStat) != 0) {
        code = KAMOMAIL_ERR_MAILFILE;
        return 0;
    }
    const uint64_t mailSize = mailStat.st_size > 0 ? static_cast<uint64_t>(mailStat.st_size) : 0;
    Fd outFd = Fd::Create(outPath);
    if (!outFd.IsOpen()) {
        code = KAMOMAIL_ERR_OPEN;
        return 0;
    }

    // Small mailboxes do not need the large buffers.
    struct stat listStat;
    const uint64_t listSize =
        ::fstat(list.Get(), &listStat) == 0 && listStat.st_size > 0 ? static_cast<uint64_t>(listStat.st_size) : 0;
    SeqReader in(list.Get(), static_cast<size_t>(std::clamp<uint64_t>(listSize + 1, 4096, 256 * 1024)));
    OutWriter out(outFd.Get(), static_cast<size_t>(std::clamp<uint64_t>(listSize + mailSize, 16384, 1024 * 1024)));
    WindowReader bodies(mail.Get(), mailSize, static_cast<size_t>(std::clamp<uint64_t>(mailSize, 4096, 1024 * 1024)));
    Record r;
    for (int32_t i = 0; i < counted; ++i) {
        try {
            if (!ReadRecord(in, r))
                break;
        } catch (const std::bad_alloc&) {
            code = KAMOMAIL_ERR_HEADER_MEMORY;
            break;
        }
        // Offsets must address bytes that exist: a record pointing elsewhere is damaged like a bad marker.
        // The header region (A..B) itself is never read; nothing of it reaches the output.
        const uint64_t a = r.headerOffset, b = r.bodyOffset, c = r.bodyLength;
        if (b < a || b > mailSize || c > mailSize - b)
            break;
        const char* data;
        try {
            data = bodies.Get(b, static_cast<size_t>(c));
        } catch (const std::bad_alloc&) {
            code = KAMOMAIL_ERR_BODY_MEMORY;
            break;
        }
        if (!data)
            break; // the file changed under us or could not be read: no bytes that were not read
        WriteBlock(out, r, data);
        if (out.Failed())
            break;
    }
    // A block that could not be written must not pass for a complete conversion.
    if (!out.Flush())
        code = KAMOMAIL_ERR_OPEN;
    return 0;
}

} // namespace
} // namespace kamolib

extern "C" int16_t KamoMail_Edit(const char* listPath, const char* mailPath, const char* outPath, int32_t* count,
                                 int32_t* code) {
    return kamolib::GuardedConversion(listPath, mailPath, outPath, count, code, kamolib::Convert);
}
