#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <set>

#include <SQLiteCpp/Transaction.h>

#include "db/MailRows.h"
#include "import/MailDecode.h"
#include "import/MailStore.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
using namespace std::string_literals;

namespace {

MailRecord Mail(const std::string& subject, const std::string& body = "body") {
    return test::MailBuilder()
        .Date("2001/03/06", "21:05:09")
        .With("山田", "yamada@example.jp")
        .Subject(subject)
        .Body(body)
        .Include("0")
        .Build();
}

int64_t Rows(SQLite::Database& db) {
    return db.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
}

std::string StoredBody(SQLite::Database& db, int64_t subKey) {
    std::string sql = "SELECT tblKamoMail_Mail1";
    for (int i = 2; i <= kBodyPieces; ++i)
        sql += " || tblKamoMail_Mail" + std::to_string(i);
    SQLite::Statement st(db, sql + " FROM tblKamoMail WHERE tblKamoMail_SubKey = ?");
    st.bind(1, subKey);
    return st.executeStep() ? st.getColumn(0).getString() : std::string("<none>");
}

} // namespace

TEST(MailStore, CopiesAreRecognisedAndSubKeysKeepNeighboursApart) {
    auto db = test::MemoryArchive();
    MailStore store(*db);
    MailRecord a = Mail("hello");
    EXPECT_EQ(store.Store(a), MailStore::Outcome::Stored);
    EXPECT_EQ(a.subKey, 0);
    // Same five key fields (letter case aside, as the archive compares text) and body: a copy.
    MailRecord copy = Mail("HELLO");
    copy.sndAdd = "Yamada@Example.jp";
    EXPECT_EQ(store.Store(copy), MailStore::Outcome::AlreadyStored);
    // Same date, time, flag and addresses, other subjects: stored with the next sub-keys.
    MailRecord b = Mail("second");
    MailRecord c = Mail("third");
    EXPECT_EQ(store.Store(b), MailStore::Outcome::Stored);
    EXPECT_EQ(store.Store(c), MailStore::Outcome::Stored);
    EXPECT_EQ(b.subKey, 1);
    EXPECT_EQ(c.subKey, 2);
    // The other direction has its own sub-keys.
    MailRecord sent = Mail("fourth");
    sent.sent = true;
    EXPECT_EQ(store.Store(sent), MailStore::Outcome::Stored);
    EXPECT_EQ(sent.subKey, 0);
    EXPECT_EQ(Rows(*db), 4);
    // Quotes and over-long values are bound, never pasted: stored whole and exactly.
    MailRecord odd = Mail(std::string(300, 'x') + "'; DROP TABLE tblKamoMail; --");
    odd.sndName = std::string(200, 'n') + "\"'";
    EXPECT_EQ(store.Store(odd), MailStore::Outcome::Stored);
    SQLite::Statement st(*db, "SELECT tblKamoMail_Subject, tblKamoMail_SndName FROM tblKamoMail WHERE "
                              "tblKamoMail_SubKey = 3");
    ASSERT_TRUE(st.executeStep());
    EXPECT_EQ(st.getColumn(0).getString(), odd.subject);
    EXPECT_EQ(st.getColumn(1).getString(), odd.sndName);
}

TEST(MailStore, MailsDifferingOnlyInTheirBodiesAreBothKept) {
    auto db = test::MemoryArchive();
    MailStore store(*db);
    MailRecord first = Mail("same second", "first text");
    MailRecord second = Mail("same second", "second text");
    MailRecord again = Mail("SAME SECOND", "first text");
    EXPECT_EQ(store.Store(first), MailStore::Outcome::Stored);
    EXPECT_EQ(store.Store(second), MailStore::Outcome::Stored);
    EXPECT_EQ(second.subKey, first.subKey + 1);
    EXPECT_EQ(store.Store(again), MailStore::Outcome::AlreadyStored);
    EXPECT_EQ(Rows(*db), 2);
}

