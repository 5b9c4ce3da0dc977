// A mail row written the way a read stores it (MailStore) and read back through the row reader of
// db/MailRows, which the export, the mail display and the subject list share.
#include <gtest/gtest.h>

#include <SQLiteCpp/Statement.h>

#include "db/MailRows.h"
#include "import/MailStore.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

MailRecord Mail(std::string subject, std::string body) {
    return test::MailBuilder()
        .Date("2001/03/06", "21:05:09")
        .Sent()
        .With("山田", "yamada@example.jp")
        .Subject(std::move(subject))
        .Body(std::move(body))
        .Include("1")
        .Build();
}

std::string Repeat(const std::string& s, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += s;
    return out;
}

} // namespace

TEST(MailRows, BodiesComeBackWholeAndLieInTheStoredPiecesAsBefore) {
    constexpr std::size_t kPiece = kBodyPieceChars;
    const std::string a(kPiece - 1, 'a');
    struct Case {
        const char* what;
        std::string body;
        // Characters (SQLite's length()) of the first, second and sixteenth stored piece.
        int64_t first, second, last;
    };
    const Case cases[] = {
        {"empty", "", 0, 0, 0},
        {"one piece exactly", std::string(kPiece, 'q'), 4000, 0, 0},
        {"one character over a piece", std::string(kPiece + 1, 'q'), 4000, 1, 0},
        {"three-byte characters over a piece", Repeat("あ", kPiece + 1), 4000, 1, 0},
        {"four-byte character on the boundary", a + "😀" + "b", 4000, 1, 0},
        {"CR LF across the boundary", a + "\r\nx", 3999, 3, 0},
        {"all sixteen pieces full", std::string(kPiece * 16, 'z'), 4000, 4000, 4000},
        {"beyond sixteen pieces", std::string(kPiece * 20 + 7, 'z'), 4000, 4000, 20007},
    };
    auto db = test::MemoryArchive();
    MailStore store(*db);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MailRecord written = Mail("body " + std::to_string(n++), c.body);
        ASSERT_EQ(store.Store(written), MailStore::Outcome::Stored);

        SQLite::Statement row(*db, "SELECT " + MailColumns() + " FROM tblKamoMail WHERE tblKamoMail_Subject = ?1");
        row.bind(1, written.subject);
        ASSERT_TRUE(row.executeStep());
        EXPECT_EQ(ReadMailRow(row).body, c.body);

        SQLite::Statement pieces(*db, "SELECT length(tblKamoMail_Mail1), length(tblKamoMail_Mail2),"
                                      " length(tblKamoMail_Mail16) FROM tblKamoMail WHERE tblKamoMail_Subject = ?1");
        pieces.bind(1, written.subject);
        ASSERT_TRUE(pieces.executeStep());
        EXPECT_EQ(pieces.getColumn(0).getInt64(), c.first);
        EXPECT_EQ(pieces.getColumn(1).getInt64(), c.second);
        EXPECT_EQ(pieces.getColumn(2).getInt64(), c.last);
    }
}

TEST(MailRows, EveryFieldOfAStoredMailComesBack) {
    auto db = test::MemoryArchive();
    MailStore store(*db);
    // A second mail of the same second and addresses gets sub-key 1, so the sub-key is no default.
    MailRecord first = Mail("一通目", "本文\r\n");
    MailRecord written = Mail("二通目", "もう一つの本文\r\n");
    ASSERT_EQ(store.Store(first), MailStore::Outcome::Stored);
    ASSERT_EQ(store.Store(written), MailStore::Outcome::Stored);
    ASSERT_EQ(written.subKey, 1);

    SQLite::Statement row(*db, "SELECT 'before', " + MailColumns() + " FROM tblKamoMail WHERE rowid = 2");
    ASSERT_TRUE(row.executeStep());
    const MailRecord read = ReadMailRow(row, 1);
    EXPECT_EQ(read.subKey, 1);
    EXPECT_TRUE(read.sent);
    EXPECT_TRUE(read == written) << read.subject << " / " << read.body;

    // The head alone, as the subject list reads it.
    SQLite::Statement head(*db, "SELECT " + MailHeadColumns() + " FROM tblKamoMail WHERE rowid = 2");
    ASSERT_TRUE(head.executeStep());
    MailKey key;
    std::string subject;
    ReadMailHead(head, 0, key, subject);
    EXPECT_TRUE(key == KeyOf(written)) << key.ymd << " " << key.hms << " " << key.subKey;
    EXPECT_EQ(subject, written.subject);
}
