#pragma once
// The read command's work without a window: every chosen mailbox through the conversion library
// into KamoMail.Tmp, parsed, filtered, checked for copies and stored, one transaction per mailbox.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/FilterTable.h"
#include "common/MailRecord.h"
#include "common/Prompter.h"
#include "common/Settings.h"
#include "common/WaitReporter.h"
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
    int32_t listed = 0; // records the library counted in the list file
    int64_t read = 0;   // mails parsed from KamoMail.Tmp
    int64_t stored = 0;
    int64_t alreadyStored = 0;
    int64_t filtered = 0; // kept out by a read-time filter
    int64_t damaged = 0;  // listed but unreadable (a damaged list or mail file)
};

struct ReadSummary {
    bool completed = false; // false when the library could not be loaded
    std::vector<MailboxSummary> mailboxes;
    MailboxSummary Totals() const;
};

struct ReadHooks {
    // True when a read-time filter keeps the mail out.
    std::function<bool(const MailRecord&)> excludes;
    // Runs after the last mailbox, under the wait lines "ＫａｍｏＭａｉｌの各データを 更新しています。":
    // the filters and the look-up lists are brought up to date.
    std::function<void(WaitReporter&)> refresh;
};

// The direction of a drawer's mail: sent when it comes from the user's own address; without a
// known own address, sent when the drawer was ticked on the send side only.
bool IsSentMail(const MailboxChoice& choice, const MailRecord& mail, const std::string& myMailAddr);

// A PostPet folder that is not there, or a library that cannot be loaded, is told and ends the read
// before anything is stored (completed false). Codes -1, -2, -4 and -5 of a mailbox are told
// through the prompter as they happen. Database errors propagate as SQLite::Exception; the mailbox being read is then
// rolled back, earlier ones stay.
ReadSummary ReadPostPetMail(SQLite::Database& db, KamoLibrary& library, const ReadRequest& request,
                            const ReadHooks& hooks, Prompter& prompter, WaitReporter& wait);

// The request from the settings: the PostPet folder (`postPetDir` overrides "PostPet Dir" when not
// empty), KamoMail.Tmp in the data folder, the ticked mailboxes (all eleven with `all`).
ReadRequest MakeReadRequest(const Settings& settings, const AppFolders& folders, bool all,
                            const std::string& postPetDir = {});

// The read command's hooks: the Read Filter Table keeps mail out; afterwards the filters are run
// again and the look-up lists rebuilt. `tables` must outlive the hooks.
ReadHooks StandardReadHooks(SQLite::Database& db, const FilterTables& tables);

// The read as the program runs it: the program's conversion library and the standard hooks over the
// session's archive and filter tables.
ReadSummary ReadPostPetMail(ArchiveSession& session, const ReadRequest& request, Prompter& prompter,
                            WaitReporter& wait);

// The summary as lines of text, one per mailbox and one for the totals.
std::string FormatSummary(const ReadSummary& summary);

} // namespace kamo
