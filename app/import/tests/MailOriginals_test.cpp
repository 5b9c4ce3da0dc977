// The original kept with every mail a read stores, and rows decoded again from it in place.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "db/MailOriginals.h"
#include "db/MailRows.h"
#include "db/Schema.h"
#include "db/Trash.h"
#include "db/tests/ArchiveFiles.h"
#include "import/MailRead.h"
#include "import/Redecode.h"
#include "import/tests/KilledRead.h"
#include "mime/EarlierReading.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

const MailboxInfo& Box(const std::string& name) {
    for (const auto& b : Mailboxes())
        if (b.name == name)
            return b;
    throw std::runtime_error("no mailbox " + name);
}

ppw::Mail Plain(const std::string& subject, const std::string& hms,
                const std::string& from = "山田 花子 <hanako@example.jp>") {
    ppw::Mail m;
    m.from = from;
    m.to = "かも <kamo@example.jp>";
    m.cc = "鈴木 <suzuki@example.jp>, 佐藤 <sato@example.jp>";
    m.subject = subject;
    m.date = "Tue, 04 Sep 2001 " + hms + " +0900";
    m.body = subject + "の本文です。\r\n二行目\r\n";
    return m;
}

// A mail with a picture and header fields other mail programs need.
ppw::Mail WithAttachment(const std::string& hms) {
    ppw::Mail m = Plain("写真つき", hms);
    m.header = "From: hanako@example.jp\r\nMessage-ID: <photo@example.jp>\r\nMIME-Version: 1.0\r\n"
               "Content-Type: multipart/mixed; boundary=b1\r\n\r\n";
    m.body =
        ppw::Multipart("b1", {"Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + ppw::ToIso2022Jp("写真です。"),
                              "Content-Type: image/png; name=a.png\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                                  ppw::Base64("PNG-BYTES")});
    return m;
}

class Originals : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Load()) << library.Error();
        db = OpenArchive(dir / "KamoMail.Mdb", true);
        CreateTables(*db);
    }

    void Write(const std::string& boxName, const std::vector<ppw::Mail>& mails) {
        const MailboxFiles files = LocateMailbox(dir / "PostPet", Box(boxName));
        std::filesystem::create_directories(files.list.parent_path());
        ppw::WriteMailbox(files.list, files.mail, mails);
    }

    ReadSummary Read(std::vector<std::string> names, const ReadHooks& hooks = {}) {
        ReadRequest r;
        r.postPetDir = dir / "PostPet";
        r.tmpPath = dir / "KamoMail.Tmp";
        for (const auto& n : names)
            r.mailboxes.push_back({&Box(n), false, true});
        return ReadPostPetMail(*db, library, r, hooks, wait);
    }

    int64_t Count(const std::string& sql) { return db->execAndGet(sql).getInt64(); }

    // Every row of `table` by rowid, all its columns as text (blobs as hex).
    std::map<int64_t, std::string> Rows(const std::string& table) {
        std::map<int64_t, std::string> rows;
        SQLite::Statement q(*db, "SELECT rowid, * FROM " + table);
        while (q.executeStep()) {
            std::string line;
            for (int i = 1; i < q.getColumnCount(); ++i)
                line += (q.getColumn(i).isBlob() ? std::string("#") + std::to_string(q.getColumn(i).getBytes())
                                                 : q.getColumn(i).getString()) +
                        "|";
            rows[q.getColumn(0).getInt64()] = line;
        }
        return rows;
    }

    // The key of the one row `where` picks.
    MailKey KeyWhere(const std::string& where) {
        SQLite::Statement q(*db, "SELECT " + MailColumns() + " FROM tblKamoMail WHERE " + where);
        if (!q.executeStep())
            throw std::runtime_error("no row where " + where);
        return KeyOf(ReadMailRow(q));
    }

    // No attachment, header field, original or kept name without its mail.
    void ExpectNothingOrphaned() {
        for (const char* t : {"tblAttachment", "tblHeaderFields", "tblOriginal"}) {
            const std::string p = std::string(t) + "_";
            EXPECT_EQ(Count(std::string("SELECT COUNT(*) FROM ") + t +
                            " WHERE NOT EXISTS (SELECT 1 FROM tblKamoMail WHERE " + "tblKamoMail_YMD = " + p +
                            "YMD AND tblKamoMail_HMS = " + p + "HMS AND tblKamoMail_SubKey = " + p +
                            "SubKey AND tblKamoMail_SndRcvFlag = " + p + "SndRcvFlag AND tblKamoMail_SndAdd = " + p +
                            "SndAdd AND tblKamoMail_RcvAdd = " + p + "RcvAdd)"),
                      0)
                << t;
        }
    }

    // Generated mail, as many as `count`, in `boxName`.
    void WriteMany(const std::string& boxName, uint64_t count, uint64_t seed) {
        const MailboxFiles files = LocateMailbox(dir / "PostPet", Box(boxName));
        std::filesystem::create_directories(files.list.parent_path());
        ppw::WriteLargeMailbox(files.list, files.mail, count, seed);
    }

    // Every kept original of `archive` by the dictionary its frame names (0: none), and how many of
    // them do not unpack with the archive's dictionaries.
    struct Packing {
        std::map<uint32_t, int64_t> byDictionary;
        int64_t unreadable = 0;
    };
    static Packing PackingOf(SQLite::Database& archive) {
        Packing p;
        OriginalDictionaries dictionaries(archive);
        SQLite::Statement q(archive, "SELECT tblOriginal_Data FROM tblOriginal");
        while (q.executeStep()) {
            const SQLite::Column data = q.getColumn(0);
            const std::string_view packed(static_cast<const char*>(data.getBlob()),
                                          static_cast<size_t>(data.getBytes()));
            ++p.byDictionary[DictionaryOfPacked(packed)];
            p.unreadable += UnpackOriginal(packed, &dictionaries) ? 0 : 1;
        }
        return p;
    }

    // Every kept original of `archive` unpacked, by its mail's key columns.
    static std::map<std::string, MailOriginal> OriginalsOf(SQLite::Database& archive) {
        std::map<std::string, MailOriginal> all;
        OriginalReader reader(archive);
        SQLite::Statement q(archive, "SELECT " + MailColumns() + " FROM tblKamoMail");
        while (q.executeStep()) {
            const MailKey key = KeyOf(ReadMailRow(q));
            if (auto stored = reader.Read(key))
                all[key.ymd + key.hms + std::to_string(key.subKey) + key.sndAdd + key.rcvAdd] = stored->original;
        }
        EXPECT_EQ(reader.Unreadable(), 0);
        return all;
    }

    test::TempDir dir;
    KamoLibrary library{test::BuildLibraryPath()};
    std::unique_ptr<SQLite::Database> db;
    ScriptedPrompter prompter;
    NullWaitReporter wait;
};

} // namespace