TEST(MailStore, ABodyTheArchiveCannotHoldIsCutAndMarked) {
    auto db = test::MemoryArchive();
    // SQLite's length limit, lowered on this connection so the test stays small.
    constexpr int kLimit = 100000;
    sqlite3_limit(db->getHandle(), SQLITE_LIMIT_LENGTH, kLimit);
    MailStore store(*db);
    std::string japanese;
    while (japanese.size() < 3 * kLimit)
        japanese += "長い本文①\r\n";
    MailRecord big = Mail("big", japanese);
    ASSERT_EQ(store.Store(big), MailStore::Outcome::StoredCut);
    const std::string stored = StoredBody(*db, big.subKey);
    const std::string note = BodyCutNote(japanese.size());
    ASSERT_GT(stored.size(), note.size());
    EXPECT_LE(stored.size(), static_cast<size_t>(kLimit));
    EXPECT_EQ(stored.substr(stored.size() - note.size()), note);
    const std::string kept = stored.substr(0, stored.size() - note.size());
    EXPECT_EQ(japanese.compare(0, kept.size(), kept), 0); // a whole-character prefix of the original
    EXPECT_NE(note.find(std::to_string(japanese.size())), std::string::npos);
    // One that fits is stored whole.
    MailRecord small = Mail("small", std::string(1000, 's'));
    EXPECT_EQ(store.Store(small), MailStore::Outcome::Stored);
}

TEST(MailStore, UndatedMailIsKeptApartByItsBody) {
    auto db = test::MemoryArchive();
    MailStore store(*db);
    MailRecord a = Mail("same", "first text");
    a.ymd = kUnknownYmd;
    a.hms = kUnknownHms;
    MailRecord b = a;
    b.body = "second text";
    MailRecord again = a;
    EXPECT_EQ(store.Store(a), MailStore::Outcome::Stored);
    EXPECT_EQ(store.Store(b), MailStore::Outcome::Stored);
    EXPECT_EQ(store.Store(again), MailStore::Outcome::AlreadyStored);
    EXPECT_EQ(Rows(*db), 2);
}

TEST(MailStore, BodiesOfAnyLengthAreStoredWhole) {
    // Empty, short, one piece exactly, a CR LF on a piece boundary, multi-byte text, and a body far
    // longer than sixteen pieces.
    std::string boundary(kBodyPieceChars - 1, 'a');
    boundary += "\r\nrest";
    std::string japanese;
    for (int i = 0; i < 9000; ++i)
        japanese += "日本語①";
    const std::string huge(kBodyPieceChars * 20 + 7, 'z');
    for (const std::string& body :
         {std::string(), std::string("short"), std::string(kBodyPieceChars, 'q'), boundary, japanese, huge}) {
        const auto pieces = DivideBody(body);
        std::string joined;
        for (const auto& p : pieces)
            joined += p;
        EXPECT_EQ(joined, body);
    }
    const auto b = DivideBody(boundary);
    EXPECT_EQ(b[0], std::string(kBodyPieceChars - 1, 'a'));
    EXPECT_EQ(b[1], "\r\nrest");
    const auto j = DivideBody(japanese);
    EXPECT_EQ(j[0].size(), kBodyPieceChars * 3); // 3 bytes per character
    const auto h = DivideBody(huge);
    EXPECT_EQ(h[14].size(), kBodyPieceChars);
    EXPECT_EQ(h[15].size(), kBodyPieceChars * 5 + 7);

    auto db = test::MemoryArchive();
    MailStore store(*db);
    MailRecord m = Mail("long", japanese);
    ASSERT_EQ(store.Store(m), MailStore::Outcome::Stored);
    EXPECT_EQ(StoredBody(*db, m.subKey), japanese);
}

TEST(MailStore, AttachmentsGoWithTheirMailsTransactionAndOneTooLargeIsNamedInstead) {
    auto db = test::MemoryArchive();
    constexpr int kLimit = 100000;
    sqlite3_limit(db->getHandle(), SQLITE_LIMIT_LENGTH, kLimit);
    MailStore store(*db);
    const std::vector<Attachment> files = {{"small.bin", "application/octet-stream", std::string("a\0b", 3)},
                                           {"huge.bin", "application/octet-stream", std::string(kLimit, 'x')},
                                           {"last.txt", "text/plain", "last"}};
    {
        SQLite::Transaction rolledBack(*db);
        MailRecord m = Mail("with files");
        ASSERT_EQ(store.Store(m, files), MailStore::Outcome::StoredCut);
    }
    EXPECT_EQ(Rows(*db), 0);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblAttachment").getInt64(), 0);

    MailRecord m = Mail("with files");
    ASSERT_EQ(store.Store(m, files), MailStore::Outcome::StoredCut);
    EXPECT_EQ(StoredBody(*db, m.subKey), "body" + AttachmentTooLargeNote("huge.bin", kLimit));
    MailKey key{m.ymd, m.hms, m.subKey, m.sent, m.sndName, m.rcvName, m.sndAdd, m.rcvAdd};
    const auto list = ListAttachments(*db, key);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "small.bin");
    EXPECT_EQ(AttachmentBytes(*db, key, 1), std::string("a\0b", 3));
    EXPECT_EQ(list[1].position, 2);
    EXPECT_EQ(AttachmentBytes(*db, key, 2), "last");
    // The same mail again is a copy: no second row, no second set of attachments.
    MailRecord again = Mail("with files");
    EXPECT_EQ(store.Store(again, files), MailStore::Outcome::AlreadyStored);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblAttachment").getInt64(), 2);
}

