#include "db/LookupLists.h"

#include <string>
#include <utility>

#include "db/MailRows.h"

namespace kamo {
namespace {

// Rolls back unless released; nests inside a caller's transaction, which a plain BEGIN cannot.
class SavepointGuard {
public:
    SavepointGuard(SQLite::Database& db, std::string name) : db_(db), name_(std::move(name)) {
        db_.exec("SAVEPOINT " + name_);
    }
    ~SavepointGuard() {
        if (released_)
            return;
        try {
            db_.exec("ROLLBACK TO " + name_);
            db_.exec("RELEASE " + name_);
        } catch (...) {
        }
    }
    SavepointGuard(const SavepointGuard&) = delete;
    SavepointGuard& operator=(const SavepointGuard&) = delete;
    void Release() {
        db_.exec("RELEASE " + name_);
        released_ = true;
    }

private:
    SQLite::Database& db_;
    std::string name_;
    bool released_ = false;
};

void RebuildLookup(SQLite::Database& db, const std::string& table, const std::string& column,
                   const std::string& sndColumn, const std::string& rcvColumn) {
    SavepointGuard sp(db, "rebuild_lookup");
    db.exec("DELETE FROM " + table);
    // A missing value is stored as the empty text, as the look-up always did. The primary index
    // ignores letter case, so names differing only in case land once.
    db.exec("INSERT OR IGNORE INTO " + table + " (" + column + ")" + " SELECT IFNULL(" + sndColumn +
            ", '') FROM tblKamoMail UNION SELECT IFNULL(" + rcvColumn + ", '') FROM tblKamoMail");
    sp.Release();
}

} // namespace

void RebuildNameList(SQLite::Database& db) {
    RebuildLookup(db, "tblSearch_Name", "tblSearch_Name_Data", MailColumn::kSndName, MailColumn::kRcvName);
}

void RebuildAddressList(SQLite::Database& db) {
    RebuildLookup(db, "tblSearch_Addresses", "tblSearch_Addr_Data", MailColumn::kSndAdd, MailColumn::kRcvAdd);
}

} // namespace kamo
