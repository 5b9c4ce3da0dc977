#pragma once
// The friend book: tblFriend, one row per correspondent's address (pet kind, pet name, owner name,
// address, mail count). It is filled from PostPet's friend file (through KamoFriend_Edit and
// Friend.Tmp), edited by the user, and used to rename senders and receivers of stored mail by address.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/Failure.h"
#include "friends/FriendFile.h"
#include "kamomail.h"

namespace kamo {

struct Friend {
    std::string petKind; // as stored: the kind number in decimal
    std::string pet;
    std::string owner;
    std::string address;
    int64_t mailCount = 0;
    bool operator==(const Friend&) const = default;
};

// The lines of Friend.Tmp ("\"%x\",\"pet \",\"owner \",\"address\",%x" in CP932, CR LF), decoded.
// LF, CR and DLE inside a field come escaped (DLE and the byte plus 0x40) and are restored. Lines
// that do not have that shape are counted in `bad` and skipped.
std::vector<Friend> ParseFriendTmp(const std::string& bytes, int* bad = nullptr);

// The book as stored, in address order.
std::vector<Friend> LoadFriends(SQLite::Database& db);

// Replaces the whole book in one transaction (the editor's OK). Throws Failure for an empty or repeated address, before
// anything changes.
void SaveFriends(SQLite::Database& db, const std::vector<Friend>& friends);

struct MergeCounts {
    int64_t added = 0;
    int64_t updated = 0;
    int64_t unchanged = 0;
};
// Adds friends of unknown addresses and updates the known ones (letter case of addresses aside), in
// one transaction.
MergeCounts MergeFriends(SQLite::Database& db, const std::vector<Friend>& friends);

// What reading a friend file did: the merge, and the damaged records that were left out.
struct FriendFileRead : MergeCounts {
    std::vector<DamagedFriendRecord> damaged;
};

// The refusal of a file that is no friend file (or a FIFO, a device, a folder, a file far too large).
struct NotAFriendFile : Failure {
    NotAFriendFile() : Failure(FailureCode::NotAFriendFile) {}
};

// Reads PostPet's friend file (a regular file of at most kMaxFriendFileBytes, never waiting on it),
// recognises it (FriendFile.h), runs KamoFriend_Edit on its sound records into `tmpPath` (its
// input, FriendIn.Tmp, beside it) and merges what it holds. Throws NotAFriendFile for anything
// else, Failure when the file cannot be read; nothing is stored then.
FriendFileRead ReadFriendFile(SQLite::Database& db, KamoFriend_Edit_Fn friendEdit,
                              const std::filesystem::path& friendFile, const std::filesystem::path& tmpPath);

// memAddressAdd: adds `address` with `owner` as its name; false when it is in the book already.
bool AddFriendAddress(SQLite::Database& db, const std::string& address, const std::string& owner);

// Renaming stored mail by the book: the sender and receiver names of every mail whose address is in
// the book become the owner's name (or the pet's name), where that name is not empty. The names the
// mail came with are kept aside first (tblOriginalNames, one of the archive's added tables; a deleted
// mail takes its kept names along), so RestoreMailNames can bring them back. One
// transaction each; the number of mails changed.
enum class FriendName { Owner, Pet };
int64_t ApplyFriendNames(SQLite::Database& db, FriendName which);
int64_t RestoreMailNames(SQLite::Database& db);

// The name shown for a pet kind number.
std::string PetKindText(const std::string& petKind);

} // namespace kamo
