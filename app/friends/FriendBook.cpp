#include "friends/FriendBook.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/Messages.h"
#include "common/MessagesFriends.h"
#include "db/MailQueries.h"
#include "platform/FileUtil.h"
#include "platform/Folders.h"

namespace kamo {
namespace {

// One trailing blank that KamoFriend_Edit puts inside the quotes of the two names.
std::string WithoutPadBlank(std::string s) {
    if (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool ParseHex(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (char c : text) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0)
            return false;
        value = value * 16 + d;
    }
    return true;
}

// KamoFriend_Edit writes LF, CR and DLE inside a field as DLE and the byte plus 0x40, so that a
// field never ends its line. Any other byte after a DLE is no line the library wrote.
bool Unescape(const std::string& field, std::string& text) {
    text.clear();
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\x10') {
            text += field[i];
            continue;
        }
        const char next = i + 1 < field.size() ? field[i + 1] : '\0';
        if (next != 'J' && next != 'M' && next != 'P')
            return false;
        text += static_cast<char>(next - 0x40);
        ++i;
    }
    return true;
}

bool ParseLine(std::string line, Friend& f) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    // "kind","pet ","owner ","address",count: the names went through the quote-safe replacement and
    // hold no quote or comma; the address is the rest up to the last "\",".
    if (line.size() < 2 || line.front() != '"')
        return false;
    const size_t kindEnd = line.find("\",\"", 1);
    const size_t countStart = line.rfind("\",");
    if (kindEnd == std::string::npos || countStart == std::string::npos || countStart <= kindEnd)
        return false;
    int64_t kind = 0;
    if (!ParseHex(line.substr(1, kindEnd - 1), kind) || !ParseHex(line.substr(countStart + 2), f.mailCount))
        return false;
    const std::string middle = line.substr(kindEnd + 3, countStart - kindEnd - 3);
    const size_t petEnd = middle.find("\",\"");
    const size_t ownerEnd = petEnd == std::string::npos ? std::string::npos : middle.find("\",\"", petEnd + 3);
    if (ownerEnd == std::string::npos)
        return false;
    std::string pet, owner, address;
    if (!Unescape(WithoutPadBlank(middle.substr(0, petEnd)), pet) ||
        !Unescape(WithoutPadBlank(middle.substr(petEnd + 3, ownerEnd - petEnd - 3)), owner) ||
        !Unescape(middle.substr(ownerEnd + 3), address))
        return false;
    f.petKind = std::to_string(kind);
    f.pet = Cp932ToUtf8(pet);
    f.owner = Cp932ToUtf8(owner);
    f.address = Cp932ToUtf8(address);
    return true;
}

} // namespace

std::vector<Friend> ParseFriendTmp(const std::string& bytes, int* bad) {
    std::vector<Friend> friends;
    int broken = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        if (nl == std::string::npos)
            nl = bytes.size();
        Friend f;
        const std::string line = bytes.substr(pos, nl - pos);
        if (ParseLine(line, f))
            friends.push_back(std::move(f));
        else if (!line.empty() && line != "\r")
            ++broken;
        pos = nl + 1;
    }
    if (bad)
        *bad = broken;
    return friends;
}

std::vector<Friend> LoadFriends(SQLite::Database& db) {
    std::vector<Friend> friends;
    SQLite::Statement q(db,
                        "SELECT ifnull(tblFriend_PetKind, ''), ifnull(tblFriend_Pet, ''), ifnull(tblFriend_Name, ''), "
                        "ifnull(tblFriend_Address, ''), ifnull(tblFriend_RecvMailCnt, 0) FROM tblFriend "
                        "ORDER BY tblFriend_Address");
    while (q.executeStep())
        friends.push_back({q.getColumn(0).getString(), q.getColumn(1).getString(), q.getColumn(2).getString(),
                           q.getColumn(3).getString(), q.getColumn(4).getInt64()});
    return friends;
}

void SaveFriends(SQLite::Database& db, const std::vector<Friend>& friends) {
    std::set<std::string> seen;
    for (const auto& f : friends) {
        const std::string address(TrimAscii(f.address, " \t"));
        if (address.empty())
            throw Failure(FailureCode::FriendAddressEmpty);
        if (!seen.insert(ToLowerAscii(address)).second)
            throw Failure(FailureCode::FriendAddressTwice, {address});
    }
    SQLite::Transaction transaction(db);
    db.exec("DELETE FROM tblFriend");
    SQLite::Statement insert(db, "INSERT INTO tblFriend (tblFriend_PetKind, tblFriend_Pet, tblFriend_Name, "
                                 "tblFriend_Address, tblFriend_RecvMailCnt) VALUES (?, ?, ?, ?, ?)");
    for (const auto& f : friends) {
        insert.bind(1, f.petKind);
        insert.bind(2, f.pet);
        insert.bind(3, f.owner);
        insert.bind(4, std::string(TrimAscii(f.address, " \t")));
        insert.bind(5, f.mailCount);
        insert.exec();
        insert.reset();
    }
    transaction.commit();
}

