#pragma once
// PostPet's friend file as the program recognises it before it is converted: records of a pet kind
// (4 bytes, little-endian), three texts (pet name, owner name, address), each a length byte and that
// many Shift-JIS bytes, and a mail count (4 bytes); no header. A record is sound when its kind is
// a small number (at most 0xFFFF), its texts are well-formed Shift-JIS up to their first zero byte,
// and its address is not empty and holds an "@". After a record that is not sound the scan looks for
// the next place where two sound records follow each other (or one ends the file), so one damaged
// record costs that record only.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kamo {

// Far above any real friend file: a record takes at most 776 bytes (PostPet keeps 63-byte texts: at
// most 200), so 16 MB would hold over 21,000 friends of the largest size; PostPet's friend list holds
// the people one writes to. A larger file is something else.
inline constexpr size_t kMaxFriendFileBytes = 16u << 20;

struct FriendRecordSpan {
    size_t offset = 0;
    size_t size = 0;
};

// A stretch of the file that is no sound record: its place among the records (1 = first) and its
// bytes.
struct DamagedFriendRecord {
    int64_t record = 0;
    size_t offset = 0;
    size_t size = 0;
    bool operator==(const DamagedFriendRecord&) const = default;
};

struct FriendFileScan {
    std::vector<FriendRecordSpan> sound;
    std::vector<DamagedFriendRecord> damaged;
    // A friend file has sound records, and they make up at least half of its bytes.
    bool IsFriendFile() const;
    size_t soundBytes = 0;
    size_t totalBytes = 0;
};

FriendFileScan ScanFriendFile(std::string_view bytes);

} // namespace kamo