// The first read into an archive without a dictionary packs its first mails without one, trains the
// dictionary from them, packs the rest with it and keeps it; every original unpacks as the same read
// keeps it without a dictionary, is decoded again from, and a later read packs with the archive's.
TEST_F(Originals, AReadTrainsTheDictionaryFromItsOwnMailAndLaterReadsPackWithIt) {
    WriteMany("受信フォルダ", 400, 7);
    WriteMany("ピンクの引出し", 200, 8);
    ReadHooks hooks;
    hooks.dictionarySample.mails = 150;
    const int64_t stored = Read({"受信フォルダ", "ピンクの引出し"}, hooks).Totals().stored;
    ASSERT_GT(stored, 500);

    const Packing first = PackingOf(*db);
    ASSERT_EQ(Count("SELECT COUNT(*) FROM tblOriginalDictionary"), 1);
    const auto id = static_cast<uint32_t>(Count("SELECT tblOriginalDictionary_Id FROM tblOriginalDictionary"));
    ASSERT_EQ(first.byDictionary.size(), 2u);
    EXPECT_GT(first.byDictionary.at(0), 0);
    EXPECT_LE(first.byDictionary.at(0), 149); // the sample's mails, but the one that completed it
    EXPECT_EQ(first.byDictionary.at(0) + first.byDictionary.at(id), stored);
    EXPECT_EQ(first.unreadable, 0);

    // The same mail kept without a dictionary: the same bytes.
    {
        test::TempDir other;
        auto plain = OpenArchive(other / "KamoMail.Mdb", true);
        CreateTables(*plain);
        ReadRequest r;
        r.postPetDir = dir / "PostPet";
        r.tmpPath = other / "KamoMail.Tmp";
        for (const char* n : {"受信フォルダ", "ピンクの引出し"})
            r.mailboxes.push_back({&Box(n), false, true});
        ReadHooks untrained;
        untrained.dictionarySample.mails = 0;
        ASSERT_EQ(ReadPostPetMail(*plain, library, r, untrained, wait).Totals().stored, stored);
        EXPECT_EQ(PackingOf(*plain).byDictionary, (std::map<uint32_t, int64_t>{{0, stored}}));
        const auto expected = OriginalsOf(*plain);
        ASSERT_EQ(expected.size(), static_cast<size_t>(stored));
        EXPECT_TRUE(OriginalsOf(*db) == expected);
    }

    // Decoded again from originals of either kind.
    MarkOriginalsForRedecoding(*db);
    const RedecodeCounts again = RedecodeOriginals(*db, library.StrChange(), wait);
    EXPECT_EQ(again.rewritten, stored);
    EXPECT_EQ(again.unreadable, 0);

    WriteMany("黄色の引出し", 100, 9);
    const int64_t more = Read({"黄色の引出し"}, hooks).Totals().stored;
    ASSERT_GT(more, 0);
    const Packing later = PackingOf(*db);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginalDictionary"), 1);
    EXPECT_EQ(later.byDictionary.at(0), first.byDictionary.at(0));
    EXPECT_EQ(later.byDictionary.at(id), first.byDictionary.at(id) + more);
    EXPECT_EQ(later.unreadable, 0);
}

