#pragma once
// Finding PostPet folders where users keep them on Linux: inside Wine prefixes (~/.wine,
// ~/.local/share/wineprefixes/*, $WINEPREFIX) and on mounted Windows disks (/media, /mnt), under
// "Program Files" and "Program Files (x86)". A folder counts when it holds files of at least one of
// the eleven mailboxes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "import/Mailboxes.h"

namespace kamo {

// True when `dir` holds the list or mail file of at least one of the eleven mailboxes.
bool HoldsAnyMailbox(const std::filesystem::path& dir);

// The records of a list file, counted by their markers and lengths as the library counts them.
int64_t CountListRecords(const std::filesystem::path& listFile);

struct FoundPostPet {
    std::filesystem::path dir;
    int64_t mails = 0;
    std::vector<const MailboxInfo*> withMail; // the mailboxes that hold mail
};

// The places to look: Wine prefixes under `home` and in `winePrefix` (may be empty), and the
// Windows disks mounted under each of `mountRoots`.
std::vector<std::filesystem::path> PostPetSearchRoots(const std::filesystem::path& home,
                                                      const std::filesystem::path& winePrefix,
                                                      const std::vector<std::filesystem::path>& mountRoots);

// The PostPet folders under the roots' "Program Files" folders (a few levels deep), and anywhere in
// `wholeTrees` (the home folder, where an old PC's files are often copied: "~/古いPC/Program Files/
// So-net/PostPet for Windows ver. 2.0"; hidden folders and links are passed over, and the walk is
// bounded in depth and in folders looked into), most mail first.
std::vector<FoundPostPet> FindPostPetFolders(const std::vector<std::filesystem::path>& roots,
                                             const std::vector<std::filesystem::path>& wholeTrees = {});

// `dir` as a found PostPet folder: its mail counted per mailbox. Empty when it holds no mailbox.
std::optional<FoundPostPet> DescribePostPetFolder(const std::filesystem::path& dir);

// Read options ticking exactly the mailboxes of `found` that hold mail.
void TickMailboxesWithMail(const FoundPostPet& found, std::array<int16_t, 17>& sendFlags,
                           std::array<int16_t, 17>& recievFlags);

} // namespace kamo
