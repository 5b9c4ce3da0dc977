#pragma once
// Mail deletion: the chosen mail (comMailDel), or every mail of the chosen address, name, date or
// filter (cmdAddrDel). The rows go to the trash (db/Trash.h) as one batch in one transaction, so a
// failure deletes nothing; then the derived data is made right (RefreshDerivedData) and the view is
// shown anew. 元に戻す restores the last batch.
#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/ViewModes.h"
#include "common/MailRecord.h"
#include "common/MessagesBrowse.h"
#include "db/MailQueries.h"

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;

// The mail of a key (db/MailQueries.h); `key` holds a filter's title too, for the question.
struct DeletionTarget : MailGroup {
    std::string subject; // Kind::Mail, for the question
};

// The target of cmdAddrDel for the chosen key of a view mode (a filter line carries its number).
DeletionTarget KeyTarget(ViewMode mode, const std::string& key, int64_t filterNo);

// How many stored mails the target takes.
int64_t CountTarget(SQLite::Database& db, const DeletionTarget& target);

// The question asked first, as its kind and details: what goes and how many mails.
struct DeletionAsk {
    BrowseText what; // the sentence naming the target, one for each kind
    std::vector<std::string> details;
};
DeletionAsk DeletionAskOf(const DeletionTarget& target, int64_t count);
// The question in words: the sentence, then that the mail goes to the trash.
std::string DeletionQuestion(const DeletionTarget& target, int64_t count);

// Moves the target's mail to the trash in one transaction, as one batch; the number moved. The
// derived data is the caller's.
// Throws SQLite::Exception (nothing deleted) on a database error.
int64_t DeleteTarget(SQLite::Database& db, const DeletionTarget& target);

// The whole command: asks, deletes under the wait window ("　データベースを整理しています。"), runs
// the filters again and shows the view anew. The number deleted (0 when the user said No, nothing
// matched, or the deletion failed and was told).
int64_t RunDeletion(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                    const DeletionTarget& target);

// 編集 → 元に戻す: restores the last deletion's batch under the wait window, runs the filters again
// and shows the view anew; the keys restored (none, told, when the trash is empty).
std::vector<MailKey> RunUndo(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view);
// The same for a batch the trash window chose.
std::vector<MailKey> RunRestoreBatch(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                                     int64_t batch);

// The question before emptying the trash, the one step that cannot be undone.
std::string EmptyTrashQuestion(int64_t count);
// Asks, then removes every mail from the trash for good; how many (0 when the user said No).
int64_t RunEmptyTrash(ArchiveSession& session, Prompter& prompter);

} // namespace kamo