// A read killed at any point of its training leaves a sound archive whose every committed original
// unpacks, and the next read completes it. Its first mailbox is smaller than the sample: the
// training happens inside the second one's transaction.
TEST_F(Originals, AReadKilledAroundItsTrainingLeavesEveryCommittedOriginalReadable) {
    const std::vector<std::string> boxes = {"受信フォルダ", "ピンクの引出し", "黄色の引出し"};
    WriteMany(boxes[0], 150, 7);
    WriteMany(boxes[1], 500, 8);
    WriteMany(boxes[2], 300, 9);
    const struct {
        int64_t killAt; // the store's mails (wait pumps) before the kill
        bool committedPlain, committedWithDictionary;
    } cases[] = {
        {100, false, false}, // in the first mailbox
        {200, true, false},  // the second gathers the sample's last mails (or has just trained)
        {320, true, false},  // trained, the dictionary in the second's open transaction
        {800, true, true},   // in the third, the second committed with its dictionary
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.killAt);
        db.reset();
        std::filesystem::remove(dir / "KamoMail.Mdb");
        db = OpenArchive(dir / "KamoMail.Mdb", true);
        CreateTables(*db);
        db.reset();
        ReadRequest r;
        r.postPetDir = dir / "PostPet";
        r.tmpPath = dir / "KamoMail.Tmp";
        for (const auto& n : boxes)
            r.mailboxes.push_back({&Box(n), false, true});
        ReadHooks training;
        training.dictionarySample.mails = 200;
        test::ReadKilledAfterPumps(dir / "KamoMail.Mdb", r, training, c.killAt);
        if (HasFatalFailure())
            return;

        db = OpenArchive(dir / "KamoMail.Mdb");
        EXPECT_EQ(db->execAndGet("PRAGMA integrity_check").getString(), "ok");
        const Packing killed = PackingOf(*db);
        EXPECT_EQ(killed.unreadable, 0);
        int64_t withDictionary = 0;
        for (const auto& [id, n] : killed.byDictionary)
            withDictionary += id != 0 ? n : 0;
        EXPECT_EQ(killed.byDictionary.count(0) > 0, c.committedPlain);
        EXPECT_EQ(withDictionary > 0, c.committedWithDictionary);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginalDictionary") > 0, c.committedWithDictionary);

        ReadHooks hooks;
        hooks.dictionarySample.mails = 200;
        EXPECT_GT(Read(boxes, hooks).Totals().stored, 0);
        EXPECT_EQ(PackingOf(*db).unreadable, 0);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginal"), Count("SELECT COUNT(*) FROM tblKamoMail"));
    }
}