namespace kamo {
namespace {

TEST(MailStore, TheSameTextWithOtherAttachmentsIsAnotherMail) {
    auto db = test::MemoryArchive();
    MailStore store(*db);
    const Attachment photo{"photo.jpg", "image/jpeg", "JPEG bytes 1"};
    const Attachment other{"photo.jpg", "image/jpeg", "JPEG bytes 2"}; // same name and size, other bytes
    const Attachment renamed{"photo2.jpg", "image/jpeg", "JPEG bytes 1"};
    const struct {
        const char* what;
        std::vector<Attachment> attachments;
        MailStore::Outcome outcome;
    } cases[] = {
        {"first", {photo}, MailStore::Outcome::Stored},
        {"the very same", {photo}, MailStore::Outcome::AlreadyStored},
        {"other bytes", {other}, MailStore::Outcome::Stored},
        {"other name", {renamed}, MailStore::Outcome::Stored},
        {"none", {}, MailStore::Outcome::Stored},
        {"one more", {photo, other}, MailStore::Outcome::Stored},
        {"the same two again", {photo, other}, MailStore::Outcome::AlreadyStored},
        {"none again", {}, MailStore::Outcome::AlreadyStored},
        {"other bytes again", {other}, MailStore::Outcome::AlreadyStored},
    };
    for (const auto& c : cases) {
        MailRecord m = Mail("写真", "同じ本文");
        EXPECT_EQ(store.Store(m, c.attachments), c.outcome) << c.what;
    }
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 5);
    // Every stored mail has its own attachments under its own sub-key.
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblAttachment").getInt64(), 5);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(DISTINCT tblAttachment_SubKey) FROM tblAttachment").getInt64(), 4);
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

// Every row and attachment as text, to see that none but the new one changed.
std::multiset<std::string> Dump(SQLite::Database& db) {
    std::multiset<std::string> rows;
    SQLite::Statement mail(db, "SELECT " + MailColumns() + " FROM tblKamoMail");
    while (mail.executeStep()) {
        const MailRecord m = ReadMailRow(mail);
        rows.insert(m.ymd + "|" + m.hms + "|" + std::to_string(m.subKey) + "|" + m.sndName + "|" + m.sndAdd + "|" +
                    m.rcvName + "|" + m.rcvAdd + "|" + m.subject + "|" + m.body);
    }
    SQLite::Statement files(db,
                            "SELECT tblAttachment_SubKey, tblAttachment_Name, tblAttachment_Data FROM tblAttachment");
    while (files.executeStep())
        rows.insert("file " + files.getColumn(0).getString() + "|" + files.getColumn(1).getString() + "|" +
                    files.getColumn(2).getString());
    return rows;
}

