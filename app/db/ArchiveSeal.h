#pragma once
// What the program knows of the archive file between two runs. When a session closes the archive
// cleanly it leaves a seal beside it ("<archive>.Closed"): the file's size, modification time,
// inode and SQLite's file change counter. The next start trusts an archive that still matches its
// seal, without reading it all; one that does not (a crash, a kill, a change by another program, a
// copy put in its place) is checked in full. The seal is taken away as soon as a session opens the
// archive, so a run that ends without closing leaves none.
#include <cstdint>
#include <filesystem>
#include <optional>

namespace kamo {

struct ArchiveStamp {
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    uint64_t inode = 0;
    uint32_t changeCounter = 0; // bytes 24..27 of the SQLite header
    bool operator==(const ArchiveStamp&) const = default;
};

// The stamp of the file as it is now; nothing when it cannot be read.
std::optional<ArchiveStamp> ReadArchiveStamp(const std::filesystem::path& archive);

// Whether the archive is as the last clean close left it (no journal beside it either).
bool ArchiveSealMatches(const std::filesystem::path& archive);

// Leaves the seal of the archive as it is now; false when it could not be written (the next start
// then checks in full, which is safe).
bool SealArchive(const std::filesystem::path& archive);

// The seal's file beside the archive ("KamoMail.Mdb.Closed").
std::filesystem::path ArchiveSealPath(const std::filesystem::path& archive);

// Takes the seal away: the archive is in use.
void BreakArchiveSeal(const std::filesystem::path& archive);

} // namespace kamo
