#pragma once
// The search index: derived data beside the six tables, never part of them. It holds every mail's
// subject, names, addresses and body folded (SearchFold), keyed by the mail's rowid in tblKamoMail:
//
//   tblSearchFolded the folded fields (Subject, SndName, SndAdd, RcvName, RcvAdd, Body), each ending
//                   in two kPadding characters, so that every place any one or two characters occur
//                   starts a trigram and a short query can be answered from the index's terms
//   tblSearchText   SQLite FTS5 over tblSearchFolded (external content), trigram tokenizer,
//                   detail=none: which mails hold which three characters
//   tblSearchQueue  the rowids of mails whose folded text must be (re)made
//   tblSearchInfo   the folding the rows were made with; another one means a rebuild
//
// Triggers on tblKamoMail keep it right whoever changes the mail table, in plain SQL (so any
// program that opens the archive, the sqlite3 shell included, can still write it): an insert or an
// update queues the mail, an update or a delete takes its old text out at once. The folding runs in
// the program, when the queue is worked off (UpdateSearchIndex): after every read, and before every
// search. Deleting all of it loses nothing; a missing or stale index is built again from the mail.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/WaitReporter.h"
#include "db/Schema.h"

namespace kamo {

inline constexpr const char* kSearchTextTable = "tblSearchText";
// Ends every indexed value twice; never part of a folded query worth finding, and stripped before
// any comparison.
inline constexpr char kPadding = '\x01';
inline constexpr int kPaddingLength = 2;
// Indexing this many mails or fewer shows no wait window of its own: a read of a few new mails
// needs none.
inline constexpr int64_t kQuietIndexRows = 2000;

// The tables the index keeps (the folded text, the FTS5 index, the queue, the folding in use), all
// derived; the FTS5 index's own shadow tables come and go with it.
const std::vector<DeclaredTable>& SearchIndexTables();

enum class SearchIndexState {
    Missing, // no index (an archive made before search, or one whose index was deleted)
    Stale,   // made by another folding or another definition, or its triggers are gone
    Ready,   // present; mails may still wait in the queue
};
SearchIndexState InspectSearchIndex(SQLite::Database& db);

// Mails waiting in the queue (0 when there is no index).
int64_t PendingSearchRows(SQLite::Database& db);

// Makes the index ready and complete: a missing or stale one is built from scratch, then every
// queued mail is indexed. More than a few thousand mails run in a WaitScope with the lines
// "検索用の索引を作っています。" and a count. Outside a transaction the work is committed in pieces, so
// a run cut short keeps what it did and the next one goes on from there; inside one, it joins it.
// An archive opened read-only is left as it is. Throws SQLite::Exception.
void UpdateSearchIndex(SQLite::Database& db, WaitReporter& wait);

// Throws the index away and builds it again from every mail, its segments merged into one.
void RebuildSearchIndex(SQLite::Database& db, WaitReporter& wait);

// Removes the index, its queue and its triggers. The mail is untouched.
void DropSearchIndex(SQLite::Database& db);

// Makes the index's tables, triggers and folding record, empty (in a transaction of the caller's).
void CreateSearchIndex(SQLite::Database& db);
// The statements that make a folded table and an FTS5 index over it by these names, as the index's.
std::string SearchFoldedSql(const std::string& name);
std::string SearchTextSql(const std::string& name, const std::string& folded);
// The size of the FTS5 index's pieces held in memory before one is written, for a large build.
void SetIndexHashSize(SQLite::Database& db, const std::string& schema, const std::string& text);

// Puts mails into a folded table and the FTS5 index over it, folded and padded as the index keeps
// them; the statements are prepared once.
class SearchRowWriter {
public:
    // The mail's subject, sender's name and address, receiver's name and address and whole body, as
    // the mail table holds them.
    using Fields = std::array<std::string_view, 6>;
    SearchRowWriter(SQLite::Database& db, const std::string& folded, const std::string& text);
    void Put(int64_t row, const Fields& fields);

private:
    SQLite::Statement folded_;
    SQLite::Statement text_;
    std::array<std::string, 6> foldedText_;
};

} // namespace kamo
