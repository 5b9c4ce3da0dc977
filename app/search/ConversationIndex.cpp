#include "search/ConversationIndex.h"

#include <algorithm>
#include <optional>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include "db/MailRows.h"
#include "db/PieceTransaction.h"
#include "db/SqlNames.h"
#include "search/Conversations.h"

namespace kamo {
namespace {

// Raise the number when the key or the layout of the rows changes: every index is made again.
constexpr int kLayoutVersion = 2;

std::string LayoutVersion() {
    // The subject key is folded with ICU's data: new data may fold differently.
    return std::to_string(kLayoutVersion) + " unicode " U_UNICODE_VERSION " icu " U_ICU_VERSION;
}

struct Definition {
    const char* type;
    std::string name;
    std::string sql;
};

// The mail whose header fields `side` are (compared as the key columns' own collation, so
// tblKamoMail's primary index answers).
std::string MailOfFields(const std::string& side) {
    return MailKeyMatch("tblKamoMail", side + ".tblHeaderFields");
}

std::string Forget(const std::string& row) {
    return " DELETE FROM tblConversationMail WHERE MailRow = " + row +
           "; DELETE FROM tblConversationIds WHERE MailRow = " + row +
           "; DELETE FROM tblConversationQueue WHERE MailRow = " + row + ";";
}

std::string QueueMailOf(const std::string& side) {
    return " INSERT OR IGNORE INTO tblConversationQueue (MailRow) SELECT rowid FROM tblKamoMail WHERE " +
           MailOfFields(side) + ";";
}

// Everything the index is made of, in creation order; the header fields' triggers only where the
// archive has the table (any open adds it, and the index is then stale and made again).
std::vector<Definition> Definitions(bool headerFields) {
    std::vector<Definition> all = {
        {"table", "tblConversationMail",
         "CREATE TABLE tblConversationMail (MailRow INTEGER PRIMARY KEY, SubjectKey INTEGER)"},
        {"index", "idxConversationMail_SubjectKey",
         "CREATE INDEX idxConversationMail_SubjectKey ON tblConversationMail (SubjectKey)"},
        {"table", "tblConversationIds",
         "CREATE TABLE tblConversationIds (Id INTEGER NOT NULL, MailRow INTEGER NOT NULL, PRIMARY KEY (Id, MailRow))"
         " WITHOUT ROWID"},
        {"index", "idxConversationIds_MailRow",
         "CREATE INDEX idxConversationIds_MailRow ON tblConversationIds (MailRow)"},
        {"table", "tblConversationQueue", "CREATE TABLE tblConversationQueue (MailRow INTEGER PRIMARY KEY)"},
        {"table", "tblConversationInfo", "CREATE TABLE tblConversationInfo (Name TEXT PRIMARY KEY, Value TEXT)"},
        {"trigger", "trgConversation_Insert",
         "CREATE TRIGGER trgConversation_Insert AFTER INSERT ON tblKamoMail BEGIN"
         " INSERT OR IGNORE INTO tblConversationQueue (MailRow) VALUES (new.rowid); END"},
        // An update may change the date, the friend, the subject and even the rowid.
        {"trigger", "trgConversation_Update",
         "CREATE TRIGGER trgConversation_Update AFTER UPDATE ON tblKamoMail BEGIN" + Forget("old.rowid") +
             " INSERT OR IGNORE INTO tblConversationQueue (MailRow) VALUES (new.rowid); END"},
        {"trigger", "trgConversation_Delete",
         "CREATE TRIGGER trgConversation_Delete AFTER DELETE ON tblKamoMail BEGIN" + Forget("old.rowid") + " END"},
    };
    if (headerFields) {
        all.push_back({"trigger", "trgConversation_FieldsInsert",
                       "CREATE TRIGGER trgConversation_FieldsInsert AFTER INSERT ON tblHeaderFields BEGIN" +
                           QueueMailOf("new") + " END"});
        all.push_back({"trigger", "trgConversation_FieldsUpdate",
                       "CREATE TRIGGER trgConversation_FieldsUpdate AFTER UPDATE ON tblHeaderFields BEGIN" +
                           QueueMailOf("old") + QueueMailOf("new") + " END"});
        all.push_back({"trigger", "trgConversation_FieldsDelete",
                       "CREATE TRIGGER trgConversation_FieldsDelete AFTER DELETE ON tblHeaderFields BEGIN" +
                           QueueMailOf("old") + " END"});
    }
    return all;
}

bool HasHeaderFields(SQLite::Database& db) {
    return SchemaSql(db, "table", "tblHeaderFields").has_value();
}

bool Ready(SQLite::Database& db) {
    for (const auto& d : Definitions(HasHeaderFields(db)))
        if (SchemaSql(db, d.type, d.name) != d.sql)
            return false;
    SQLite::Statement version(db, "SELECT Value FROM tblConversationInfo WHERE Name = 'Layout'");
    return version.executeStep() && version.getColumn(0).getString() == LayoutVersion();
}

constexpr int64_t kBatchRows = 16384;

void ShowCount(WaitReporter& wait, int64_t count, int64_t total) {
    wait.ShowCount(WaitCount::IndexRows, std::min(count, total), total);
    wait.SetProgress(std::min(count, total), total);
    wait.Pump();
}

// Indexes the queued mails, kBatchRows a transaction, at most `limit` of them (all when negative).
void WorkOffQueue(SQLite::Database& db, WaitReporter& wait, int64_t total, bool report, int64_t limit = -1) {
    SQLite::Statement next(db, "SELECT MailRow FROM tblConversationQueue WHERE MailRow > ?1 ORDER BY MailRow LIMIT ?2");
    SQLite::Statement forgetMail(db, "DELETE FROM tblConversationMail WHERE MailRow = ?1");
    SQLite::Statement forgetIds(db, "DELETE FROM tblConversationIds WHERE MailRow = ?1");
    SQLite::Statement putMail(db, "INSERT INTO tblConversationMail (MailRow, SubjectKey) VALUES (?1, ?2)");
    SQLite::Statement putId(db, "INSERT OR IGNORE INTO tblConversationIds (Id, MailRow) VALUES (?1, ?2)");
    SQLite::Statement done(db, "DELETE FROM tblConversationQueue WHERE MailRow > ?1 AND MailRow <= ?2");
    int64_t last = INT64_MIN;
    int64_t count = 0;
    for (;;) {
        PieceTransaction piece(db);
        next.reset();
        next.bind(1, last);
        const int64_t batch = limit < 0 ? kBatchRows : std::min(kBatchRows, limit - count);
        if (batch <= 0)
            break;
        next.bind(2, batch);
        const int64_t from = last;
        std::vector<int64_t> rows;
        while (next.executeStep())
            rows.push_back(last = next.getColumn(0).getInt64());
        if (rows.empty())
            break;
        // Whatever was indexed for a queued rowid goes first (a REPLACE without recursive triggers
        // leaves the old rows behind); a mail queued and then gone has nothing more.
        for (int64_t row : rows)
            for (SQLite::Statement* forget : {&forgetMail, &forgetIds}) {
                forget->reset();
                forget->bind(1, row);
                forget->exec();
            }
        for (const ConversationMail& m : ReadConversationMails(db, &rows, false)) {
            putMail.reset();
            putMail.bind(1, m.rowId);
            const std::string key = ConversationKey(m);
            if (key.empty())
                putMail.bind(2);
            else
                putMail.bind(2, ConversationIndexHash(key));
            putMail.exec();
            auto put = [&](const std::string& id) {
                if (id.empty())
                    return;
                putId.reset();
                putId.bind(1, ConversationIndexHash(id));
                putId.bind(2, m.rowId);
                putId.exec();
            };
            put(m.messageId);
            for (const auto& id : m.parents)
                put(id);
        }
        done.reset();
        done.bind(1, from);
        done.bind(2, last);
        done.exec();
        piece.Commit();
        count += static_cast<int64_t>(rows.size());
        if (report)
            ShowCount(wait, count, total);
        if (static_cast<int64_t>(rows.size()) < batch)
            break;
    }
}

bool ReadOnly(SQLite::Database& db) {
    return sqlite3_db_readonly(db.getHandle(), "main") == 1;
}

// A missing or stale index made again, empty, with every mail queued.
void LayDown(SQLite::Database& db) {
    PieceTransaction piece(db);
    DropConversationIndex(db);
    for (const auto& d : Definitions(HasHeaderFields(db)))
        db.exec(d.sql);
    SQLite::Statement info(db, "INSERT INTO tblConversationInfo (Name, Value) VALUES ('Layout', ?1)");
    info.bind(1, LayoutVersion());
    info.exec();
    db.exec("INSERT INTO tblConversationQueue (MailRow) SELECT rowid FROM tblKamoMail");
    piece.Commit();
}

} // namespace

int64_t ConversationIndexHash(std::string_view text) {
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : text)
        h = (h ^ c) * 1099511628211ull;
    return static_cast<int64_t>(h);
}