TEST_F(Originals, AReadKeepsEachStoredMailsBytesAndMailboxButNotAFilteredMails) {
    const ppw::Mail inbox = Plain("受信の件", "10:00:00");
    const ppw::Mail drawer = Plain("引出しの件", "11:00:00");
    const ppw::Mail filtered = Plain("除外する件", "12:00:00");
    Write("受信フォルダ", {inbox, filtered});
    Write("ピンクの引出し", {drawer});
    ReadHooks hooks;
    hooks.excludes = [](const MailRecord& m) { return m.subject == "除外する件"; };
    ASSERT_EQ(Read({"受信フォルダ", "ピンクの引出し"}, hooks).Totals().stored, 2);

    OriginalReader reader(*db);
    for (const auto& [mail, box, hms] :
         {std::tuple{inbox, "受信フォルダ", "10:00:00"}, std::tuple{drawer, "ピンクの引出し", "11:00:00"}}) {
        const auto stored = reader.Read(KeyWhere(std::string("tblKamoMail_HMS = '") + hms + "'"));
        ASSERT_TRUE(stored) << box;
        EXPECT_EQ(stored->mailbox, box);
        EXPECT_EQ(stored->decoding, kDecodingVersion);
        const MailOriginal& o = stored->original;
        EXPECT_EQ(o.from, ppw::FieldBytes(mail, mail.from));
        EXPECT_EQ(o.to, ppw::FieldBytes(mail, mail.to));
        EXPECT_EQ(o.cc, ppw::FieldBytes(mail, mail.cc)); // the list record's Cc, which the reader used to drop
        EXPECT_EQ(o.subject, ppw::FieldBytes(mail, mail.subject));
        EXPECT_EQ(o.date, ppw::FieldBytes(mail, mail.date));
        EXPECT_EQ(o.body, ppw::FieldBytes(mail, mail.body));
        EXPECT_NE(o.header.find("From: "), std::string::npos);
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginal"), 2); // the filtered mail keeps nothing

    // The benchmark's switch: the same read without originals.
    db->exec("DELETE FROM tblKamoMail");
    hooks.keepOriginals = false;
    ASSERT_EQ(Read({"受信フォルダ", "ピンクの引出し"}, hooks).Totals().stored, 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginal"), 0);
}

TEST_F(Originals, AReadOfMailStoredWithoutOriginalsAddsThemAndChangesNoRow) {
    Write("受信フォルダ", {Plain("一通目", "10:00:00"), WithAttachment("10:01:00"), Plain("三通目", "10:02:00")});
    ASSERT_EQ(Read({"受信フォルダ"}).Totals().stored, 3);
    // As an archive written before originals were kept.
    db->exec("DELETE FROM tblOriginal");
    const auto mails = Rows("tblKamoMail");
    const auto attachments = Rows("tblAttachment");
    const auto fields = Rows("tblHeaderFields");

    const auto again = Read({"受信フォルダ"});
    EXPECT_EQ(again.Totals().alreadyStored, 3);
    EXPECT_EQ(again.Totals().stored, 0);
    EXPECT_EQ(Rows("tblKamoMail"), mails);
    EXPECT_EQ(Rows("tblAttachment"), attachments);
    EXPECT_EQ(Rows("tblHeaderFields"), fields);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginal WHERE tblOriginal_Decoding = " +
                    std::to_string(kDecodingVersion) + " AND tblOriginal_Mailbox = '受信フォルダ'"),
              3);
    ExpectNothingOrphaned();
}