MergeCounts MergeFriends(SQLite::Database& db, const std::vector<Friend>& friends) {
    MergeCounts counts;
    SQLite::Transaction transaction(db);
    SQLite::Statement find(db, "SELECT ifnull(tblFriend_PetKind, ''), ifnull(tblFriend_Pet, ''), "
                               "ifnull(tblFriend_Name, ''), ifnull(tblFriend_RecvMailCnt, 0) FROM tblFriend "
                               "WHERE tblFriend_Address = ?");
    SQLite::Statement update(db, "UPDATE tblFriend SET tblFriend_PetKind = ?, tblFriend_Pet = ?, tblFriend_Name = ?, "
                                 "tblFriend_RecvMailCnt = ? WHERE tblFriend_Address = ?");
    SQLite::Statement insert(db, "INSERT INTO tblFriend (tblFriend_PetKind, tblFriend_Pet, tblFriend_Name, "
                                 "tblFriend_Address, tblFriend_RecvMailCnt) VALUES (?, ?, ?, ?, ?)");
    for (const auto& f : friends) {
        if (f.address.empty())
            continue;
        find.bind(1, f.address);
        const bool known = find.executeStep();
        const bool same = known && find.getColumn(0).getString() == f.petKind &&
                          find.getColumn(1).getString() == f.pet && find.getColumn(2).getString() == f.owner &&
                          find.getColumn(3).getInt64() == f.mailCount;
        find.reset();
        SQLite::Statement& st = known ? update : insert;
        if (same) {
            ++counts.unchanged;
            continue;
        }
        st.bind(1, f.petKind);
        st.bind(2, f.pet);
        st.bind(3, f.owner);
        if (known) {
            st.bind(4, f.mailCount);
            st.bind(5, f.address);
            ++counts.updated;
        } else {
            st.bind(4, f.address);
            st.bind(5, f.mailCount);
            ++counts.added;
        }
        st.exec();
        st.reset();
    }
    transaction.commit();
    return counts;
}

FriendFileRead ReadFriendFile(SQLite::Database& db, KamoFriend_Edit_Fn friendEdit,
                              const std::filesystem::path& friendFile, const std::filesystem::path& tmpPath) {
    std::string bytes;
    switch (ReadRegularFile(friendFile, kMaxFriendFileBytes, bytes)) {
    case ReadFileResult::Ok:
        break;
    case ReadFileResult::Missing:
        throw Failure(FailureCode::FriendFileMissing, {friendFile.string()});
    case ReadFileResult::NotRegular:
    case ReadFileResult::TooLarge:
        throw NotAFriendFile();
    case ReadFileResult::Failed:
        throw Failure(FailureCode::FriendFileUnreadable, {friendFile.string()});
    }
    const FriendFileScan scan = ScanFriendFile(bytes);
    if (!scan.IsFriendFile())
        throw NotAFriendFile();

    // The library converts the sound records only, from a private copy taken of the bytes just
    // checked: the file it reads is the file that was recognised.
    std::string sound;
    for (const auto& span : scan.sound)
        sound.append(bytes, span.offset, span.size);
    const std::filesystem::path inPath = tmpPath.parent_path() / kFriendInName;
    std::error_code ec;
    std::filesystem::remove(tmpPath, ec);
    struct Cleanup {
        std::filesystem::path in, out;
        ~Cleanup() {
            std::error_code e;
            std::filesystem::remove(in, e);
            std::filesystem::remove(out, e);
        }
    } cleanup{inPath, tmpPath};
    if (!AtomicWriteFile(inPath, sound, PrivateFile()))
        throw Failure(FailureCode::FriendWorkFileNotWritten, {inPath.string()});
    int32_t count = 0, code = 0;
    friendEdit(inPath.c_str(), tmpPath.c_str(), &count, &code);
    if (code == -1 || code == -5)
        throw Failure(FailureCode::FriendConversionError, {std::to_string(code), friendFile.string()});
    std::string text;
    if (ReadRegularFile(tmpPath, kMaxFriendFileBytes * 4, text) != ReadFileResult::Ok)
        throw Failure(FailureCode::FriendConversionUnreadable, {tmpPath.string()});
    int bad = 0;
    const auto friends = ParseFriendTmp(text, &bad);
    if (bad != 0 || friends.size() != scan.sound.size() || count != static_cast<int32_t>(scan.sound.size()))
        throw Failure(FailureCode::FriendConversionMismatch, {friendFile.string()});
    FriendFileRead read;
    static_cast<MergeCounts&>(read) = MergeFriends(db, friends);
    read.damaged = scan.damaged;
    return read;
}

bool AddFriendAddress(SQLite::Database& db, const std::string& address, const std::string& owner) {
    SQLite::Statement insert(db, "INSERT OR IGNORE INTO tblFriend (tblFriend_PetKind, tblFriend_Pet, tblFriend_Name, "
                                 "tblFriend_Address, tblFriend_RecvMailCnt) VALUES ('', '', ?, ?, 0)");
    insert.bind(1, owner);
    insert.bind(2, address);
    return insert.exec() > 0;
}

int64_t ApplyFriendNames(SQLite::Database& db, FriendName which) {
    SQLite::Transaction transaction(db);
    const int64_t changed = NameMailByFriends(db, which == FriendName::Pet);
    transaction.commit();
    return changed;
}

int64_t RestoreMailNames(SQLite::Database& db) {
    SQLite::Transaction transaction(db);
    const int64_t changed = PutBackKeptNames(db);
    transaction.commit();
    return changed;
}

std::string PetKindText(const std::string& petKind) {
    return petKind.empty() ? std::string() : Say(FriendText::PetKind, {petKind});
}

} // namespace kamo