const std::vector<DeclaredTable>& ConversationIndexTables() {
    // Internal, made again from the mail and its header fields: never exported.
    static const std::vector<DeclaredTable> tables = [] {
        std::vector<DeclaredTable> t;
        for (const char* name :
             {"tblConversationMail", "tblConversationIds", "tblConversationQueue", "tblConversationInfo"})
            t.push_back({DerivedData(Rebuild::ConversationIndex, false), name});
        return t;
    }();
    return tables;
}

bool ConversationIndexComplete(SQLite::Database& db) {
    return Ready(db) && !db.execAndGet("SELECT EXISTS (SELECT 1 FROM tblConversationQueue)").getInt();
}

int64_t ConversationIndexOwed(SQLite::Database& db) {
    if (!Ready(db))
        return db.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
    return db.execAndGet("SELECT COUNT(*) FROM tblConversationQueue").getInt64();
}

bool MakeConversationIndexPiece(SQLite::Database& db, int64_t rows) {
    if (ReadOnly(db))
        return ConversationIndexComplete(db);
    if (!Ready(db)) {
        LayDown(db);
        return false; // the laying down was this piece
    }
    NullWaitReporter quiet;
    WorkOffQueue(db, quiet, 0, false, std::max<int64_t>(rows, 1));
    return ConversationIndexComplete(db);
}

void UpdateConversationIndex(SQLite::Database& db, WaitReporter& wait) {
    // A read-only archive (a backup on display) keeps what it has; its conversations are read whole.
    if (ReadOnly(db))
        return;
    if (!Ready(db))
        LayDown(db);
    const int64_t total = db.execAndGet("SELECT COUNT(*) FROM tblConversationQueue").getInt64();
    if (total == 0)
        return;
    const bool report = total > kQuietConversationRows;
    std::optional<WaitScope> scope;
    if (report) {
        scope.emplace(wait);
        wait.ShowPhase(WaitPhase::IndexingConversations);
        ShowCount(wait, 0, total);
    }
    WorkOffQueue(db, wait, total, report);
}

void DropConversationIndex(SQLite::Database& db) {
    for (const auto& d : Definitions(true))
        if (std::string(d.type) == "trigger")
            db.exec("DROP TRIGGER IF EXISTS " + d.name);
    for (const auto& table : ConversationIndexTables())
        db.exec("DROP TABLE IF EXISTS " + table.name);
}

} // namespace kamo