// A decoding change, simulated: the rows are made as an older decoding might have stored them and
// their originals marked as read by it (decoding 0). Decoding again must give each row what this
// decoding reads, in its own place, and leave every other mail alone.
TEST_F(Originals, AnOlderDecodingsRowsAreRewrittenInPlaceAndRekeyedWithoutTouchingOtherMail) {
    Write("受信フォルダ", {Plain("一通目", "10:00:00"), WithAttachment("10:01:00"), Plain("三通目", "10:02:00"),
                           Plain("名前つき", "10:03:00")});
    ASSERT_EQ(Read({"受信フォルダ"}).Totals().stored, 4);
    const auto truth = Rows("tblKamoMail");
    const MailKey photo = KeyWhere("tblKamoMail_HMS = '10:01:00'");

    // The older decoding: another subject and body for one mail, another time (a key column) for
    // the mail with the picture, whose own key now holds a mail without an original.
    db->exec("UPDATE tblKamoMail SET tblKamoMail_Subject = '古い件名', tblKamoMail_Mail1 = '古い本文' "
             "WHERE tblKamoMail_HMS = '10:00:00'");
    db->exec("UPDATE tblKamoMail SET tblKamoMail_HMS = '09:59:59' WHERE tblKamoMail_HMS = '10:01:00'");
    MailRecord other{photo.ymd,    photo.hms,          0,  false, "他人", photo.sndAdd, "かも", photo.rcvAdd,
                     "別のメール", "別のメールの本文", "0"};
    test::InsertTestMail(*db, other);
    // The friend book renamed one mail's sender; the name it came with is kept aside.
    db->exec("UPDATE tblKamoMail SET tblKamoMail_SndName = 'はなちゃん' WHERE tblKamoMail_HMS = '10:03:00'");
    db->exec("INSERT INTO tblOriginalNames SELECT tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
             "tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd, '古い名前', tblKamoMail_RcvName "
             "FROM tblKamoMail WHERE tblKamoMail_HMS = '10:03:00'");
    db->exec("UPDATE tblOriginal SET tblOriginal_Decoding = 0");
    const int64_t otherRow = Count("SELECT rowid FROM tblKamoMail WHERE tblKamoMail_Subject = '別のメール'");
    const std::string otherBefore = Rows("tblKamoMail").at(otherRow);
    ASSERT_TRUE(OriginalsBelowVersion(*db));

    // A read starts by decoding them again; the mailbox then finds every mail stored.
    const auto summary = Read({"受信フォルダ"});
    EXPECT_EQ(summary.Totals().alreadyStored, 4);
    EXPECT_EQ(summary.Totals().stored, 0);
    EXPECT_FALSE(OriginalsBelowVersion(*db));

    const auto after = Rows("tblKamoMail");
    EXPECT_EQ(after.size(), truth.size() + 1);
    EXPECT_EQ(after.at(otherRow), otherBefore); // the mail on the rekeyed mail's key is untouched
    for (const auto& [rowid, line] : truth) {
        ASSERT_TRUE(after.contains(rowid)) << "row " << rowid << " is no longer in its place";
        if (line.find("写真つき") != std::string::npos) {
            // Back at its own time, under the next free sub-key: never merged with the other mail.
            const MailKey moved = KeyWhere("rowid = " + std::to_string(rowid));
            EXPECT_EQ(moved.hms, "10:01:00");
            EXPECT_EQ(moved.subKey, 1);
            EXPECT_EQ(Count("SELECT COUNT(*) FROM tblAttachment WHERE tblAttachment_HMS = '10:01:00' AND "
                            "tblAttachment_SubKey = 1 AND tblAttachment_Data = CAST('PNG-BYTES' AS BLOB)"),
                      1);
            EXPECT_EQ(Count("SELECT COUNT(*) FROM tblHeaderFields WHERE tblHeaderFields_HMS = '10:01:00' AND "
                            "tblHeaderFields_SubKey = 1 AND tblHeaderFields_MessageId = '<photo@example.jp>'"),
                      1);
            EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginal WHERE tblOriginal_HMS = '10:01:00' AND "
                            "tblOriginal_SubKey = 1 AND tblOriginal_Decoding = " +
                            std::to_string(kDecodingVersion)),
                      1);
        } else if (line.find("名前つき") != std::string::npos) {
            const MailKey named = KeyWhere("rowid = " + std::to_string(rowid));
            EXPECT_EQ(named.sndName, "はなちゃん"); // the friend book's name stays
            SQLite::Statement kept(*db, "SELECT tblKamoMail_SndName FROM tblOriginalNames WHERE tblKamoMail_HMS = "
                                        "'10:03:00'");
            ASSERT_TRUE(kept.executeStep());
            EXPECT_EQ(kept.getColumn(0).getString(), "山田 花子"); // the name this decoding reads
        } else {
            EXPECT_EQ(after.at(rowid), line);
        }
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblAttachment"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginal"), 4);
    ExpectNothingOrphaned();
}

