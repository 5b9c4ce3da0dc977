#include <gtest/gtest.h>

#include <random>

#include <SQLiteCpp/Statement.h>

#include "browse/SubjectCursor.h"
#include "browse/tests/ShownLines.h"
#include "db/tests/OwnerMail.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

using test::Mail;
using test::OwnerMailTest;

std::vector<std::string> Subjects(const std::vector<SubjectLine>& lines) {
    std::vector<std::string> s;
    for (const auto& l : lines)
        s.push_back(l.subject);
    return s;
}

TEST_F(OwnerMailTest, AddressAndNameListsShowEveryMailOfTheKeyOnEitherSideInDateOrder) {
    // The address compares without regard to case, as the archive always did.
    auto hana = test::ShownLines(*db_, ViewMode::Address, "hana@example.jp");
    EXPECT_EQ(Subjects(hana), (std::vector<std::string>{"メリークリスマス", "同じ時刻の二通目", "あけおめ"}));
    auto kamo = test::ShownLines(*db_, ViewMode::Address, "kamo@example.jp");
    EXPECT_EQ(kamo.size(), 5u);
    auto byName = test::ShownLines(*db_, ViewMode::Name, "太郎");
    EXPECT_EQ(Subjects(byName), (std::vector<std::string>{"早起き", "おはよう"}));
    EXPECT_TRUE(test::ShownLines(*db_, ViewMode::Address, "nobody@example.jp").empty());
}

TEST_F(OwnerMailTest, AMailToOneselfIsListedOnce) {
    test::InsertTestMail(
        *db_, Mail("2004/01/01", "10:00:00", true, "かも", "kamo@example.jp", "かも", "kamo@example.jp", "メモ"));
    auto lines = test::ShownLines(*db_, ViewMode::Address, "kamo@example.jp");
    EXPECT_EQ(lines.size(), 6u);
    EXPECT_EQ(test::ShownLines(*db_, ViewMode::Name, "かも").size(), 6u);
}

TEST_F(OwnerMailTest, SentLineNamesTheReceiverAndReceivedLineTheSender) {
    auto lines = test::ShownLines(*db_, ViewMode::Address, "taro@example.jp");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].key.sent);
    EXPECT_EQ(lines[0].text.rfind("2002/03/01 08:00:00 　送　受取人：太郎 ", 0), 0u) << lines[0].text;
    EXPECT_FALSE(lines[1].key.sent);
    EXPECT_EQ(lines[1].text.rfind("2002/03/01 09:00:00 受　　差出人：太郎 ", 0), 0u) << lines[1].text;
    EXPECT_EQ(lines[1].key.sndAdd, "taro@example.jp");
    EXPECT_EQ(lines[1].key.rcvAdd, "kamo@example.jp");
}

// The merged halves must give exactly what one OR query sorted by the list order gives, whatever the
// mix of sides, equal times, sub-keys and letter case; read in small pieces or all at once.
TEST(SubjectRowStream, MergedHalvesMatchTheListOrderOfASingleQuery) {
    auto db = test::MemoryArchive();
    const char* addresses[] = {"a@x.jp", "A@X.jp", "b@x.jp", "c@x.jp"};
    const char* names[] = {"太郎", "花子", "Taro", "taro"};
    std::mt19937 rng(7);
    for (int i = 0; i < 600; ++i) {
        MailRecord m;
        m.ymd = "2002/03/0" + std::to_string(1 + rng() % 3);
        m.hms = "10:0" + std::to_string(rng() % 3) + ":00";
        m.subKey = static_cast<int64_t>(rng() % 3);
        m.sent = rng() % 2;
        m.sndAdd = addresses[rng() % 4];
        m.rcvAdd = addresses[rng() % 4];
        m.sndName = names[rng() % 4];
        m.rcvName = names[rng() % 4];
        m.subject = std::to_string(i);
        try {
            test::InsertTestMail(*db, m);
        } catch (const SQLite::Exception&) {
            // the same identity twice: the archive keeps one
        }
    }
    auto reference = [&](const char* where, const char* order, const std::string& key) {
        SQLite::Statement st(*db, std::string("SELECT rowid FROM tblKamoMail WHERE ") + where + " ORDER BY " + order +
                                      ", rowid");
        st.bind(1, key);
        std::vector<int64_t> ids;
        while (st.executeStep())
            ids.push_back(st.getColumn(0).getInt64());
        return ids;
    };
    for (const char* key : {"a@x.jp", "b@x.jp", "none@x.jp"}) {
        auto expected = reference("tblKamoMail_SndAdd = ?1 OR tblKamoMail_RcvAdd = ?1",
                                  "tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey", key);
        EXPECT_EQ(QuerySubjectRows(*db, ViewMode::Address, key).rowIds, expected) << key;
        SubjectRowStream stream(*db, ViewMode::Address, key);
        std::vector<int64_t> piecewise;
        while (stream.Read(piecewise, 7)) {
        }
        EXPECT_EQ(piecewise, expected) << key;
        EXPECT_TRUE(stream.Done());
    }
    for (const char* key : {"太郎", "taro"}) {
        auto expected = reference("tblKamoMail_SndName = ?1 OR tblKamoMail_RcvName = ?1",
                                  "tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS", key);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(QuerySubjectRows(*db, ViewMode::Name, key).rowIds, expected) << key;
    }
}

} // namespace
} // namespace kamo
