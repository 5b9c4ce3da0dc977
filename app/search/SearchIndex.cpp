#include "search/SearchIndex.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include "db/MailRows.h"
#include "db/PieceTransaction.h"
#include "db/SqlNames.h"
#include "search/SearchText.h"

namespace kamo {
namespace {

// Raise the number when the folding or the layout of the rows changes: every index is rebuilt.
constexpr int kLayoutVersion = 2;

std::string FoldingVersion() {
    // Case folding and the width mapping come from ICU's data: new data may fold differently.
    return std::to_string(kLayoutVersion) + " unicode " U_UNICODE_VERSION " icu " U_ICU_VERSION;
}

// The folded text is ours, in a plain table; the trigram index is FTS5 over it as external content.
// Taking a mail out of the index needs its indexed text, which the folded table still holds, so the
// triggers can do it in plain SQL.
const std::string kCreateFolded = SearchFoldedSql("tblSearchFolded");
const std::string kCreateText = SearchTextSql("tblSearchText", "tblSearchFolded");
const char* const kCreateQueue = "CREATE TABLE tblSearchQueue (MailRow INTEGER PRIMARY KEY)";
const char* const kCreateInfo = "CREATE TABLE tblSearchInfo (Name TEXT PRIMARY KEY, Value TEXT)";

// Takes a mail out of the index (FTS5's "delete" with the text it was indexed with) and out of the
// folded table; `row` is an SQL expression.
std::string ForgetSql(const std::string& row) {
    return " INSERT INTO tblSearchText (tblSearchText, rowid, Subject, SndName, SndAdd, RcvName, RcvAdd, Body)"
           " SELECT 'delete', MailRow, Subject, SndName, SndAdd, RcvName, RcvAdd, Body FROM tblSearchFolded"
           " WHERE MailRow = " +
           row + "; DELETE FROM tblSearchFolded WHERE MailRow = " + row + ";";
}

struct Trigger {
    std::string name;
    std::string sql;
};
// An update may change any searched field (friend names are renamed in place) and even the rowid.
const std::vector<Trigger>& Triggers() {
    static const std::vector<Trigger> triggers = {
        {"trgSearch_Insert", "CREATE TRIGGER trgSearch_Insert AFTER INSERT ON tblKamoMail BEGIN"
                             " INSERT OR IGNORE INTO tblSearchQueue (MailRow) VALUES (new.rowid); END"},
        {"trgSearch_Update", "CREATE TRIGGER trgSearch_Update AFTER UPDATE ON tblKamoMail BEGIN" +
                                 ForgetSql("old.rowid") +
                                 " DELETE FROM tblSearchQueue WHERE MailRow = old.rowid;"
                                 " INSERT OR IGNORE INTO tblSearchQueue (MailRow) VALUES (new.rowid); END"},
        {"trgSearch_Delete", "CREATE TRIGGER trgSearch_Delete AFTER DELETE ON tblKamoMail BEGIN" +
                                 ForgetSql("old.rowid") + " DELETE FROM tblSearchQueue WHERE MailRow = old.rowid; END"},
    };
    return triggers;
}

// One transaction per piece of the queue: a cut-short run keeps its work, and the journal stays
// small. FTS5 writes a segment at each commit, so pieces much smaller than this cost merges (4,096
// rows took twice as long as 16,384 for 100,000 mails); bigger ones gained little and let FTS5's
// pending terms grow to 10 MB more memory.
constexpr int kBatchRows = 16384;
// The count is shown every this many mails.
constexpr int64_t kProgressStep = 512;

std::string QueueSelect() {
    using namespace MailColumn;
    return "SELECT q.MailRow, m.rowid, m." + kSubject + ", m." + kSndName + ", m." + kSndAdd + ", m." + kRcvName +
           ", m." + kRcvAdd + ", " + MailBodyColumns("m.") +
           " FROM tblSearchQueue AS q LEFT JOIN tblKamoMail AS m ON m.rowid = q.MailRow"
           " WHERE q.MailRow > ?1 ORDER BY q.MailRow LIMIT ?2";
}

std::string_view TextOf(const SQLite::Column& column) {
    return {column.getText(), static_cast<size_t>(column.getBytes())};
}

void ShowCount(WaitReporter& wait, int64_t count, int64_t total) {
    wait.ShowCount(WaitCount::IndexRows, std::min(count, total), total);
    wait.SetProgress(std::min(count, total), total);
}

// Works off the queue in pieces, in rowid order (the cheapest order for FTS5 to take rows in).
// Returns the number of mails indexed.
int64_t WorkOffQueue(SQLite::Database& db, WaitReporter& wait, int64_t total, bool report) {
    SQLite::Statement select(db, QueueSelect());
    // Single-row statements only: a statement that may touch several rows of the FTS5 table opens a
    // savepoint, and FTS5 writes out everything it holds in memory at each one.
    SQLite::Statement indexed(db, "SELECT Subject, SndName, SndAdd, RcvName, RcvAdd, Body FROM tblSearchFolded"
                                  " WHERE MailRow = ?1");
    SQLite::Statement forgetText(db, "INSERT INTO tblSearchText (tblSearchText, rowid, Subject, SndName, SndAdd,"
                                     " RcvName, RcvAdd, Body) VALUES ('delete', ?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    SQLite::Statement forgetFolded(db, "DELETE FROM tblSearchFolded WHERE MailRow = ?1");
    SearchRowWriter writer(db, "tblSearchFolded", kSearchTextTable);
    SQLite::Statement done(db, "DELETE FROM tblSearchQueue WHERE MailRow > ?1 AND MailRow <= ?2");
    std::string body;
    int64_t last = INT64_MIN;
    int64_t count = 0;
    for (;;) {
        PieceTransaction piece(db);
        select.reset();
        select.bind(1, last);
        select.bind(2, kBatchRows);
        const int64_t from = last;
        int rows = 0;
        while (select.executeStep()) {
            ++rows;
            last = select.getColumn(0).getInt64();
            // Whatever was indexed for this rowid goes first (a mail replaced without its delete
            // trigger, a REPLACE without recursive triggers, leaves its old row behind).
            indexed.reset();
            indexed.bind(1, last);
            if (indexed.executeStep()) {
                forgetText.reset();
                forgetText.bind(1, last);
                for (int f = 0; f < 6; ++f)
                    forgetText.bind(2 + f, indexed.getColumn(f).getString());
                forgetText.exec();
                forgetFolded.reset();
                forgetFolded.bind(1, last);
                forgetFolded.exec();
            }
            if (select.getColumn(1).isNull())
                continue; // queued, then gone
            // The pieces are joined before folding: a word may run across a piece boundary.
            body.clear();
            AppendBody(select, 7, body);
            writer.Put(last, {TextOf(select.getColumn(2)), TextOf(select.getColumn(3)), TextOf(select.getColumn(4)),
                              TextOf(select.getColumn(5)), TextOf(select.getColumn(6)), body});
            if (++count % kProgressStep == 0 && report)
                ShowCount(wait, count, total);
            wait.Pump();
        }
        if (rows > 0) {
            done.reset();
            done.bind(1, from);
            done.bind(2, last);
            done.exec();
        }
        piece.Commit();
        if (report)
            ShowCount(wait, count, total);
        wait.Pump();
        if (rows < kBatchRows)
            break;
    }
    return count;
}

void BuildFromScratch(SQLite::Database& db) {
    PieceTransaction piece(db);
    DropSearchIndex(db);
    CreateSearchIndex(db);
    db.exec("INSERT INTO tblSearchQueue (MailRow) SELECT rowid FROM tblKamoMail");
    piece.Commit();
}

void Update(SQLite::Database& db, WaitReporter& wait, bool rebuild) {
    const SearchIndexState state = InspectSearchIndex(db);
    const bool fresh = rebuild || state != SearchIndexState::Ready;
    if (fresh)
        BuildFromScratch(db);
    const int64_t total = PendingSearchRows(db);
    if (total == 0)
        return;
    const bool report = total > kQuietIndexRows;
    std::optional<WaitScope> scope;
    if (report) {
        scope.emplace(wait);
        wait.ShowPhase(WaitPhase::IndexingSearch);
        wait.SetProgress(0, total);
        wait.Pump();
    }
    WorkOffQueue(db, wait, total, report);
    // FTS5's own merging keeps the segments few as mail comes in; merging them into one answers
    // queries a little faster but costs a tenth of the build, so only an asked-for rebuild does it.
    if (rebuild && !InTransaction(db)) {
        if (report) {
            wait.ShowNote(WaitNote::TidyingIndex);
            wait.Pump();
        }
        db.exec("INSERT INTO tblSearchText (tblSearchText) VALUES ('optimize')");
    }
}

} // namespace

std::string SearchFoldedSql(const std::string& name) {
    return "CREATE TABLE " + name +
           " (MailRow INTEGER PRIMARY KEY, Subject TEXT, SndName TEXT, SndAdd TEXT, RcvName TEXT, RcvAdd TEXT, Body "
           "TEXT)";
}

std::string SearchTextSql(const std::string& name, const std::string& folded) {
    return "CREATE VIRTUAL TABLE " + name + " USING fts5(Subject, SndName, SndAdd, RcvName, RcvAdd, Body, content = '" +
           folded +
           "', content_rowid = 'MailRow', tokenize = 'trigram case_sensitive 1', detail = none, columnsize = 0)";
}

void SetIndexHashSize(SQLite::Database& db, const std::string& schema, const std::string& text) {
    // Bigger in-memory pieces before a segment is written: fewer merges during a large build.
    db.exec("INSERT INTO " + schema + "." + text + " (" + text + ", rank) VALUES ('hashsize', 16777216)");
}

void CreateSearchIndex(SQLite::Database& db) {
    db.exec(kCreateFolded);
    db.exec(kCreateText);
    db.exec(kCreateQueue);
    db.exec(kCreateInfo);
    for (const auto& trigger : Triggers())
        db.exec(trigger.sql);
    SQLite::Statement info(db, "INSERT INTO tblSearchInfo (Name, Value) VALUES ('Folding', ?1)");
    info.bind(1, FoldingVersion());
    info.exec();
    SetIndexHashSize(db, "main", kSearchTextTable);
}

SearchRowWriter::SearchRowWriter(SQLite::Database& db, const std::string& folded, const std::string& text)
    : folded_(db, "INSERT INTO " + folded +
                      " (MailRow, Subject, SndName, SndAdd, RcvName, RcvAdd, Body)"
                      " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"),
      text_(db, "INSERT INTO " + text +
                    " (rowid, Subject, SndName, SndAdd, RcvName, RcvAdd, Body)"
                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)") {}

void SearchRowWriter::Put(int64_t row, const Fields& fields) {
    for (std::size_t f = 0; f < fields.size(); ++f) {
        std::string& out = foldedText_[f];
        out.clear();
        AppendSearchFolded(fields[f], out);
        out.append(kPaddingLength, kPadding);
    }
    for (SQLite::Statement* insert : {&folded_, &text_}) {
        insert->reset();
        insert->bind(1, row);
        for (std::size_t f = 0; f < foldedText_.size(); ++f)
            insert->bindNoCopy(2 + static_cast<int>(f), foldedText_[f]);
        insert->exec();
    }
}

const std::vector<DeclaredTable>& SearchIndexTables() {
    // Internal, large and made again in minutes: never exported.
    static const std::vector<DeclaredTable> tables = [] {
        std::vector<DeclaredTable> t;
        for (const char* name : {"tblSearchFolded", kSearchTextTable, "tblSearchQueue", "tblSearchInfo"})
            t.push_back({DerivedData(Rebuild::SearchIndex, false), name});
        return t;
    }();
    return tables;
}

SearchIndexState InspectSearchIndex(SQLite::Database& db) {
    const auto folded = SchemaSql(db, "table", "tblSearchFolded");
    const auto text = SchemaSql(db, "table", "tblSearchText");
    const auto queue = SchemaSql(db, "table", "tblSearchQueue");
    const auto info = SchemaSql(db, "table", "tblSearchInfo");
    if (!folded && !text && !queue && !info)
        return SearchIndexState::Missing;
    if (folded != kCreateFolded || text != kCreateText || queue != kCreateQueue || info != kCreateInfo)
        return SearchIndexState::Stale;
    for (const auto& trigger : Triggers())
        if (SchemaSql(db, "trigger", trigger.name) != trigger.sql)
            return SearchIndexState::Stale;
    SQLite::Statement folding(db, "SELECT Value FROM tblSearchInfo WHERE Name = 'Folding'");
    if (!folding.executeStep() || folding.getColumn(0).getString() != FoldingVersion())
        return SearchIndexState::Stale;
    return SearchIndexState::Ready;
}

int64_t PendingSearchRows(SQLite::Database& db) {
    if (!SchemaSql(db, "table", "tblSearchQueue"))
        return 0;
    return db.execAndGet("SELECT COUNT(*) FROM tblSearchQueue").getInt64();
}

void UpdateSearchIndex(SQLite::Database& db, WaitReporter& wait) {
    // A read-only archive (a backup on display) keeps what it has; the search folds as it goes.
    if (sqlite3_db_readonly(db.getHandle(), "main") == 1)
        return;
    Update(db, wait, false);
}

void RebuildSearchIndex(SQLite::Database& db, WaitReporter& wait) {
    Update(db, wait, true);
}

void DropSearchIndex(SQLite::Database& db) {
    for (const auto& trigger : Triggers())
        db.exec("DROP TRIGGER IF EXISTS " + trigger.name);
    // The FTS5 index first: dropping it takes its shadow tables along.
    db.exec(std::string("DROP TABLE IF EXISTS ") + kSearchTextTable);
    for (const auto& table : SearchIndexTables())
        db.exec("DROP TABLE IF EXISTS " + table.name);
}

} // namespace kamo
