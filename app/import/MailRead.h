#pragma once
// The read command's work without a window: every chosen mailbox through the conversion library
// into KamoMail.Tmp, parsed, filtered, checked for copies and stored, one transaction per mailbox.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/Failure.h"
#include "common/FilterTable.h"
#include "common/MailRecord.h"
#include "common/Prompter.h"
#include "common/Settings.h"
#include "common/WaitReporter.h"
#include "import/DecodeAhead.h"
#include "import/Mailboxes.h"
#include "platform/Folders.h"
#include "platform/KamoLibrary.h"

namespace kamo {

class ArchiveSession;

struct ReadRequest {
    std::filesystem::path postPetDir;
    std::filesystem::path tmpPath; // <data folder>/KamoMail.Tmp
    std::vector<MailboxChoice> mailboxes;
    // The user's own address ("My Mail Addr"): drawer mail from it counts as sent.
    std::string myMailAddr;
};

struct MailboxSummary {
    std::string name;
    int32_t code = 0;   // the library's result code
    int32_t listed = 0; // records found in the list file, intact or damaged
    int64_t read = 0;   // mails taken from the converted file
    int64_t stored = 0;
    int64_t alreadyStored = 0;
    int64_t filtered = 0;            // kept out by a read-time filter
    int64_t damaged = 0;             // listed but unreadable (a damaged list or mail file)
    int64_t cut = 0;                 // stored with the body cut at what the archive can hold
    int64_t updated = 0;             // already stored by an earlier reading, now brought up to date
                                     // (counted in alreadyStored too)
    int64_t undecoded = 0;           // read with the body as text and a note, since decoding it failed
    int64_t trashed = 0;             // not stored: the user deleted it, and the trash holds it (削除済み)
    std::vector<uint64_t> damagedAt; // where in the list file each damaged record starts
    // The user stopped the read inside this mailbox: the mails before the stop are stored, whole,
    // the rest of the mailbox is not read.
    bool stopped = false;
    // Why the mailbox could not be read (or only in part); none when it was read.
    std::optional<Failure> problem;
    // Damage, an unreadable mailbox or a mail file without its list file: the user must look.
    bool Failed() const { return code < 0 || damaged > 0 || undecoded > 0 || problem.has_value(); }
};

struct ReadSummary {
    bool completed = false; // false when the read did not run (library, folder, nothing chosen)
    bool refreshed = true;  // false when the filters could not be run afterwards
    // The user stopped the read: the mailbox in or after which it stopped (read whole unless its
    // summary says `stopped`); empty otherwise.
    std::string stoppedAfter;
    std::vector<MailboxSummary> mailboxes;
    // What the user must be told, in the order it happened: why the read did not run, each mailbox
    // that could not be read (or only in part), filters that failed afterwards.
    std::vector<Failure> failures;
    // The error that broke the read off (the archive's, the memory's): the mailbox being read was
    // rolled back, those before it stay stored and summed up; `completed` is false.
    std::optional<Failure> error;
    MailboxSummary Totals() const;
    bool AnyFailed() const;
};

// Exit status of `kamomail read` and friends for a read that ran: 0 when every chosen mailbox was
// read whole, kExitMailboxProblem when one was damaged, unreadable or lacked its list file (the mail
// that could be read is stored), 1 when the filters failed afterwards.
constexpr int kExitMailboxProblem = 3;
int ReadExitStatus(const ReadSummary& summary);

struct ReadHooks {
    // True when a read-time filter keeps the mail out.
    std::function<bool(const MailRecord&)> excludes;
    // Runs after the last mailbox, under the wait lines "ＫａｍｏＭａｉｌの各データを 更新しています。":
    // the filters and the look-up lists are brought up to date. False when that failed.
    std::function<bool(WaitReporter&)> refresh;
    // Decodes each mail in place of DecodeMail and DecodeMailAsText when set (tests put failures in).
    DecodeFn decode;
    // Each stored mail's original is kept beside it (db/MailOriginals.h). Only the benchmark turns
    // this off, to weigh what keeping them costs.
    bool keepOriginals = true;
    // What the read trains the originals' dictionary from, in an archive without one
    // (db/OriginalPacker.h); tests make it small.
    DictionarySample dictionarySample;
};

// The direction of a drawer's mail: sent when it comes from the user's own address; without a
// known own address, sent when the drawer was ticked on the send side only.
bool IsSentMail(const MailboxChoice& choice, const MailRecord& mail, const std::string& myMailAddr);

// Reports one way, by its result: nothing is told here, the caller words `failures` and `error`.
// A PostPet folder that is not there or holds none of the eleven mailboxes, or a library that cannot
// be loaded, ends the read before anything is stored (completed false, the reason in `failures`). A
// mailbox that cannot be read (its list file unreadable or not a file, a mail file without its list
// file, codes -1, -2, -4 and -5) goes into `failures` and, but for the codes, its summary's `problem`.
// Before the first mailbox, stored mail whose original an older decoding read is decoded again from
// it in place (RedecodeOriginals). Each stored mail keeps its original and its mailbox's name (one
// found stored keeps them when it has none yet); a mail a read-time filter keeps out keeps nothing. A mail
// whose decoding fails is stored as DecodeMailAsText reads it (counted in `undecoded`), or counted
// damaged at its list position when even that fails; the read goes on. A database error ends the
// read in `error`; the mailbox being read is then rolled back, earlier ones stay.
ReadSummary ReadPostPetMail(SQLite::Database& db, KamoLibrary& library, const ReadRequest& request,
                            const ReadHooks& hooks, WaitReporter& wait);

// The request from the settings: the PostPet folder (`postPetDir` overrides "PostPet Dir" when not
// empty), KamoMail.Tmp in the data folder, the ticked mailboxes (all eleven with `all`).
ReadRequest MakeReadRequest(const Settings& settings, const AppFolders& folders, bool all,
                            const std::string& postPetDir = {});

// The read command's hooks: the Read Filter Table keeps mail out; afterwards the filters are run
// again, the look-up lists rebuilt and the search index brought up to date. `tables` must outlive the hooks.
ReadHooks StandardReadHooks(SQLite::Database& db, const FilterTables& tables);

// The read as the program runs it: the program's conversion library and the standard hooks over the
// session's archive and filter tables.
ReadSummary ReadPostPetMail(ArchiveSession& session, const ReadRequest& request, WaitReporter& wait);

// The first line of the summary: whether everything was read, or what the user must look at.
std::string SummaryHeadline(const ReadSummary& summary);

// The summary as a table: one row per mailbox (read, stored, already stored, kept out, damaged, a
// note), the totals last.
Prompter::Table SummaryTable(const ReadSummary& summary);

// The summary as lines of text, one per mailbox and one for the totals.
std::string FormatSummary(const ReadSummary& summary);

} // namespace kamo
