#pragma once
// The friend book's commands without their windows: reading PostPet's friend file (memFriend_F,
// `kamomail friends --read`), writing the book as vCard (`kamomail friends --export`, おともだち帳's
// button), and renaming stored mail by the book (memFriend_A by owner name,
// memFriend_P by pet name) or back to the names the mail came with (memFriend_M).
#include <filesystem>
#include <vector>

#include "friends/FriendBook.h"

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;

// Reads the friend file into the book and says how many friends were added and updated.
bool ReadFriendsCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait,
                        const std::filesystem::path& friendFile);

// PostPet's friend file as it lies in a PostPet folder ("Friend.dat", in any letter case, a regular file); empty when
// the folder holds none.
inline constexpr const char* kFriendFileName = "Friend.dat";
std::filesystem::path FriendFileIn(const std::filesystem::path& postPetDir);

// The first start beside a PostPet folder: while the book is empty and the folder holds a friend file that was neither
// read nor declined before, asks whether to read it, reads it on Yes (ReadFriendsCommand) and remembers a No. True
// when it read.
bool OfferFriendFileBeside(ArchiveSession& session, Prompter& prompter, WaitReporter& wait);

// Writes `friends` to `target` as vCard (FriendCards.h) and says how many cards it holds, or why not.
bool ExportFriendCards(const std::vector<Friend>& friends, const std::filesystem::path& target,
                       const std::filesystem::path& archive, Prompter& prompter);

// Renames under the wait window, rebuilds the look-ups, runs the filters and shows the view anew.
bool RenameCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                   FriendName which);
bool RestoreNamesCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view);

} // namespace kamo