// Mail the decoding before this one stored (the earlier reading), its originals marked so: the next
// read decodes them again, rewrites the mails whose reading changed and writes nothing of the others.
TEST_F(Originals, AnUpgradeRewritesExactlyTheMailsWhoseReadingChanged) {
    auto mime = [](const std::string& hms, const std::string& part) {
        ppw::Mail m = Plain(hms, hms);
        m.header = "Content-Type: multipart/mixed; boundary=b1\r\n\r\n";
        m.body = ppw::Multipart("b1", {"\r\n本文です。", part});
        return m;
    };
    const std::string uu = "begin 664 h.txt\r\n%:&5L;&\\`\r\nend\r\n";
    Write("受信フォルダ",
          {Plain("一通目", "10:00:00"), WithAttachment("10:01:00"),
           mime("10:02:00", "Content-Transfer-Encoding: x-uuencode\r\n\r\n" + uu),
           mime("10:03:00", "Content-Type: name=\"=?UTF-8?B?" + ppw::Base64("テスト", 0) + "?=\"\r\n\r\n12345"),
           mime("10:04:00", "Content-Type: message/rfc822\r\n\r\nFrom a@example.jp Fri Jan 26 00:11:07 "
                            "2001\r\nSubject: inner\r\n\r\ntext\r\n")});
    ReadHooks earlier;
    earlier.decode = [](const TmpMail& raw, Mail_StrChange_Fn strChange, bool whole) {
        const EarlierReading reading;
        return whole ? DecodeMail(raw, strChange) : DecodeMailAsText(raw, strChange);
    };
    ASSERT_EQ(Read({"受信フォルダ"}, earlier).Totals().stored, 5);
    db->exec("UPDATE tblOriginal SET tblOriginal_Decoding = " + std::to_string(kDecodingVersion - 1));
    auto stored = [&](const std::string& hms) { // the body, then each attachment as "name=bytes;"
        const MailKey key = KeyWhere("tblKamoMail_HMS = '" + hms + "'");
        std::string text =
            db->execAndGet("SELECT tblKamoMail_Mail1 FROM tblKamoMail WHERE tblKamoMail_HMS = '" + hms + "'")
                .getString() +
            "|";
        for (const auto& a : ListAttachments(*db, key))
            text += a.name + "=" + AttachmentBytes(*db, key, a.position).value_or("?") + ";";
        return text;
    };
    EXPECT_EQ(stored("10:02:00"), "本文です。\r\n" + uu + "|"); // as the earlier decoding stored it
    std::map<std::string, std::map<int64_t, std::string>> before;
    for (const char* table : {"tblKamoMail", "tblAttachment", "tblHeaderFields"})
        before[table] = Rows(table);

    const auto summary = Read({"受信フォルダ"});
    EXPECT_EQ(summary.Totals().alreadyStored, 5);
    EXPECT_FALSE(OriginalsBelowVersion(*db));
    EXPECT_EQ(stored("10:02:00"), "本文です。\r\nhello|");
    EXPECT_EQ(stored("10:03:00"), "本文です。|テスト=12345;");
    EXPECT_EQ(stored("10:04:00"), "本文です。\r\n\r\nSubject: inner\r\n\r\ntext\r\n|");
    // The others' rows, attachments and header fields stay under their row ids, every column as it was.
    for (const auto& [table, rows] : before) {
        const auto after = Rows(table);
        for (const auto& [rowid, line] : rows) {
            if (line.find("|10:00:00|") != std::string::npos || line.find("|10:01:00|") != std::string::npos) {
                EXPECT_TRUE(after.contains(rowid) && after.at(rowid) == line) << table << " " << line;
            }
        }
    }
    ExpectNothingOrphaned();
}

TEST_F(Originals, AnOriginalThatCannotBeReadLeavesItsRowAndIsNotTriedForever) {
    Write("受信フォルダ", {Plain("一通目", "10:00:00"), Plain("二通目", "10:01:00")});
    ASSERT_EQ(Read({"受信フォルダ"}).Totals().stored, 2);
    const auto truth = Rows("tblKamoMail");
    db->exec("UPDATE tblOriginal SET tblOriginal_Decoding = 0");
    db->exec("UPDATE tblOriginal SET tblOriginal_Data = x'00112233' WHERE tblOriginal_HMS = '10:00:00'");
    const RedecodeCounts counts = RedecodeOriginals(*db, library.StrChange(), wait);
    EXPECT_EQ(counts.rewritten, 1);
    EXPECT_EQ(counts.unreadable, 1);
    EXPECT_EQ(Rows("tblKamoMail"), truth);
    EXPECT_FALSE(OriginalsBelowVersion(*db));

    // Asked for, every mail that has an original is rewritten, whatever its version.
    EXPECT_EQ(MarkOriginalsForRedecoding(*db), 2);
    EXPECT_EQ(RedecodeOriginals(*db, library.StrChange(), wait).rewritten, 1);
}

