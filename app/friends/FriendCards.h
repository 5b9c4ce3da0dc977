#pragma once
// The friend book as contacts any address book reads: vCard 4.0, one card per friend, UTF-8, lines
// ending in CR LF and folded at 75 octets (never inside a character). The owner's name is the card's
// FN (the pet's name, else the address, when it has none), the address its EMAIL, the pet's name and
// kind and PostPet's mail count its NOTE.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "friends/FriendBook.h"

namespace kamo {

std::string FriendCards(const std::vector<Friend>& friends);

// A content line folded as vCard folds it: at most 75 octets a line, each continuation opening with
// a space, every line ending in CR LF.
std::string FoldedLine(std::string_view line);

// Writes the cards to `target` the one way (a private temporary renamed into place, with the archive's
// permission bits at most 0600; never through a link, never over a folder, the archive or its
// copies). Throws std::runtime_error with a message for the user; the target then stays as it was.
void WriteFriendCards(const std::vector<Friend>& friends, const std::filesystem::path& target,
                      const std::filesystem::path& archive);

} // namespace kamo
