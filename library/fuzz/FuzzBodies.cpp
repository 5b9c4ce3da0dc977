#include "FuzzBodies.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include "kamomail.h"

namespace kamofuzz {
namespace {

// One private folder per process for the files the exports read and write; removed at exit. It lives
// in memory when it can (/dev/shm): a disk file system flushes a truncated file on every close.
class TempFolder {
public:
    TempFolder() {
        std::error_code ec;
        const std::filesystem::path base = ::access("/dev/shm", W_OK) == 0 ? std::filesystem::path("/dev/shm")
                                                                           : std::filesystem::temp_directory_path(ec);
        std::string pattern = (base / "kamomail-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

const TempFolder& Temp() {
    static TempFolder folder;
    return folder;
}

void Write(const std::string& path, const char* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool IsLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrail(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

uint64_t TakeLe(const std::string& s, size_t at, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i)
        v |= uint64_t(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}

// The framed conversion of the same files: whole entries only, each inside what the input justifies,
// and one entry per list record found, intact or damaged.
std::string CheckFramed(const std::string& list, const std::string& mail, const std::string& out, size_t listSize,
                        size_t mailSize) {
    int32_t count = -100, code = -100;
    if (KamoMail_EditFramed(list.c_str(), mail.c_str(), out.c_str(), &count, &code) != 0)
        return "framed: non-zero return with all files in place";
    if (code != 0 && code != 9)
        return "framed: unexpected code " + std::to_string(code);
    const std::string framed = Read(out);
    if (framed.compare(0, 4, "KMF1") != 0)
        return "framed: no magic";
    size_t at = 4;
    int32_t entries = 0;
    uint64_t lastPosition = 0;
    while (at < framed.size()) {
        const char kind = framed[at++];
        if ((kind != 'M' && kind != 'D') || framed.size() - at < 8)
            return "framed: broken entry";
        const uint64_t position = TakeLe(framed, at, 8);
        at += 8;
        if (position >= listSize || (entries > 0 && position <= lastPosition))
            return "framed: entry position out of order";
        lastPosition = position;
        if (kind == 'D') {
            if (framed.size() - at < 8 || TakeLe(framed, at, 8) == 0 || TakeLe(framed, at, 8) > listSize - position)
                return "framed: impossible damage length";
            at += 8;
        } else {
            uint64_t total = 0;
            for (int f = 0; f < 7; ++f) {
                if (framed.size() - at < 4)
                    return "framed: cut field length";
                const uint64_t n = TakeLe(framed, at, 4);
                at += 4;
                if (framed.size() - at < n)
                    return "framed: field past the end";
                at += n;
                total += n;
            }
            if (total > listSize + mailSize)
                return "framed: entry larger than the input";
        }
        ++entries;
    }
    if (entries != count)
        return "framed: count " + std::to_string(count) + " for " + std::to_string(entries) + " entries";
    return {};
}

} // namespace

std::string FuzzKamoMailEdit(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t listSize = size, listStart = 0;
    if (size >= 4) {
        const uint32_t n =
            uint32_t(data[0]) | (uint32_t(data[1]) << 8) | (uint32_t(data[2]) << 16) | (uint32_t(data[3]) << 24);
        listStart = 4;
        listSize = n % (size - 4 + 1);
    }
    const size_t mailSize = size - listStart - listSize;
    const std::string list = Temp().File("box.ppl"), mail = Temp().File("box.ppm"), out = Temp().File("KamoMail.Tmp");
    Write(list, bytes + listStart, listSize);
    Write(mail, bytes + listStart + listSize, mailSize);
    int32_t count = -100, code = -100;
    if (KamoMail_Edit(list.c_str(), mail.c_str(), out.c_str(), &count, &code) != 0)
        return "non-zero return with all files in place";
    const std::string text = Read(out);
    if (code != 0 && code != 9)
        return "unexpected code " + std::to_string(code);
    if (count < 0 || (listSize >= 8 && static_cast<size_t>(count) > (listSize - 8) / 12 + 1) ||
        (listSize < 8 && count != 0))
        return "count " + std::to_string(count) + " impossible for " + std::to_string(listSize) + " list bytes";
    if (code == 9 && (count != 0 || !text.empty()))
        return "code 9 with records or output";
    // Each block holds at most the list's strings and one body, every LF doubled at worst.
    const size_t bound = static_cast<size_t>(count) * (64 + 2 * mailSize) + 2 * listSize;
    if (text.size() > bound)
        return "output larger than the input can justify";
    if (!text.empty() && (text.rfind("<Start>\r\nFrom ", 0) != 0 || !text.ends_with("\r\n<End>\r\n")))
        return "output is not whole blocks";
    return CheckFramed(list, mail, out, listSize, mailSize);
}

std::string FuzzKamoFriendEdit(const uint8_t* data, size_t size) {
    const std::string in = Temp().File("Friend.dat"), out = Temp().File("Friend.Tmp");
    Write(in, reinterpret_cast<const char*>(data), size);
    int32_t count = -100, code = -100;
    if (KamoFriend_Edit(in.c_str(), out.c_str(), &count, &code) != 0)
        return "non-zero return";
    const std::string text = Read(out);
    if (code != 0 && code != 9)
        return "unexpected code " + std::to_string(code);
    if (count < 0 || static_cast<size_t>(count) > size / 11)
        return "count " + std::to_string(count) + " impossible for " + std::to_string(size) + " bytes";
    if ((code == 9) != (count == 0) || (count == 0 && !text.empty()))
        return "code and count disagree";
    if (count > 0 && (text.front() != '"' || !text.ends_with("\r\n")))
        return "output is not whole lines";
    return {};
}

std::string FuzzMailStrChange(const uint8_t* data, size_t size) {
    std::string source(reinterpret_cast<const char*>(data), size);
    const size_t inputLength =
        std::min<size_t>(source.find('\0') == std::string::npos ? size : source.find('\0'), 8182);
    // Exactly the area's size on the heap, so that any overrun is seen.
    auto area = std::make_unique<char[]>(KAMOMAIL_STRCHANGE_AREA);
    int32_t length = -1;
    if (Mail_StrChange(source.c_str(), area.get(), &length) != 0)
        return "non-zero return";
    if (length < 0 || length > KAMOMAIL_STRCHANGE_AREA)
        return "length outside the area";
    for (int32_t i = length; i < KAMOMAIL_STRCHANGE_AREA; ++i)
        if (area[i] != ' ')
            return "area not blank after the text";
    if (static_cast<size_t>(length) < inputLength && length < KAMOMAIL_STRCHANGE_AREA - 1)
        return "text cut short with room left";
    const auto* out = reinterpret_cast<const unsigned char*>(area.get());
    for (int32_t i = 0; i < length;) {
        const unsigned char b = out[i];
        if (IsLead(b) && i + 1 < length && IsTrail(out[i + 1])) {
            if (b == 0x81 && (out[i + 1] == 0x67 || out[i + 1] == 0x68))
                return "full-width double quote left in the text";
            i += 2;
            continue;
        }
        if (b == '"' || b == '\'' || b == ',' || b == '|')
            return "delimiter left in the text";
        ++i;
    }
    return {};
}

} // namespace kamofuzz
