// KamoFriend_Edit: PostPet's friend file into Friend.Tmp, one line per friend.
#include <cstdio>
#include <new>
#include <string>

#include "FileIo.h"
#include "StrChange.h"
#include "kamomail.h"

namespace kamolib {
namespace {

// Reads a one-byte length and that many bytes. Fields may be longer than PostPet's 63 bytes.
bool ReadField(SeqReader& in, std::string& field) {
    uint8_t length;
    if (!in.ReadByte(length))
        return false;
    field.resize(length);
    return in.Read(field.data(), length);
}

// The field as a zero-terminated string: up to its first zero byte.
std::string AsCString(const std::string& field) {
    return field.substr(0, field.find('\0'));
}

// A line of Friend.Tmp is one record: a field never carries the bytes that would end the line or
// be taken for the escape itself. LF (0x0A), CR (0x0D) and DLE (0x10) are written as DLE followed by
// the byte plus 0x40 ("\x10J", "\x10M", "\x10P"). Friend files hold Shift-JIS text, where none of
// these bytes occurs (a double-byte character's second byte is 0x40 or above), so the line of a
// sound record is the same as without the rule, byte for byte. Quotes and commas need no escape:
// the names carry none after the delimiter replacement, and the address is everything between the
// owner's closing quote and the last quote of the line.
constexpr char kEscape = '\x10';

std::string Escaped(std::string text) {
    if (text.find_first_of("\n\r\x10") == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == kEscape) {
            out += kEscape;
            out += static_cast<char>(c + 0x40);
        } else {
            out += c;
        }
    }
    return out;
}

std::string Converted(const std::string& field) {
    const std::string text = AsCString(field);
    std::string out(kStrChangeArea, ' ');
    out.resize(StrChange(text.c_str(), out.data(), out.size()));
    return Escaped(std::move(out));
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

void Convert(const char* friendPath, const char* outPath, int32_t& count, int32_t& code) {
    code = KAMOMAIL_OK;
    // Only a regular file: a FIFO or a device in the friend file's place is not read.
    bool missing = false;
    Fd friends = Fd::OpenRegular(friendPath, missing);
    if (!friends.IsOpen()) {
        code = KAMOMAIL_ERR_OPEN;
        return;
    }
    Fd outFd = Fd::Create(outPath);
    if (!outFd.IsOpen()) {
        code = KAMOMAIL_ERR_OPEN;
        return;
    }
    SeqReader in(friends.Get(), 64 * 1024);
    OutWriter out(outFd.Get(), 64 * 1024);
    int32_t records = 0;
    std::string petName, ownerName, address, line;
    try {
        for (;;) {
            uint32_t petKind, mailCount;
            if (!in.ReadU32(petKind) || !ReadField(in, petName) || !ReadField(in, ownerName) ||
                !ReadField(in, address) || !in.ReadU32(mailCount))
                break;
            if (records < INT32_MAX)
                ++records;
            // The line is built whole, however long its fields.
            line = "\"" + Hex(petKind) + "\",\"" + Converted(petName) + " \",\"" + Converted(ownerName) + " \",\"" +
                   Escaped(AsCString(address)) + "\"," + Hex(mailCount) + "\n";
            out.PutText(line);
            if (out.Failed())
                break;
        }
    } catch (const std::bad_alloc&) {
        out.Flush();
        count = records;
        code = KAMOMAIL_ERR_BODY_MEMORY;
        return;
    }
    count = records;
    code = records == 0 ? KAMOMAIL_NOTHING : KAMOMAIL_OK;
    if (!out.Flush())
        code = KAMOMAIL_ERR_OPEN;
}

} // namespace
} // namespace kamolib

extern "C" int16_t KamoFriend_Edit(const char* friendPath, const char* outPath, int32_t* count, int32_t* code) {
    int32_t localCount = 0, localCode = 0;
    int32_t& countRef = count ? *count : localCount;
    int32_t& codeRef = code ? *code : localCode;
    try {
        kamolib::Convert(friendPath, outPath, countRef, codeRef);
    } catch (const std::bad_alloc&) {
        codeRef = KAMOMAIL_ERR_BODY_MEMORY;
    } catch (...) {
        codeRef = KAMOMAIL_ERR_OPEN;
    }
    return 0;
}
