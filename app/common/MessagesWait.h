#pragma once
// The catalogue's chapter of the wait window: what long work says it is doing. Work names a phase,
// a count or a note; these functions word them as the window's six lines (and the terminal's one).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kamo {

// What a piece of long work is doing.
enum class WaitPhase {
    ReadingPostPet,        // reading the PostPet mailboxes
    UpdatingData,          // the read's refresh of the lists and filters
    RedecodingMail,        // reading stored mail again from its originals
    ExportingMail,         // an export; the detail is the format's caption
    PrintingMail,          //
    WritingPdf,            //
    IndexingSearch,        // making the search index
    IndexingConversations, // making the conversation index
    GroupingConversations, // a list's lines grouped by conversation; also one mail's conversation
    RunningFilters,        // loading and running the filters
    TidyingArchive,        // deleting, restoring, emptying the trash
    MakingBackup,          //
    RecreatingArchive,     //
    WritingTables,         // the CSV export of the tables
    ReadingTables,         // the CSV import of the tables
    RenamingMail,          // the friend book's names put on the mail
    ReadingFriends,        // the friend file read
};

// What the count of a piece of work counts.
enum class WaitCount {
    Data,           // the read's mail of one mailbox
    Items,          // an export's mails (the total may be unknown)
    IndexRows,      // the rows an index takes in
    RedecodedMails, // mails read again from their originals
    FilterData,     // the filters run one after the other
};

// A line beside the phase.
enum class WaitNote {
    Mailbox,             // the mailbox being read; the detail is its name
    Table,               // the table being written or read; the detail is its name
    TidyingIndex,        // the search index merged after its rebuild
    RedecodingOriginals, // the read first reads older mail again from its originals
    ServerFolder,        // the mail server's folder a mail is being appended to; the detail is its name
};

constexpr int kWaitLines = 6;
using WaitLines = std::array<std::string, kWaitLines>;

// The six lines of a phase; `detail` goes where the phase names one.
WaitLines WaitLinesOf(WaitPhase phase, const std::string& detail = {});
// The lines a count sets (index, text): `done` of `total`, or `done` alone when the total is unknown.
std::vector<std::pair<int, std::string>> WaitCountLines(WaitCount what, int64_t done, std::optional<int64_t> total);
// The line a note sets (index, text).
std::pair<int, std::string> WaitNoteLine(WaitNote note, const std::string& detail = {});
// The lines the read's notes and count use, cleared when a mailbox is done.
std::vector<int> WaitCountAndNoteIndexes();

// The six lines as one terminal line: what is being done and on what, without the window's "please
// wait" line.
std::string WaitLinesForTerminal(const WaitLines& lines);

} // namespace kamo
