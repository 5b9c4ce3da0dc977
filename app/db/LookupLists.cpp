#include "db/LookupLists.h"

#include <string>

#include "db/MailRows.h"
#include "db/PieceTransaction.h"
#include "db/Schema.h"

namespace kamo {
namespace {

void RebuildLookup(SQLite::Database& db, Rebuild rebuild, const std::string& table, const std::string& column,
                   const std::string& sndColumn, const std::string& rcvColumn) {
    SavepointGuard sp(db, "rebuild_lookup");
    db.exec("DELETE FROM " + table);
    // A missing value is stored as the empty text, as the look-up always did. The primary index
    // ignores letter case, so names differing only in case land once.
    db.exec("INSERT OR IGNORE INTO " + table + " (" + column + ")" + " SELECT IFNULL(" + sndColumn +
            ", '') FROM tblKamoMail UNION SELECT IFNULL(" + rcvColumn + ", '') FROM tblKamoMail");
    PayOwed(db, rebuild);
    sp.Release();
}

} // namespace

void RebuildNameList(SQLite::Database& db) {
    RebuildLookup(db, Rebuild::NameList, "tblSearch_Name", "tblSearch_Name_Data", MailColumn::kSndName,
                  MailColumn::kRcvName);
}

void RebuildAddressList(SQLite::Database& db) {
    RebuildLookup(db, Rebuild::AddressList, "tblSearch_Addresses", "tblSearch_Addr_Data", MailColumn::kSndAdd,
                  MailColumn::kRcvAdd);
}

} // namespace kamo
