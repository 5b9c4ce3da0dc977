#include <gtest/gtest.h>

#include <cctype>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "db/LookupLists.h"
#include "db/tests/OwnerMail.h"

namespace kamo {
namespace {

using test::OwnerMailTest;

std::vector<std::string> Column(SQLite::Database& db, const char* sql) {
    std::vector<std::string> values;
    SQLite::Statement st(db, sql);
    while (st.executeStep())
        values.push_back(st.getColumn(0).getString());
    return values;
}

// The tables in the order the main window lists them.
std::vector<std::string> Addresses(SQLite::Database& db) {
    return Column(db, "SELECT tblSearch_Addr_Data FROM tblSearch_Addresses ORDER BY tblSearch_Addr_Data ASC");
}

std::vector<std::string> Names(SQLite::Database& db) {
    return Column(db, "SELECT tblSearch_Name_Data FROM tblSearch_Name ORDER BY tblSearch_Name_Data ASC");
}

std::vector<std::string> Lower(std::vector<std::string> values) {
    for (auto& v : values)
        for (char& c : v)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return values;
}

TEST_F(OwnerMailTest, LookupTablesHoldEachSenderAndReceiverOnceIgnoringCase) {
    EXPECT_EQ(Lower(Addresses(*db_)),
              (std::vector<std::string>{"hana@example.jp", "kamo@example.jp", "taro@example.jp"}));
    EXPECT_EQ(Names(*db_).size(), 3u);

    // A rebuild drops names no mail carries any more, and works inside a caller's transaction.
    SQLite::Transaction tx(*db_);
    db_->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SndName = '太郎' OR tblKamoMail_RcvName = '太郎'");
    RebuildNameList(*db_);
    RebuildAddressList(*db_);
    tx.commit();
    EXPECT_EQ(Names(*db_), (std::vector<std::string>{"かも", "花子"}));
    EXPECT_EQ(Lower(Addresses(*db_)), (std::vector<std::string>{"hana@example.jp", "kamo@example.jp"}));
}

} // namespace
} // namespace kamo