// The earlier-reading match touches a row only when every condition holds; each case breaks one.
// A neighbour under the new reading's date, time and addresses makes the store look for earlier
// readings at all, and is the row a match with a wrong key would overwrite.
TEST(MailStore, AnEarlierReadingsRowIsUpdatedOnlyWhenEveryConditionHoldsNeverAnotherMail) {
    const Attachment photo{"photo.jpg", "image/jpeg", "JPEG"};
    struct Case {
        const char* broken; // the condition that does not hold; nullptr: all hold
        std::function<void(MailRecord& row, DecodedMail& earlier)> change;
        bool storedByThisRead = false;
    };
    const Case cases[] = {
        {nullptr, [](MailRecord&, DecodedMail&) {}},
        {"date", [](MailRecord& r, DecodedMail& e) { r.ymd = e.record.ymd = "2001/03/07"; }},
        {"time", [](MailRecord& r, DecodedMail& e) { r.hms = e.record.hms = "21:05:10"; }},
        {"sender address", [](MailRecord& r, DecodedMail& e) { r.sndAdd = e.record.sndAdd = "other@example.jp"; }},
        {"receiver address", [](MailRecord& r, DecodedMail& e) { r.rcvAdd = e.record.rcvAdd = "other@example.jp"; }},
        {"row stored by this read", [](MailRecord&, DecodedMail&) {}, true},
        {"subject byte for byte", [](MailRecord& r, DecodedMail&) { r.subject = "SALE"; }},
        {"address byte for byte", [](MailRecord& r, DecodedMail&) { r.sndAdd = "Yamada@example.jp"; }},
        {"body", [](MailRecord& r, DecodedMail&) { r.body = "Sale today!"; }},
        {"sender name", [](MailRecord& r, DecodedMail&) { r.sndName = "山田花子"; }},
        {"receiver name", [](MailRecord& r, DecodedMail&) { r.rcvName = "かもめ"; }},
        {"attachments", [&photo](MailRecord&, DecodedMail& e) { e.attachments = {photo}; }},
    };
    for (const auto& c : cases) {
        const std::string what = c.broken ? c.broken : "none broken";
        auto db = test::MemoryArchive();
        DecodedMail earlier;
        earlier.record = Mail("sale", "Sale today");
        MailRecord row = earlier.record;
        c.change(row, earlier);
        MailRecord neighbour = Mail("neighbour", "other text");
        MailStore thisRead(*db);
        {
            MailStore before(*db);
            ASSERT_EQ(before.Store(neighbour), MailStore::Outcome::Stored) << what;
            if (!c.storedByThisRead) {
                ASSERT_EQ(before.Store(row), MailStore::Outcome::Stored) << what;
            }
        }
        if (c.storedByThisRead) {
            ASSERT_EQ(thisRead.Store(row), MailStore::Outcome::Stored) << what;
        }
        const auto rowsBefore = Dump(*db);

        MailRecord mail = Mail("sale", "Sale today <http://example.jp/sale>");
        const auto outcome = thisRead.Store(mail, {}, [&] { return std::vector<DecodedMail>{earlier}; });
        const auto rowsAfter = Dump(*db);
        if (!c.broken) {
            EXPECT_EQ(outcome, MailStore::Outcome::Updated);
            EXPECT_EQ(rowsAfter.size(), rowsBefore.size());
            EXPECT_EQ(StoredBody(*db, mail.subKey), mail.body);
            continue;
        }
        EXPECT_EQ(outcome, MailStore::Outcome::Stored) << what;
        EXPECT_EQ(rowsAfter.size(), rowsBefore.size() + 1) << what;
        EXPECT_TRUE(std::includes(rowsAfter.begin(), rowsAfter.end(), rowsBefore.begin(), rowsBefore.end()))
            << what << ": a row stored before was changed";
    }
}

// What a row holds is decided once, as it is stored: head values on one line without blanks at
// either end, no NUL in the body. The mail as given is an earlier reading of itself.
TEST(MailStore, ValuesAreStoredOnOneLineWithoutNulAndRowsStoredRawAreBroughtUpToDate) {
    auto db = test::MemoryArchive();
    MailRecord forged = Mail("テスト\n", "a\0b\0"s);
    forged.sndName = "Mallory\r\nX-Evil: 1";
    forged.rcvName = "\tかも\x1B";
    {
        // As the program stored it before: the values as decoded.
        MailRecord raw = forged;
        test::InsertTestMail(*db, raw);
    }
    MailStore store(*db);
    MailRecord mail = forged;
    EXPECT_EQ(store.Store(mail), MailStore::Outcome::Updated);
    EXPECT_EQ(mail.subject, "テスト");
    EXPECT_EQ(mail.sndName, "Mallory  X-Evil: 1");
    EXPECT_EQ(mail.rcvName, "かも");
    EXPECT_EQ(Rows(*db), 1);
    EXPECT_EQ(StoredBody(*db, mail.subKey), "ab");
    EXPECT_EQ(
        Dump(*db).count("2001/03/06|21:05:09|0|Mallory  X-Evil: 1|yamada@example.jp|かも|kamo@example.jp|テスト|ab"),
        1u);
    MailRecord again = forged;
    EXPECT_EQ(store.Store(again), MailStore::Outcome::AlreadyStored);
    EXPECT_EQ(Rows(*db), 1);
}

} // namespace
} // namespace kamo