// Two mails of one second between the same two addresses (sub-keys 0 and 1), and a third whose kept
// original unpacks to more than any mail holds, all stored by an older decoding: the read that
// follows reads each row again from its own original, leaves the third as it was and goes on, and
// finds all three stored.
TEST_F(Originals, EachRowIsReadAgainFromItsOwnOriginalAndOneThatCannotBeStopsNothing) {
    Write("受信フォルダ", {Plain("一通目", "10:00:00"), Plain("二通目", "10:00:00"), Plain("三通目", "10:01:00")});
    ASSERT_EQ(Read({"受信フォルダ"}).Totals().stored, 3);
    const auto truth = Rows("tblKamoMail");
    ASSERT_EQ(Count("SELECT COUNT(*) FROM tblKamoMail WHERE tblKamoMail_SubKey = 1"), 1);
    db->exec("UPDATE tblKamoMail SET tblKamoMail_Subject = '古い件名', tblKamoMail_Mail1 = '古い本文' "
             "WHERE tblKamoMail_HMS = '10:00:00'");
    db->exec("UPDATE tblOriginal SET tblOriginal_Decoding = 0");
    SQLite::Statement spoil(*db, "UPDATE tblOriginal SET tblOriginal_Data = ?1 WHERE tblOriginal_HMS = '10:01:00'");
    const std::string huge = test::HugePackedOriginal(uint64_t{3} << 30);
    spoil.bindNoCopy(1, huge.data(), static_cast<int>(huge.size()));
    ASSERT_EQ(spoil.exec(), 1);

    const auto summary = Read({"受信フォルダ"});
    EXPECT_EQ(summary.Totals().alreadyStored, 3);
    EXPECT_FALSE(OriginalsBelowVersion(*db));
    const auto after = Rows("tblKamoMail");
    EXPECT_EQ(after, truth);
}

TEST_F(Originals, AReadOfTheSameFolderLeavesTrashedMailThereUntilTheTrashIsEmptied) {
    Write("受信フォルダ", {WithAttachment("10:00:00"), Plain("残す件", "11:00:00")});
    ASSERT_EQ(Read({"受信フォルダ"}).Totals().stored, 2);
    const auto original = Rows("tblOriginal");
    const auto attachments = Rows("tblAttachment");
    auto trash = [&] { return MoveToTrash(*db, "tblKamoMail_Subject = '写真つき'", [](SQLite::Statement&) {}).mails; };
    ASSERT_EQ(trash(), 1);

    ReadSummary again = Read({"受信フォルダ"});
    EXPECT_EQ(again.Totals().stored, 0);
    EXPECT_EQ(again.Totals().alreadyStored, 1);
    EXPECT_EQ(again.Totals().trashed, 1);
    EXPECT_NE(FormatSummary(again).find("/ 削除済み 1"), std::string::npos);
    EXPECT_EQ(SummaryTable(again).rows.front().back(), "削除済み 1");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblKamoMail"), 1);

    // Restored, it is the same mail with the same original and picture, and the search finds it again.
    ASSERT_EQ(RestoreTrashBatch(*db, LastTrashBatch(*db)).size(), 1u);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginal"), 2);
    EXPECT_EQ(Rows("tblAttachment").begin()->second, attachments.begin()->second);
    std::multiset<std::string> before, after;
    for (const auto& [id, row] : original)
        before.insert(row);
    for (const auto& [id, row] : Rows("tblOriginal"))
        after.insert(row);
    EXPECT_EQ(after, before);
    ExpectNothingOrphaned();

    // Emptied, the folder's copy is stored again by the next read.
    ASSERT_EQ(trash(), 1);
    EXPECT_EQ(EmptyTrash(*db), 1);
    EXPECT_EQ(Read({"受信フォルダ"}).Totals().stored, 1);
}
