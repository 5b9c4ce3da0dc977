#include "friends/FriendFile.h"

#include "common/CodePage.h"

namespace kamo {
namespace {

constexpr uint32_t kMaxPetKind = 0xFFFF;

uint32_t U32At(std::string_view bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

// The text of a field as the conversion takes it: up to its first zero byte.
std::string_view TextOf(std::string_view field) {
    return field.substr(0, field.find('\0'));
}

// The size of the sound record at `at`, or 0.
size_t SoundRecordAt(std::string_view bytes, size_t at) {
    size_t pos = at;
    if (bytes.size() - pos < 4 || U32At(bytes, pos) > kMaxPetKind)
        return 0;
    pos += 4;
    std::string_view texts[3];
    for (auto& text : texts) {
        if (pos >= bytes.size())
            return 0;
        const size_t length = static_cast<uint8_t>(bytes[pos++]);
        if (bytes.size() - pos < length)
            return 0;
        text = TextOf(bytes.substr(pos, length));
        pos += length;
    }
    if (bytes.size() - pos < 4)
        return 0;
    pos += 4;
    const std::string_view address = texts[2];
    if (address.empty() || address.find('@') == std::string_view::npos)
        return 0;
    for (const auto& text : texts) {
        if (!text.empty() && !Cp932ToUtf8Exact(text))
            return 0;
    }
    return pos - at;
}

// Where the records take up again after damage at `from`: two sound records in a row, or one that
// ends the file.
size_t NextSoundStart(std::string_view bytes, size_t from) {
    for (size_t at = from; at < bytes.size(); ++at) {
        const size_t size = SoundRecordAt(bytes, at);
        if (size != 0 && (at + size == bytes.size() || SoundRecordAt(bytes, at + size) != 0))
            return at;
    }
    return bytes.size();
}

} // namespace

bool FriendFileScan::IsFriendFile() const {
    return !sound.empty() && soundBytes * 2 >= totalBytes;
}

FriendFileScan ScanFriendFile(std::string_view bytes) {
    FriendFileScan scan;
    scan.totalBytes = bytes.size();
    int64_t record = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        ++record;
        const size_t size = SoundRecordAt(bytes, pos);
        if (size != 0) {
            scan.sound.push_back({pos, size});
            scan.soundBytes += size;
            pos += size;
            continue;
        }
        const size_t next = NextSoundStart(bytes, pos + 1);
        scan.damaged.push_back({record, pos, next - pos});
        pos = next;
    }
    return scan;
}

} // namespace kamo
