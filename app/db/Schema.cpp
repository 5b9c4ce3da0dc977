#include "db/Schema.h"

#include <SQLiteCpp/Transaction.h>

namespace kamo {
namespace {

const std::string kText = "TEXT COLLATE NOCASE";
const std::string kTextEmpty = "TEXT COLLATE NOCASE NOT NULL DEFAULT ''";
const std::string kInt = "INTEGER";

std::vector<TableDef> BuildTables() {
    std::vector<TableDef> t;

    TableDef mail{"tblKamoMail", {}, "tblKamoMail", {}, {}};
    mail.columns = {
        {"tblKamoMail_YMD", kText},       {"tblKamoMail_HMS", kText},     {"tblKamoMail_SubKey", kInt},
        {"tblKamoMail_SndRcvFlag", kInt}, {"tblKamoMail_SndName", kText}, {"tblKamoMail_SndAdd", kText},
        {"tblKamoMail_RcvName", kText},   {"tblKamoMail_RcvAdd", kText},  {"tblKamoMail_Subject", kTextEmpty},
    };
    for (int i = 1; i <= kBodyPieces; ++i)
        mail.columns.push_back({"tblKamoMail_Mail" + std::to_string(i), kTextEmpty});
    mail.columns.push_back({"tblKamoMail_Include", kTextEmpty});
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
                 {}});
    t.push_back(
        {"tblSearch_Name", {{"tblSearch_Name_Data", kTextEmpty}}, "tblSearch_Name", {"tblSearch_Name_Data"}, {}});
    t.push_back({"tblFriend",
                 {{"tblFriend_PetKind", kText},
                  {"tblFriend_Pet", kText},
                  {"tblFriend_Name", kText},
                  {"tblFriend_Address", kText},
                  {"tblFriend_RecvMailCnt", kInt}},
                 "tblFriend",
                 {"tblFriend_Address"},
                 {}});
    t.push_back({"tblFilter",
                 {{"tblFilter_No", kInt},
                  {"tblFilter_TermsCode", kInt},
                  {"tblFilter_ActionCode", kInt},
                  {"tblFilter_Header", kTextEmpty},
                  {"tblFilter_Data", kTextEmpty}},
                 "",
                 {},
                 {{"idxFilter_Order", "tblFilter_ActionCode, tblFilter_No"}}});
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
                 {{"idxFilterData_No", "tblFilterDt_No, tblFilterDt_Date, tblFilterDt_Time"}}});
    return t;
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
    for (const auto& table : ArchiveTables()) {
        db.exec(CreateTableSql(table));
        for (const auto& index : table.indexes)
            db.exec("CREATE INDEX " + index.name + " ON " + table.name + " (" + index.columns + ")");
    }
    tx.commit();
}

std::unique_ptr<SQLite::Database> OpenArchive(const std::filesystem::path& path, bool create) {
    int flags = SQLite::OPEN_READWRITE | (create ? SQLite::OPEN_CREATE : 0);
    auto db = std::make_unique<SQLite::Database>(path.string(), flags);
    db->exec("PRAGMA foreign_keys = OFF");
    // Keep no journal file beside the archive between transactions; compaction relies on it.
    db->exec("PRAGMA journal_mode = DELETE");
    db->exec("PRAGMA synchronous = FULL");
    db->setBusyTimeout(5000);
    return db;
}

} // namespace kamo
