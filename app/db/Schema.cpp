#include "db/Schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "common/AsciiText.h"
#include "db/Attachments.h"
#include "db/MailRows.h"
#include "db/PieceTransaction.h"
#include "db/SqlNames.h"

namespace kamo {
namespace {

const std::string kText = "TEXT COLLATE NOCASE";
const std::string kTextEmpty = "TEXT COLLATE NOCASE NOT NULL DEFAULT ''";
const std::string kInt = "INTEGER";

std::vector<TableDef> BuildTables() {
    std::vector<TableDef> t;

    TableDef mail{"tblKamoMail", {}, "tblKamoMail", {}, {}, kUserData};
    using namespace MailColumn;
    mail.columns = {
        {kYmd, kText},    {kHms, kText},     {kSubKey, kInt},  {kFlag, kInt},          {kSndName, kText},
        {kSndAdd, kText}, {kRcvName, kText}, {kRcvAdd, kText}, {kSubject, kTextEmpty},
    };
    for (int i = 1; i <= kBodyPieces; ++i)
        mail.columns.push_back({kBodyPiece + std::to_string(i), kTextEmpty});
    mail.columns.push_back({kInclude, kTextEmpty});
    mail.primaryKey = {"tblKamoMail_YMD",        "tblKamoMail_HMS",    "tblKamoMail_SubKey",
                       "tblKamoMail_SndRcvFlag", "tblKamoMail_SndAdd", "tblKamoMail_RcvAdd"};
    // The address and name indexes carry the list's sort columns, so a key's mail comes out of two
    // index ranges already in display order, without reading or sorting the rows.
    mail.indexes = {
        {"idxKamoMail_SndAdd", "tblKamoMail_SndAdd, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey"},
        {"idxKamoMail_RcvAdd", "tblKamoMail_RcvAdd, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey"},
        {"idxKamoMail_SndName", "tblKamoMail_SndName, tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS"},
        {"idxKamoMail_RcvName", "tblKamoMail_RcvName, tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS"},
        {"idxKamoMail_Subject", "tblKamoMail_Subject"},
    };
    t.push_back(mail);

    t.push_back({"tblSearch_Addresses",
                 {{"tblSearch_Addr_Data", kTextEmpty}},
                 "tblSearch_Addresses",
                 {"tblSearch_Addr_Data"},
                 {},
                 DerivedData(Rebuild::AddressList, true, {"tblKamoMail"})});
    t.push_back({"tblSearch_Name",
                 {{"tblSearch_Name_Data", kTextEmpty}},
                 "tblSearch_Name",
                 {"tblSearch_Name_Data"},
                 {},
                 DerivedData(Rebuild::NameList, true, {"tblKamoMail"})});
    t.push_back({"tblFriend",
                 {{"tblFriend_PetKind", kText},
                  {"tblFriend_Pet", kText},
                  {"tblFriend_Name", kText},
                  {"tblFriend_Address", kText},
                  {"tblFriend_RecvMailCnt", kInt}},
                 "tblFriend",
                 {"tblFriend_Address"},
                 {},
                 kUserData});
    t.push_back({"tblFilter",
                 {{"tblFilter_No", kInt},
                  {"tblFilter_TermsCode", kInt},
                  {"tblFilter_ActionCode", kInt},
                  {"tblFilter_Header", kTextEmpty},
                  {"tblFilter_Data", kTextEmpty}},
                 "",
                 {},
                 {{"idxFilter_Order", "tblFilter_ActionCode, tblFilter_No"}},
                 kUserData});
    t.push_back({"tblFilterData",
                 {{"tblFilterDt_Id", kInt},
                  {"tblFilterDt_No", kInt},
                  {"tblFilterDt_Date", kText},
                  {"tblFilterDt_Time", kText},
                  {"tblFilterDt_SubKey", kInt},
                  {"tblFilterDt_SendName", kText},
                  {"tblFilterDt_SendAddr", kText},
                  {"tblFilterDt_RecvName", kText},
                  {"tblFilterDt_RecvAddr", kText},
                  {"tblFilterDt_SndRcvFlag", kInt},
                  {"tblFilterDt_Subject", kTextEmpty}},
                 "tblFilterData",
                 {"tblFilterDt_Id"},
                 {{"idxFilterData_No", "tblFilterDt_No, tblFilterDt_Date, tblFilterDt_Time"}},
                 DerivedData(Rebuild::FilterResults, true, {"tblKamoMail", "tblFilter"})});
    return t;
}

// The trash: deleted mail waits in tables of its own, so tblKamoMail's views and indexes know
// nothing of it. tblTrash holds the mail rows (tblKamoMail's columns under their own names) with the
// batch that deleted them and its time; each table kept beside the mail has a trash twin with the
// same columns after the batch, so a restored mail gets back every byte its deletion took.
constexpr const char* kTrashBatch = "tblTrash_Batch";
constexpr const char* kTrashTime = "tblTrash_Time";

TableDef TrashOf(const TableDef& table, const std::string& name) {
    // Keyed by the batch first, so no mail of tblKamoMail owns its rows.
    TableDef trash{name, {{kTrashBatch, "INTEGER NOT NULL"}}, name, {kTrashBatch}, {}, kUserData};
    trash.columns.insert(trash.columns.end(), table.columns.begin(), table.columns.end());
    trash.primaryKey.insert(trash.primaryKey.end(), table.primaryKey.begin(), table.primaryKey.end());
    return trash;
}

void AddTrashTables(std::vector<TableDef>& added) {
    TableDef mail = TrashOf(BuildTables().front(), "tblTrash");
    mail.columns.insert(mail.columns.begin() + 1, {kTrashTime, kTextEmpty});
    // The read's second look: is this mail in the trash?
    mail.indexes = {{"idxTrash_Mail", "tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SndAdd, tblKamoMail_RcvAdd"}};
    const size_t kept = added.size();
    added.push_back(mail);
    for (size_t i = 0; i < kept; ++i)
        added.push_back(TrashOf(added[i], "tblTrash" + added[i].name.substr(3)));
}

std::vector<TableDef> BuildAddedTables() {
    TableDef attachment{"tblAttachment", {}, "tblAttachment", {}, {}, kKeptBesideMail};
    attachment.columns = {
        {"tblAttachment_YMD", kText},
        {"tblAttachment_HMS", kText},
        {"tblAttachment_SubKey", kInt},
        {"tblAttachment_SndRcvFlag", kInt},
        {"tblAttachment_SndAdd", kText},
        {"tblAttachment_RcvAdd", kText},
        {"tblAttachment_No", kInt},
        {"tblAttachment_Name", kTextEmpty},
        {"tblAttachment_Type", kTextEmpty},
        {"tblAttachment_Size", kInt},
        {"tblAttachment_Data", "BLOB NOT NULL DEFAULT x''"},
        // Whether it is a picture (db/Attachments.h), decided when the row is written; NULL until an
        // older archive's rows are marked. Last, as the column added to such an archive comes.
        {"tblAttachment_Picture", kInt},
    };
    attachment.primaryKey = {"tblAttachment_YMD",        "tblAttachment_HMS",    "tblAttachment_SubKey",
                             "tblAttachment_SndRcvFlag", "tblAttachment_SndAdd", "tblAttachment_RcvAdd",
                             "tblAttachment_No"};
    // The marks without the rows: a row holds its bytes before its mark, and reading the mark from
    // it would load them.
    attachment.indexes = {{"idxAttachment_Picture",
                           "tblAttachment_YMD, tblAttachment_HMS, tblAttachment_SubKey, tblAttachment_SndRcvFlag, "
                           "tblAttachment_SndAdd, tblAttachment_RcvAdd, tblAttachment_No, tblAttachment_Picture"}};
    // The names mail came with, kept aside when the friend book first renames it (friends/FriendBook),
    // so they can be brought back. The key columns carry tblKamoMail's names.
    TableDef originalNames{"tblOriginalNames", {}, "tblOriginalNames", {}, {}, kKeptBesideMail};
    originalNames.columns = {
        {"tblKamoMail_YMD", kText},       {"tblKamoMail_HMS", kText},      {"tblKamoMail_SubKey", kInt},
        {"tblKamoMail_SndRcvFlag", kInt}, {"tblKamoMail_SndAdd", kText},   {"tblKamoMail_RcvAdd", kText},
        {"tblKamoMail_SndName", "TEXT"},  {"tblKamoMail_RcvName", "TEXT"},
    };
    originalNames.primaryKey = {"tblKamoMail_YMD",        "tblKamoMail_HMS",    "tblKamoMail_SubKey",
                                "tblKamoMail_SndRcvFlag", "tblKamoMail_SndAdd", "tblKamoMail_RcvAdd"};
    // The header fields of a mail other mail programs need (db/HeaderFields.h): its own message
    // IDs for threading, Cc and Reply-To. Kept exactly (binary text) under the mail's key.
    TableDef headerFields{"tblHeaderFields", {}, "tblHeaderFields", {}, {}, kKeptBesideMail};
    const std::string kTextExact = "TEXT NOT NULL DEFAULT ''";
    headerFields.columns = {
        {"tblHeaderFields_YMD", kText},
        {"tblHeaderFields_HMS", kText},
        {"tblHeaderFields_SubKey", kInt},
        {"tblHeaderFields_SndRcvFlag", kInt},
        {"tblHeaderFields_SndAdd", kText},
        {"tblHeaderFields_RcvAdd", kText},
        {"tblHeaderFields_MessageId", kTextExact},
        {"tblHeaderFields_InReplyTo", kTextExact},
        {"tblHeaderFields_References", kTextExact},
        {"tblHeaderFields_Cc", kTextExact},
        {"tblHeaderFields_ReplyTo", kTextExact},
    };
    headerFields.primaryKey = {"tblHeaderFields_YMD",        "tblHeaderFields_HMS",    "tblHeaderFields_SubKey",
                               "tblHeaderFields_SndRcvFlag", "tblHeaderFields_SndAdd", "tblHeaderFields_RcvAdd"};
    headerFields.indexes = {{"idxHeaderFields_MessageId", "tblHeaderFields_MessageId"}};
    // What PostPet held for each mail, packed (db/MailOriginals.h), the mailbox it was read from, and
    // the decoding that made the mail's row from it.
    TableDef original{"tblOriginal", {}, "tblOriginal", {}, {}, kKeptBesideMail};
    original.columns = {
        {"tblOriginal_YMD", kText},
        {"tblOriginal_HMS", kText},
        {"tblOriginal_SubKey", kInt},
        {"tblOriginal_SndRcvFlag", kInt},
        {"tblOriginal_SndAdd", kText},
        {"tblOriginal_RcvAdd", kText},
        {"tblOriginal_Mailbox", kTextExact},
        {"tblOriginal_Decoding", "INTEGER NOT NULL DEFAULT 0"},
        {"tblOriginal_Data", "BLOB NOT NULL DEFAULT x''"},
    };
    original.primaryKey = {"tblOriginal_YMD",        "tblOriginal_HMS",    "tblOriginal_SubKey",
                           "tblOriginal_SndRcvFlag", "tblOriginal_SndAdd", "tblOriginal_RcvAdd"};
    original.indexes = {{"idxOriginal_Decoding", "tblOriginal_Decoding"}};
    std::vector<TableDef> added = {attachment, originalNames, headerFields, original};
    AddTrashTables(added);
    // tblOriginalDictionary, after the trash's tables: the dictionaries the originals are packed with
    // (db/OriginalDictionary.h), by the id their frames name. The user's data, exported, but not kept
    // beside a mail: an original, in the trash or not, unpacks only with its dictionary, so no copy of
    // the archive goes without them. Never deleted, and no trash twin.
    added.push_back({"tblOriginalDictionary",
                     {{"tblOriginalDictionary_Id", "INTEGER NOT NULL"},
                      {"tblOriginalDictionary_Data", "BLOB NOT NULL DEFAULT x''"}},
                     "tblOriginalDictionary",
                     {"tblOriginalDictionary_Id"},
                     {},
                     kUserData});
    added.push_back({kOwedTable,
                     {{"tblDerivedOwed_Rebuild", "INTEGER NOT NULL"}},
                     "tblDerivedOwed",
                     {"tblDerivedOwed_Rebuild"},
                     {},
                     DerivedData(Rebuild::None, false)});
    // The mail of each month, kept by triggers as mail comes and goes (MonthCountTriggers), so that
    // the date view and the years picture read a row per month instead of counting every mail.
    added.push_back({kMonthCountTable,
                     {{"tblMonthCount_Month", "TEXT COLLATE NOCASE NOT NULL"},
                      {"tblMonthCount_Received", "INTEGER NOT NULL DEFAULT 0"},
                      {"tblMonthCount_Sent", "INTEGER NOT NULL DEFAULT 0"}},
                     "tblMonthCount",
                     {"tblMonthCount_Month"},
                     {},
                     DerivedData(Rebuild::MonthCounts, false)});
    return added;
}

// A mail's month as the date view groups it: the first seven characters of its date ("2001/01"), or
// a shorter date whole. `row` is OLD, NEW or a table name.
std::string MonthOf(const std::string& row) {
    const std::string ymd = row + ".tblKamoMail_YMD";
    return "CASE WHEN length(" + ymd + ") >= 7 THEN substr(" + ymd + ", 1, 7) ELSE " + ymd + " END";
}
// 1 for a mail of the sent side (the direction flag set), else 0.
std::string SentOf(const std::string& row) {
    return "((" + row + ".tblKamoMail_SndRcvFlag <> 0) IS 1)";
}
// Only text dates are counted: a date of another type has no month (the date view never lists one).
std::string Dated(const std::string& row) {
    return "typeof(" + row + ".tblKamoMail_YMD) = 'text'";
}

// Adds the mail of `row` (NEW) to its month.
std::string CountIn(const std::string& row) {
    return " INSERT INTO tblMonthCount (tblMonthCount_Month, tblMonthCount_Received, tblMonthCount_Sent) SELECT " +
           MonthOf(row) + ", 1 - " + SentOf(row) + ", " + SentOf(row) + " WHERE " + Dated(row) +
           " ON CONFLICT (tblMonthCount_Month) DO UPDATE SET tblMonthCount_Received = tblMonthCount_Received +"
           " excluded.tblMonthCount_Received, tblMonthCount_Sent = tblMonthCount_Sent + excluded.tblMonthCount_Sent;";
}
// Takes the mail of `row` (OLD) out of its month; a month left empty goes.
std::string CountOut(const std::string& row) {
    return " UPDATE tblMonthCount SET tblMonthCount_Received = tblMonthCount_Received - (1 - " + SentOf(row) +
           "), tblMonthCount_Sent = tblMonthCount_Sent - " + SentOf(row) + " WHERE " + Dated(row) +
           " AND tblMonthCount_Month = " + MonthOf(row) + "; DELETE FROM tblMonthCount WHERE " + Dated(row) +
           " AND tblMonthCount_Month = " + MonthOf(row) +
           " AND tblMonthCount_Received <= 0 AND tblMonthCount_Sent <= 0;";
}

std::vector<TriggerDef> MonthCountTriggers() {
    return {
        {"trgMonthCount_Insert",
         "CREATE TRIGGER trgMonthCount_Insert AFTER INSERT ON tblKamoMail BEGIN" + CountIn("NEW") + " END"},
        {"trgMonthCount_Delete",
         "CREATE TRIGGER trgMonthCount_Delete AFTER DELETE ON tblKamoMail BEGIN" + CountOut("OLD") + " END"},
        {"trgMonthCount_Update", "CREATE TRIGGER trgMonthCount_Update AFTER UPDATE OF tblKamoMail_YMD,"
                                 " tblKamoMail_SndRcvFlag ON tblKamoMail BEGIN" +
                                     CountOut("OLD") + CountIn("NEW") + " END"},
    };
}

// "tblAttachment_X IS OLD.tblKamoMail_X AND ..." over the six key columns of a table whose key
// columns are named `prefix` + X: the table's own NOCASE equality, as tblKamoMail's primary index
// compares them.
std::string KeyMatch(const std::string& side, const std::string& prefix = "tblAttachment_") {
    std::string sql;
    for (const char* column : {"YMD", "HMS", "SubKey", "SndRcvFlag", "SndAdd", "RcvAdd"}) {
        sql += sql.empty() ? "" : " AND ";
        sql += prefix + column + " IS " + side + ".tblKamoMail_" + column;
    }
    return sql;
}

// "prefixYMD = NEW.tblKamoMail_YMD, ..." over the six key columns.
std::string KeyMoved(const std::string& prefix) {
    std::string moved;
    for (const char* column : {"YMD", "HMS", "SubKey", "SndRcvFlag", "SndAdd", "RcvAdd"})
        moved += std::string(moved.empty() ? "" : ", ") + prefix + column + " = NEW.tblKamoMail_" + column;
    return moved;
}

constexpr const char* kKeyUpdate = "AFTER UPDATE OF tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                                   "tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd ON tblKamoMail ";

// Each user table some derived data is made from, with the rebuilds its changes owe: "(n), (m)".
std::vector<std::pair<std::string, std::string>> OwedRebuildValues() {
    std::vector<std::pair<std::string, std::string>> owed;
    for (const auto& table : ArchiveTables())
        for (const char* from : table.kind.madeFrom) {
            if (!from)
                continue;
            auto it = std::find_if(owed.begin(), owed.end(), [&](const auto& o) { return o.first == from; });
            if (it == owed.end())
                it = owed.insert(owed.end(), {from, ""});
            it->second +=
                (it->second.empty() ? "(" : ", (") + std::to_string(static_cast<int>(table.kind.rebuild)) + ")";
        }
    return owed;
}

// INSERT OR IGNORE: a mark already there costs a look-up, not a write.
std::string MarkOwedSql(const std::string& rebuilds) {
    return std::string("INSERT OR IGNORE INTO ") + kOwedTable + " (tblDerivedOwed_Rebuild) VALUES " + rebuilds;
}

// For each user table derived data is made from, a trigger per kind of change that marks the
// rebuilds of that data owed.
std::vector<TriggerDef> OwedTriggers() {
    std::vector<TriggerDef> triggers;
    for (const auto& [table, rebuilds] : OwedRebuildValues())
        for (const char* change : {"Insert", "Update", "Delete"}) {
            const std::string name = "trgOwed_" + table.substr(3) + "_" + change;
            std::string upper = change;
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            triggers.push_back({name, "CREATE TRIGGER " + name + " AFTER " + upper + " ON " + table + " BEGIN " +
                                          MarkOwedSql(rebuilds) + "; END"});
        }
    return triggers;
}

std::vector<TriggerDef> BuildTriggers() {
    const std::string fields = "tblHeaderFields_";
    const std::string original = "tblOriginal_";
    std::vector<TriggerDef> triggers = {
        {"trgKamoMail_DeleteAttachments", "CREATE TRIGGER trgKamoMail_DeleteAttachments AFTER DELETE ON tblKamoMail "
                                          "BEGIN DELETE FROM tblAttachment WHERE " +
                                              KeyMatch("OLD") + "; END"},
        {"trgKamoMail_MoveAttachments", std::string("CREATE TRIGGER trgKamoMail_MoveAttachments ") + kKeyUpdate +
                                            "BEGIN UPDATE tblAttachment SET " + KeyMoved("tblAttachment_") + " WHERE " +
                                            KeyMatch("OLD") + "; END"},
        {"trgKamoMail_DeleteHeaderFields", "CREATE TRIGGER trgKamoMail_DeleteHeaderFields AFTER DELETE ON tblKamoMail "
                                           "BEGIN DELETE FROM tblHeaderFields WHERE " +
                                               KeyMatch("OLD", fields) + "; END"},
        {"trgKamoMail_MoveHeaderFields", std::string("CREATE TRIGGER trgKamoMail_MoveHeaderFields ") + kKeyUpdate +
                                             "BEGIN UPDATE tblHeaderFields SET " + KeyMoved(fields) + " WHERE " +
                                             KeyMatch("OLD", fields) + "; END"},
        {"trgKamoMail_DeleteOriginal", "CREATE TRIGGER trgKamoMail_DeleteOriginal AFTER DELETE ON tblKamoMail "
                                       "BEGIN DELETE FROM tblOriginal WHERE " +
                                           KeyMatch("OLD", original) + "; END"},
        {"trgKamoMail_MoveOriginal", std::string("CREATE TRIGGER trgKamoMail_MoveOriginal ") + kKeyUpdate +
                                         "BEGIN UPDATE tblOriginal SET " + KeyMoved(original) + " WHERE " +
                                         KeyMatch("OLD", original) + "; END"},
        {"trgOriginalNamesFollowMail",
         "CREATE TRIGGER trgOriginalNamesFollowMail AFTER DELETE ON tblKamoMail BEGIN "
         "DELETE FROM tblOriginalNames WHERE tblKamoMail_YMD = old.tblKamoMail_YMD AND "
         "tblKamoMail_HMS = old.tblKamoMail_HMS AND tblKamoMail_SubKey = old.tblKamoMail_SubKey AND "
         "tblKamoMail_SndRcvFlag = old.tblKamoMail_SndRcvFlag AND tblKamoMail_SndAdd = old.tblKamoMail_SndAdd AND "
         "tblKamoMail_RcvAdd = old.tblKamoMail_RcvAdd; END"},
    };
    for (auto& trigger : OwedTriggers())
        triggers.push_back(std::move(trigger));
    for (auto& trigger : MonthCountTriggers())
        triggers.push_back(std::move(trigger));
    return triggers;
}

bool Exists(SQLite::Database& db, const char* type, const std::string& name) {
    SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = ? AND name = ? COLLATE NOCASE");
    q.bind(1, type);
    q.bind(2, name);
    return q.executeStep();
}

void CreateTableWithIndexes(SQLite::Database& db, const TableDef& table) {
    db.exec(CreateTableSql(table));
    for (const auto& index : table.indexes)
        db.exec(CreateIndexSql(table, index));
}

// Each declared index of the six and the added tables, with its table.
std::vector<std::pair<const TableDef*, const IndexDef*>> DeclaredIndexes() {
    std::vector<std::pair<const TableDef*, const IndexDef*>> all;
    for (const auto* tables : {&ArchiveTables(), &AddedTables()})
        for (const auto& table : *tables)
            for (const auto& index : table.indexes)
                all.emplace_back(&table, &index);
    return all;
}

// Makes the declared indexes the archive lacks on tables that have their columns (an index of a
// first read that did not end), in the caller's transaction or one of its own. Whether it made any.
bool MakeMissingIndexes(SQLite::Database& db) {
    std::vector<std::pair<const TableDef*, const IndexDef*>> missing;
    for (const auto& [table, index] : DeclaredIndexes()) {
        if (Exists(db, "index", index->name))
            continue;
        const auto columns = TableColumns(db, table->name);
        bool all = !columns.empty();
        for (size_t from = 0; all && from < index->columns.size();) {
            const size_t comma = std::min(index->columns.find(", ", from), index->columns.size());
            const std::string column = index->columns.substr(from, comma - from);
            all = std::any_of(columns.begin(), columns.end(),
                              [&](const TableColumn& c) { return EqualsNoCase(c.name, column); });
            from = comma + 2;
        }
        if (all)
            missing.emplace_back(table, index);
    }
    if (missing.empty())
        return false;
    PieceTransaction piece(db);
    for (const auto& [table, index] : missing)
        db.exec(CreateIndexSql(*table, *index));
    piece.Commit();
    return true;
}

std::string Join(const std::vector<std::string>& items) {
    std::string s;
    for (const auto& item : items) {
        if (!s.empty())
            s += ", ";
        s += item;
    }
    return s;
}

} // namespace

const std::vector<TableDef>& ArchiveTables() {
    static const std::vector<TableDef> tables = BuildTables();
    return tables;
}

const std::vector<TableDef>& AddedTables() {
    static const std::vector<TableDef> tables = BuildAddedTables();
    return tables;
}

const std::vector<TrashTwin>& TrashTwins() {
    static const std::vector<TrashTwin> twins = [] {
        auto find = [](const std::string& name) -> const TableDef* {
            for (const auto& table : AddedTables())
                if (table.name == name)
                    return &table;
            return nullptr;
        };
        std::vector<TrashTwin> t = {{&ArchiveTables().front(), find("tblTrash")}};
        for (const auto& table : AddedTables())
            if (const TableDef* trash = find("tblTrash" + table.name.substr(3));
                trash && table.name.rfind("tblTrash", 0))
                t.push_back({&table, trash});
        return t;
    }();
    return twins;
}

const std::vector<TriggerDef>& ArchiveTriggers() {
    static const std::vector<TriggerDef> triggers = BuildTriggers();
    return triggers;
}

std::string CreateTableSql(const TableDef& table) {
    std::string sql = "CREATE TABLE " + table.name + " (";
    bool first = true;
    for (const auto& c : table.columns) {
        sql += first ? "" : ", ";
        sql += c.name + " " + c.declaration;
        first = false;
    }
    if (!table.primaryKey.empty())
        sql += ", CONSTRAINT " + table.primaryKeyName + " PRIMARY KEY (" + Join(table.primaryKey) + ")";
    sql += ")";
    return sql;
}

void CreateTables(SQLite::Database& db) {
    SQLite::Transaction tx(db);
    for (const auto& table : ArchiveTables())
        CreateTableWithIndexes(db, table);
    for (const auto& table : AddedTables())
        CreateTableWithIndexes(db, table);
    for (const auto& trigger : ArchiveTriggers())
        db.exec(trigger.sql);
    tx.commit();
}

bool AddMissingTables(SQLite::Database& db) {
    // Looked up before any transaction: an archive that has them all is not written at all.
    std::vector<const TableDef*> tables;
    for (const auto& table : AddedTables())
        if (!Exists(db, "table", table.name))
            tables.push_back(&table);
    std::vector<const TriggerDef*> triggers;
    for (const auto& trigger : ArchiveTriggers())
        if (!Exists(db, "trigger", trigger.name))
            triggers.push_back(&trigger);
    if (tables.empty() && triggers.empty()) {
        const bool marked = AddPictureMarks(db);
        return MakeMissingIndexes(db) || marked;
    }
    SQLite::Transaction tx(db);
    for (const auto* table : tables)
        CreateTableWithIndexes(db, *table);
    for (const auto* trigger : triggers)
        db.exec(trigger->sql);
    // Counts made before their table or while one of its triggers was missing start again from the mail.
    const bool counting =
        std::any_of(tables.begin(), tables.end(), [](const TableDef* t) { return t->name == kMonthCountTable; }) ||
        std::any_of(triggers.begin(), triggers.end(),
                    [](const TriggerDef* t) { return t->name.rfind("trgMonthCount_", 0) == 0; });
    if (counting)
        RecountMonths(db);
    // An archive whose attachments were stored before their picture marks gets them with the rest.
    AddPictureMarks(db);
    MakeMissingIndexes(db);
    tx.commit();
    return true;
}

std::string CreateIndexSql(const TableDef& table, const IndexDef& index) {
    return "CREATE INDEX " + index.name + " ON " + table.name + " (" + index.columns + ")";
}

namespace {

// The mail table's insert triggers a fill from empty leaves out: what they keep is made whole after it.
constexpr const char* kOwedOnMail = "trgOwed_KamoMail_Insert";
constexpr const char* kMonthOnMail = "trgMonthCount_Insert";

} // namespace

MadeAfterFill::MadeAfterFill(SQLite::Database& db) : db_(db) {
    if (InTransaction(db_))
        return;
    auto empty = [this](const std::string& table) {
        SQLite::Statement any(db_, "SELECT 1 FROM " + table + " LIMIT 1");
        return !any.executeStep();
    };
    try {
        SQLite::Transaction tx(db_);
        for (const auto& [table, index] : DeclaredIndexes()) {
            if (!Exists(db_, "index", index->name) || !Exists(db_, "table", table->name) || !empty(table->name))
                continue;
            db_.exec("DROP INDEX " + index->name);
            dropped_.emplace_back(table, index);
        }
        if (empty("tblKamoMail")) {
            for (const auto& trigger : ArchiveTriggers()) {
                if ((trigger.name != kOwedOnMail && trigger.name != kMonthOnMail) ||
                    !Exists(db_, "trigger", trigger.name))
                    continue;
                db_.exec("DROP TRIGGER " + trigger.name);
                triggers_.push_back(&trigger);
                if (trigger.name == kOwedOnMail)
                    for (const auto& [table, rebuilds] : OwedRebuildValues())
                        if (table == "tblKamoMail")
                            db_.exec(MarkOwedSql(rebuilds));
            }
        }
        tx.commit();
    } catch (const SQLite::Exception&) {
        dropped_.clear(); // rolled back: everything is still there
        triggers_.clear();
    }
}

void MadeAfterFill::Make(const std::function<void()>& pump) {
    std::optional<PumpDuringStatements> pumping;
    if (pump)
        pumping.emplace(db_, pump);
    PieceTransaction piece(db_);
    // With any other declared index missing, as a write killed before it made its indexes leaves them.
    MakeMissingIndexes(db_);
    bool months = false;
    for (const TriggerDef* trigger : triggers_) {
        if (!Exists(db_, "trigger", trigger->name))
            db_.exec(trigger->sql);
        months = months || trigger->name == kMonthOnMail;
    }
    if (months)
        RecountMonths(db_);
    piece.Commit();
    dropped_.clear();
    triggers_.clear();
}

MadeAfterFill::~MadeAfterFill() {
    if ((dropped_.empty() && triggers_.empty()) || InTransaction(db_))
        return;
    try {
        Make();
    } catch (...) {
    }
}

void RecountMonths(SQLite::Database& db) {
    db.exec("DELETE FROM tblMonthCount");
    db.exec("INSERT INTO tblMonthCount (tblMonthCount_Month, tblMonthCount_Received, tblMonthCount_Sent) SELECT " +
            MonthOf("tblKamoMail") + " AS m, COUNT(*) - TOTAL(" + SentOf("tblKamoMail") + "), TOTAL(" +
            SentOf("tblKamoMail") + ") FROM tblKamoMail WHERE " + Dated("tblKamoMail") + " GROUP BY m COLLATE NOCASE");
}

bool MonthCountsMissing(SQLite::Database& db) {
    return !Exists(db, "table", kMonthCountTable) ||
           db.execAndGet("SELECT NOT EXISTS (SELECT 1 FROM tblMonthCount) AND EXISTS (SELECT 1 FROM tblKamoMail)")
                   .getInt() != 0;
}

void EnsureMonthCounts(SQLite::Database& db) {
    if (!Exists(db, "table", kMonthCountTable) || !MonthCountsMissing(db))
        return;
    PieceTransaction piece(db);
    RecountMonths(db);
    piece.Commit();
}

std::vector<Rebuild> OwedRebuilds(SQLite::Database& db) {
    std::vector<Rebuild> owed;
    if (!Exists(db, "table", kOwedTable))
        return owed;
    SQLite::Statement q(db, std::string("SELECT tblDerivedOwed_Rebuild FROM ") + kOwedTable +
                                " ORDER BY tblDerivedOwed_Rebuild");
    while (q.executeStep())
        owed.push_back(static_cast<Rebuild>(q.getColumn(0).getInt()));
    return owed;
}

void PayOwed(SQLite::Database& db, Rebuild done) {
    if (!Exists(db, "table", kOwedTable))
        return;
    SQLite::Statement q(db, std::string("DELETE FROM ") + kOwedTable + " WHERE tblDerivedOwed_Rebuild = ?1");
    q.bind(1, static_cast<int>(done));
    q.exec();
}

bool ConfigureSqliteForProcess() {
    return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
}

std::unique_ptr<SQLite::Database> OpenArchive(const std::filesystem::path& path, bool create) {
    // One thread uses a session's connection at a time (the upkeep and the backups open their own),
    // so SQLite's own locking of each call is left out.
    int flags = SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX | (create ? SQLite::OPEN_CREATE : 0);
    auto db = std::make_unique<SQLite::Database>(path.string(), flags);
    db->exec("PRAGMA foreign_keys = OFF");
    // Keep no journal file beside the archive between transactions; compaction relies on it.
    db->exec("PRAGMA journal_mode = DELETE");
    db->exec("PRAGMA synchronous = FULL");
    db->setBusyTimeout(5000);
    return db;
}

} // namespace kamo
