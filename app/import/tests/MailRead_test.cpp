#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/CodePage.h"
#include "common/Messages.h"
#include "common/QuoteSafe.h"
#include "db/MailRows.h"
#include "db/Schema.h"
#include "import/FramedReader.h"
#include "import/MailDecode.h"
#include "import/MailRead.h"
#include "import/MailReadCommand.h"
#include "import/tests/KilledRead.h"
#include "mime/MimeBody.h"
#include "ppwriter/MailboxWriter.h"
#include "search/ConversationIndex.h"
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

// A PostPet folder, an archive file and the library of this build.
class ReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Load()) << library.Error();
        std::filesystem::create_directories(postPet);
        db = OpenArchive(dir / "KamoMail.Mdb", true);
        CreateTables(*db);
    }

    void Write(const std::string& boxName, const std::vector<ppw::Mail>& mails) {
        const MailboxFiles files = LocateMailbox(postPet, Box(boxName));
        std::filesystem::create_directories(files.list.parent_path());
        ppw::WriteMailbox(files.list, files.mail, mails);
    }

    ReadRequest Request(std::vector<std::string> names, bool send = false) {
        ReadRequest r;
        r.postPetDir = postPet;
        r.tmpPath = dir / "KamoMail.Tmp";
        for (const auto& n : names)
            r.mailboxes.push_back({&Box(n), send, !send});
        return r;
    }

    // The read, then what it says went wrong told as the window and the terminal tell it.
    ReadSummary Read(const ReadRequest& request, const ReadHooks& hooks = {}, WaitReporter* reporter = nullptr) {
        return Read(library, request, hooks, reporter);
    }
    ReadSummary Read(KamoLibrary& with, const ReadRequest& request, const ReadHooks& hooks = {},
                     WaitReporter* reporter = nullptr) {
        ReadSummary summary = ReadPostPetMail(*db, with, request, hooks, reporter ? *reporter : wait);
        TellReadFailures(summary, prompter);
        return summary;
    }

    int64_t Rows() { return db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(); }

    test::TempDir dir;
    std::filesystem::path postPet = dir / "PostPet";
    KamoLibrary library{test::BuildLibraryPath()};
    std::unique_ptr<SQLite::Database> db;
    ScriptedPrompter prompter;
    NullWaitReporter wait;
};

ppw::Mail Simple(const std::string& subject, const std::string& body = "本文です。\r\n") {
    ppw::Mail m;
    m.from = "山田 花子 <hanako@example.jp>";
    m.to = "かも <kamo@example.jp>";
    m.subject = subject;
    m.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    m.body = body;
    return m;
}

struct Stored {
    std::string sndName, sndAdd, rcvName, rcvAdd, subject, body, ymd, hms;
    int sent = 0;
};

Stored Row(SQLite::Database& db, const std::string& where) {
    std::string sql = "SELECT tblKamoMail_SndName, tblKamoMail_SndAdd, tblKamoMail_RcvName, tblKamoMail_RcvAdd, "
                      "tblKamoMail_Subject, tblKamoMail_Mail1";
    for (int i = 2; i <= kBodyPieces; ++i)
        sql += " || tblKamoMail_Mail" + std::to_string(i);
    sql += ", tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SndRcvFlag FROM tblKamoMail WHERE " + where;
    SQLite::Statement st(db, sql);
    if (!st.executeStep())
        throw std::runtime_error("no row where " + where);
    Stored s;
    s.sndName = st.getColumn(0).getString();
    s.sndAdd = st.getColumn(1).getString();
    s.rcvName = st.getColumn(2).getString();
    s.rcvAdd = st.getColumn(3).getString();
    s.subject = st.getColumn(4).getString();
    s.body = st.getColumn(5).getString();
    s.ymd = st.getColumn(6).getString();
    s.hms = st.getColumn(7).getString();
    s.sent = st.getColumn(8).getInt();
    return s;
}

} // namespace

TEST_F(ReadTest, SameMailboxTwiceStoresNothingTheSecondTime) {
    Write("受信フォルダ", {Simple("一通目"), Simple("二通目"), Simple("三通目")});
    Write("ピンクの引出し", {Simple("一通目"), Simple("四通目")}); // one is a copy of an inbox mail
    const auto first = Read(Request({"受信フォルダ", "ピンクの引出し"}));
    ASSERT_TRUE(first.completed);
    ASSERT_EQ(first.mailboxes.size(), 2u);
    EXPECT_EQ(first.mailboxes[0].stored, 3);
    EXPECT_EQ(first.mailboxes[1].stored, 1);
    EXPECT_EQ(first.mailboxes[1].alreadyStored, 1);
    EXPECT_EQ(Rows(), 4);
    const auto second = Read(Request({"受信フォルダ", "ピンクの引出し"}));
    EXPECT_EQ(second.Totals().read, 5);
    EXPECT_EQ(second.Totals().stored, 0);
    EXPECT_EQ(second.Totals().alreadyStored, 5);
    EXPECT_EQ(Rows(), 4);
    EXPECT_TRUE(prompter.shown.empty());
    const std::string text = FormatSummary(second);
    EXPECT_NE(text.find("受信フォルダ: 読込 3 / 保存 0 / 保存済み 3"), std::string::npos) << text;
    EXPECT_NE(text.find("合計: 読込 5 / 保存 0 / 保存済み 5 / フィルター除外 0 / 破損 0"), std::string::npos) << text;
}

TEST_F(ReadTest, JapaneseTextComesOutRightAndDelimitersAreReplaced) {
    ppw::Mail cp932 = Simple("①㈱～の件 | 'quote', \"dq\"", "髙橋です。\r\nポ|弓|鋼|酢|－\r\nａg ａ| ＜｜\r\n");
    cp932.from = "髙橋 一郎 <ichiro@example.jp>";
    ppw::Mail jis;
    jis.from = ppw::EncodedWord("日本 太郎") + " <nihon@example.jp>";
    jis.to = "kamo@example.jp";
    jis.subject = ppw::EncodedWord("件名です") + " =?UTF-8?B?4pGg6auZ?=";
    jis.date = "6 Mar 01 21:05";
    jis.body = ppw::ToIso2022Jp("こんにちは\r\n世界") + "|";
    Write("受信フォルダ", {cp932, jis});
    const auto summary = Read(Request({"受信フォルダ"}));
    ASSERT_EQ(summary.Totals().stored, 2);

    const Stored a = Row(*db, "tblKamoMail_SndAdd = 'ichiro@example.jp'");
    EXPECT_EQ(a.sndName, "髙橋 一郎");
    EXPECT_EQ(a.rcvName, "かも");
    EXPECT_EQ(a.rcvAdd, "kamo@example.jp");
    EXPECT_EQ(a.subject, "①㈱～の件 ｜ ’quote’， ’dq’");
    EXPECT_EQ(a.body, "髙橋です。\r\nポ｜弓｜鋼｜酢｜－\r\nａg ａ｜ ＜｜\r\n");
    EXPECT_EQ(a.ymd, "2001/09/04");
    EXPECT_EQ(a.hms, "21:05:33");
    EXPECT_EQ(a.sent, 0);

    const Stored b = Row(*db, "tblKamoMail_SndAdd = 'nihon@example.jp'");
    EXPECT_EQ(b.sndName, "日本 太郎");
    EXPECT_EQ(b.rcvName, "設定無し");
    EXPECT_EQ(b.subject, "件名です①髙"); // blanks between encoded words go
    EXPECT_EQ(b.body, "こんにちは\r\n世界｜");
    EXPECT_EQ(b.ymd, "2001/03/06");
    EXPECT_EQ(b.hms, "21:05:00");
}

TEST_F(ReadTest, QuoteSafeWithTheLibraryChangesDelimitersOnly) {
    const auto fn = library.StrChange();
    EXPECT_EQ(QuoteSafe(fn, "a,b"), "a，b");
    EXPECT_EQ(QuoteSafe(fn, "\"word\""), "’word’");
    EXPECT_EQ(QuoteSafe(fn, "“引用”"), "’引用’");
    EXPECT_EQ(QuoteSafe(fn, "山田 花子"), "山田 花子"); // no pad blanks
    // Characters the library would misread byte by byte come back as they were.
    EXPECT_EQ(QuoteSafe(fn, "ポ|弓|鋼|酢|－|表|能"), "ポ｜弓｜鋼｜酢｜－｜表｜能");
    EXPECT_EQ(QuoteSafe(fn, "ａg ａh ａ| メ｜ ＜｜"), "ａg ａh ａ｜ メ｜ ＜｜");
    // Longer than the library's area, with delimiters all through: whole and exact.
    std::string text, expected;
    for (int i = 0; i < 3000; ++i) {
        text += "ポスペ'メール',|弓";
        expected += "ポスペ’メール’，｜弓";
    }
    EXPECT_EQ(QuoteSafe(fn, text), expected);
    // A body with a stray first byte: the bad byte becomes one substitute, the quotes still change.
    TmpMail raw;
    raw.body = "a\x81\"b\"";
    EXPECT_EQ(DecodeMail(raw, fn).record.body, "a\xEF\xBF\xBD’b’");
}

TEST_F(ReadTest, LongBodyAndLongSubjectAreStoredWhole) {
    std::string body;
    for (int i = 0; i < 4000; ++i)
        body += "長いメールの" + std::to_string(i) + "行目です。ポスペ\r\n";
    const std::string subject = std::string(400, 's') + "件名の終わり";
    Write("受信フォルダ", {Simple(subject, body)});
    Read(Request({"受信フォルダ"}));
    const Stored s = Row(*db, "1");
    EXPECT_EQ(s.body, body);
    EXPECT_EQ(s.subject, subject);
    EXPECT_EQ(s.body.find("（次に続く）"), std::string::npos);
}

TEST_F(ReadTest, ADamagedRecordCostsOnlyItselfAndIsNamedWithItsPlace) {
    ppw::Mail bad = Simple("二通目");
    bad.damage.endMarker = "XXXX";
    Write("受信フォルダ", {Simple("一通目"), bad, Simple("三通目")});
    const auto summary = Read(Request({"受信フォルダ"}));
    ASSERT_EQ(summary.mailboxes.size(), 1u);
    EXPECT_EQ(summary.mailboxes[0].read, 2);
    EXPECT_EQ(summary.mailboxes[0].stored, 2);
    EXPECT_EQ(summary.mailboxes[0].damaged, 1);
    const auto secondAt = ppw::BuildMailbox({Simple("一通目")}).list.size();
    EXPECT_EQ(summary.mailboxes[0].damagedAt, std::vector<uint64_t>{secondAt});
    EXPECT_NE(FormatSummary(summary).find("破損 1（リストファイルの位置 " + std::to_string(secondAt) + "）"),
              std::string::npos)
        << FormatSummary(summary);
    EXPECT_TRUE(summary.mailboxes[0].Failed());
    EXPECT_EQ(ReadExitStatus(summary), kExitMailboxProblem);
    EXPECT_EQ(Row(*db, "1").subject, "一通目");
    EXPECT_EQ(Row(*db, "tblKamoMail_Subject = '三通目'").subject, "三通目");
    // The same as a table: a row per mailbox with its note, the totals last.
    const Prompter::Table table = SummaryTable(summary);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0], (std::vector<std::string>{"受信フォルダ", "2", "2", "0", "0", "1",
                                                       "破損位置 " + std::to_string(secondAt)}));
    EXPECT_EQ(table.rows[1][0], "合計");
    EXPECT_TRUE(table.problem);
    EXPECT_EQ(table.headline, SummaryHeadline(summary));
}

TEST_F(ReadTest, AMailWhoseDecodingFailsCostsThatMailOnly) {
    // Out of memory decoding "broken": stored as text with a note. "wholly broken" fails even so:
    // damaged at its place. Every other mail of the three mailboxes is stored.
    ReadHooks hooks;
    hooks.decode = [](const TmpMail& raw, Mail_StrChange_Fn strChange, bool whole) {
        if (raw.subject.find("broken") != std::string::npos && (whole || raw.subject.starts_with("wholly")))
            throw std::bad_alloc();
        return whole ? DecodeMail(raw, strChange) : DecodeMailAsText(raw, strChange);
    };
    Write("受信フォルダ", {Simple("一通目"), Simple("broken", "壊れた本文\r\n"), Simple("二通目")});
    Write("ピンクの引出し", {Simple("三通目"), Simple("wholly broken"), Simple("四通目")});
    Write("黄色の引出し", {Simple("五通目")});
    const auto summary = Read(Request({"受信フォルダ", "ピンクの引出し", "黄色の引出し"}), hooks);
    ASSERT_TRUE(summary.completed);
    ASSERT_EQ(summary.mailboxes.size(), 3u);
    EXPECT_EQ(summary.mailboxes[0].stored, 3);
    EXPECT_EQ(summary.mailboxes[0].undecoded, 1);
    EXPECT_EQ(summary.mailboxes[0].damaged, 0);
    EXPECT_EQ(summary.mailboxes[1].stored, 2);
    EXPECT_EQ(summary.mailboxes[1].damaged, 1);
    const auto brokenAt = ppw::BuildMailbox({Simple("三通目")}).list.size();
    EXPECT_EQ(summary.mailboxes[1].damagedAt, std::vector<uint64_t>{brokenAt});
    EXPECT_EQ(summary.mailboxes[2].stored, 1);
    EXPECT_EQ(Rows(), 6);
    for (const char* subject : {"一通目", "二通目", "三通目", "四通目", "五通目"})
        EXPECT_EQ(Row(*db, "tblKamoMail_Subject = '" + std::string(subject) + "'").body, "本文です。\r\n") << subject;
    const Stored broken = Row(*db, "tblKamoMail_Subject = 'broken'");
    EXPECT_EQ(broken.body, std::string(kNotDecodedNote) + "壊れた本文\r\n");
    EXPECT_EQ(broken.sndAdd, "hanako@example.jp");
    EXPECT_EQ(broken.ymd, "2001/09/04");
    const std::string text = FormatSummary(summary);
    EXPECT_NE(
        text.find("受信フォルダ: 読込 3 / 保存 3 / 保存済み 0 / フィルター除外 0 / 破損 0 / 読み解けず元のまま保存 1"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("破損 1（リストファイルの位置 " + std::to_string(brokenAt) + "）"), std::string::npos) << text;
    EXPECT_NE(text.find("合計: 読込 6 / 保存 6 / 保存済み 0 / フィルター除外 0 / 破損 1 / 読み解けず元のまま保存 1"),
              std::string::npos)
        << text;
    EXPECT_EQ(SummaryTable(summary).rows[0].back(), "読み解けず元のまま保存 1");
    EXPECT_EQ(ReadExitStatus(summary), kExitMailboxProblem);
}

// Memory that runs out while a mailbox is read (not decoding one mail) costs that mailbox: nothing of
// it is kept or counted, the user is told in Japanese, and the other mailboxes are read.
TEST_F(ReadTest, MemoryRunningOutCostsOneMailboxOnly) {
    ReadHooks hooks;
    hooks.excludes = [](const MailRecord& mail) {
        if (mail.subject == "重すぎ")
            throw std::bad_alloc();
        return false;
    };
    Write("受信フォルダ", {Simple("一通目")});
    Write("ピンクの引出し", {Simple("二通目"), Simple("重すぎ"), Simple("三通目")});
    Write("黄色の引出し", {Simple("四通目")});
    const auto summary = Read(Request({"受信フォルダ", "ピンクの引出し", "黄色の引出し"}), hooks);
    ASSERT_TRUE(summary.completed);
    ASSERT_EQ(summary.mailboxes.size(), 3u);
    EXPECT_EQ(summary.mailboxes[0].stored, 1);
    EXPECT_EQ(summary.mailboxes[1].stored, 0);
    EXPECT_EQ(summary.mailboxes[1].read, 0);
    ASSERT_TRUE(summary.mailboxes[1].problem);
    EXPECT_EQ(NoteOf(*summary.mailboxes[1].problem).find("メモリが足りず"), 0u);
    EXPECT_EQ(summary.mailboxes[2].stored, 1);
    std::vector<std::string> subjects;
    SQLite::Statement q(*db, "SELECT tblKamoMail_Subject FROM tblKamoMail ORDER BY tblKamoMail_Subject");
    while (q.executeStep())
        subjects.push_back(q.getColumn(0).getString());
    EXPECT_EQ(subjects, (std::vector<std::string>{"一通目", "四通目"}));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].text.find("ピンクの引出し を読み込むメモリが足りません"), std::string::npos)
        << prompter.shown[0].text;
    EXPECT_EQ(ReadExitStatus(summary), kExitMailboxProblem);
}

TEST_F(ReadTest, LibraryCodesAreToldPerMailbox) {
    // No list file: nothing to read, no message. A list without its mail file: code -2, told.
    Write("受信フォルダ", {Simple("一通目")});
    std::filesystem::remove(LocateMailbox(postPet, Box("受信フォルダ")).mail);
    const auto summary = Read(Request({"送信フォルダ", "受信フォルダ"}, true));
    ASSERT_EQ(summary.mailboxes.size(), 2u);
    EXPECT_EQ(summary.mailboxes[0].code, 9);
    EXPECT_EQ(summary.mailboxes[1].code, -2);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "受信フォルダ のメールファイルを開けません。");
    EXPECT_EQ(Rows(), 0);
    // A library that is not there: told, nothing read.
    KamoLibrary missing(dir / "nowhere" / "libkamomail.so");
    const auto none = Read(missing, Request({"受信フォルダ"}));
    EXPECT_FALSE(none.completed);
    EXPECT_NE(prompter.shown.back().text.find("変換ライブラリを読み込めません。"), std::string::npos);
}

TEST_F(ReadTest, ReadTimeFilterKeepsItsMailOut) {
    Write("受信フォルダ", {Simple("広告です"), Simple("大事な話")});
    FilterTables tables;
    tables.readFilters[0] = FilterEntry{10, 0, 1, "広告", "広告です"};
    tables.readCount = 1;
    tables.filters[0] = tables.readFilters[0];
    tables.count = 1;
    const auto summary = Read(Request({"受信フォルダ"}), StandardReadHooks(*db, tables));
    EXPECT_EQ(summary.Totals().filtered, 1);
    EXPECT_EQ(summary.Totals().stored, 1);
    EXPECT_EQ(Row(*db, "1").subject, "大事な話");
}

TEST_F(ReadTest, DrawerDirectionAndCp932FileNames) {
    // Drawer mail from the user's own address counts as sent, the rest as received.
    ppw::Mail mine = Simple("送ったメール");
    mine.from = "かも <Kamo@Example.jp>";
    std::filesystem::create_directories(postPet);
    const auto cpList = postPet / Utf8ToCp932("黄色の引出しリスト.ppl");
    const auto cpMail = postPet / Utf8ToCp932("黄色の引出し.ppm");
    ppw::WriteMailbox(cpList, cpMail, {mine, Simple("受け取ったメール")});
    ReadRequest request = Request({"黄色の引出し"});
    request.myMailAddr = "kamo@example.jp";
    EXPECT_EQ(Read(request).Totals().stored, 2);
    EXPECT_EQ(Row(*db, "tblKamoMail_Subject = '送ったメール'").sent, 1);
    EXPECT_EQ(Row(*db, "tblKamoMail_Subject = '受け取ったメール'").sent, 0);
}

TEST_F(ReadTest, KilledReadLeavesAConsistentArchiveAndTheNextReadCompletesIt) {
    for (const auto& [name, seed] : {std::pair<std::string, uint64_t>{"受信フォルダ", 7}, {"送信フォルダ", 8}}) {
        const MailboxFiles files = LocateMailbox(postPet, Box(name));
        std::filesystem::create_directories(files.list.parent_path());
        ppw::WriteLargeMailbox(files.list, files.mail, name == "受信フォルダ" ? 1500 : 3000, seed);
    }
    const ReadRequest request = Request({"受信フォルダ", "送信フォルダ"});

    // How many distinct mails the two mailboxes hold, read without interruption elsewhere.
    int64_t expected = 0;
    {
        test::TempDir other;
        auto fresh = OpenArchive(other / "KamoMail.Mdb", true);
        CreateTables(*fresh);
        ReadRequest r = request;
        r.tmpPath = other / "KamoMail.Tmp";
        expected = ReadPostPetMail(*fresh, library, r, {}, wait).Totals().stored;
    }
    ASSERT_GT(expected, 4000);

    // A child reads into the archive and is killed from outside in the middle of the second mailbox.
    db.reset();
    // 2500 mails in: in the middle of the second mailbox's transaction.
    test::ReadKilledAfterPumps(dir / "KamoMail.Mdb", request, {}, 2500);
    if (HasFatalFailure())
        return;

    db = OpenArchive(dir / "KamoMail.Mdb");
    EXPECT_EQ(db->execAndGet("PRAGMA integrity_check").getString(), "ok");
    const int64_t afterKill = Rows();
    EXPECT_GT(afterKill, 0);        // the first mailbox was committed
    EXPECT_LT(afterKill, expected); // the second was not
    const auto summary = Read(request);
    EXPECT_EQ(summary.Totals().stored, expected - afterKill);
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(db->execAndGet("PRAGMA integrity_check").getString(), "ok");
    // The first read was killed before it made the indexes of the tables it filled; this one made them.
    const char* indexes = "SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master WHERE type = 'index' "
                          "AND sql IS NOT NULL ORDER BY name)";
    EXPECT_EQ(db->execAndGet(indexes).getString(), test::MemoryArchive()->execAndGet(indexes).getString());
}

TEST_F(ReadTest, AFirstReadLeavesItsIndexesAsTheRefreshMakesThem) {
    // The indexes of the tables it filled, the search index beside it and the conversations come in
    // their own order on a first read; the archive ends as a later refresh would leave it.
    for (const auto& [name, seed] : {std::pair<std::string, uint64_t>{"受信フォルダ", 3}, {"送信フォルダ", 4}}) {
        const MailboxFiles files = LocateMailbox(postPet, Box(name));
        std::filesystem::create_directories(files.list.parent_path());
        ppw::WriteLargeMailbox(files.list, files.mail, 400, seed);
    }
    FilterTables none;
    const auto summary = Read(Request({"受信フォルダ", "送信フォルダ"}), StandardReadHooks(*db, none));
    ASSERT_GT(summary.Totals().stored, 700);
    EXPECT_TRUE(ConversationIndexComplete(*db));
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblSearchQueue").getInt64(), 0);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblConversationMail").getInt64(), Rows());
    const char* dump = "SELECT group_concat(MailRow || ':' || SubjectKey, ' ') FROM (SELECT * FROM "
                       "tblConversationMail ORDER BY MailRow)";
    const std::string made = db->execAndGet(dump).getString();
    ASSERT_FALSE(made.empty());
    db->exec("DELETE FROM tblConversationIds; DELETE FROM tblConversationMail; "
             "INSERT INTO tblConversationQueue (MailRow) SELECT rowid FROM tblKamoMail");
    UpdateConversationIndex(*db, wait);
    EXPECT_EQ(db->execAndGet(dump).getString(), made);
}

TEST_F(ReadTest, MarkerLinesInAMailAreMailText) {
    // Bare-LF lines in a body that read like the converted file's structure, and a subject with a
    // line feed and "<End>": one mail each, stored whole, nothing forged beside them.
    const std::string forged = "前置き\n<End>\n<Start>\nFrom evil@example.jp\nSubject 偽物\nDate Mon 1 Jan 2001 "
                               "00:00:00\nMail\n偽の本文\n<End>\n後書き";
    ppw::Mail body = Simple("本物", forged);
    ppw::Mail subject = Simple("件名\n<End>\nMail", "二通目の本文\r\n");
    Write("受信フォルダ", {body, subject});
    const auto summary = Read(Request({"受信フォルダ"}));
    EXPECT_EQ(summary.Totals().read, 2);
    EXPECT_EQ(summary.Totals().stored, 2);
    EXPECT_EQ(summary.Totals().damaged, 0);
    EXPECT_EQ(Rows(), 2);
    const Stored real = Row(*db, "tblKamoMail_Subject = '本物'");
    EXPECT_EQ(real.body, BodyFromRaw(forged));
    EXPECT_EQ(real.sndAdd, "hanako@example.jp");
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblKamoMail WHERE tblKamoMail_SndAdd LIKE '%evil%'").getInt(), 0);
    const Stored second = Row(*db, "tblKamoMail_Mail1 LIKE '二通目%'");
    EXPECT_EQ(second.ymd, "2001/09/04"); // the date and body were not lost to the subject's line feed
    EXPECT_NE(second.subject.find("<End>"), std::string::npos);
}

TEST_F(ReadTest, ListFilesThatCannotBeReadAreNamedNotTakenForEmpty) {
    Write("受信フォルダ", {Simple("受信")});
    // The outbox's list file is a folder, the pink drawer's a FIFO (which must not block), the
    // yellow drawer has a mail file without its list file, the purple drawer was never used.
    const MailboxFiles outbox = LocateMailbox(postPet, Box("送信フォルダ"));
    std::filesystem::create_directories(outbox.list);
    const MailboxFiles pink = LocateMailbox(postPet, Box("ピンクの引出し"));
    ASSERT_EQ(::mkfifo(pink.list.c_str(), 0600), 0);
    test::WriteFile(pink.mail, "");
    const MailboxFiles yellow = LocateMailbox(postPet, Box("黄色の引出し"));
    Write("黄色の引出し", {Simple("黄色")});
    std::filesystem::remove(yellow.list);
    const auto summary =
        Read(Request({"受信フォルダ", "送信フォルダ", "ピンクの引出し", "黄色の引出し", "紫の引出し"}));
    ASSERT_TRUE(summary.completed);
    std::map<std::string, const MailboxSummary*> byName;
    for (const auto& b : summary.mailboxes)
        byName[b.name] = &b;
    EXPECT_FALSE(byName.at("受信フォルダ")->Failed());
    EXPECT_EQ(byName.at("受信フォルダ")->stored, 1);
    const auto note = [&](const std::string& name) {
        const auto& problem = byName.at(name)->problem;
        return problem ? NoteOf(*problem) : std::string("(none)");
    };
    EXPECT_EQ(note("送信フォルダ"), "リストファイルを読めません（フォルダです）");
    EXPECT_EQ(note("ピンクの引出し"), "リストファイルを読めません（通常のファイルではありません）");
    EXPECT_EQ(note("黄色の引出し"), "リストファイルがありません");
    EXPECT_FALSE(byName.at("紫の引出し")->Failed());
    EXPECT_EQ(ReadExitStatus(summary), kExitMailboxProblem);
    EXPECT_EQ(prompter.shown.size(), 3u);
    const std::string text = FormatSummary(summary);
    EXPECT_NE(
        text.find(
            "黄色の引出し: 読込 0 / 保存 0 / 保存済み 0 / フィルター除外 0 / 破損 0（リストファイルがありません）"),
        std::string::npos)
        << text;
    EXPECT_EQ(SummaryHeadline(summary).find("PostPetのメールを読み込みましたが"), 0u);
}

TEST_F(ReadTest, AFolderWithoutAnyMailboxSaysSo) {
    test::WriteFile(postPet / "readme.txt", "not PostPet");
    const auto summary = Read(Request({"受信フォルダ"}));
    EXPECT_FALSE(summary.completed);
    EXPECT_EQ(ReadExitStatus(summary), 1);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text.find("PostPetのフォルダにメールボックスがひとつもありません。"), 0u);
}

TEST_F(ReadTest, AFilterRunThatFailsIsNotReportedAsComplete) {
    Write("受信フォルダ", {Simple("一通目")});
    ReadHooks hooks;
    hooks.refresh = [](WaitReporter&) { return false; };
    const auto summary = Read(Request({"受信フォルダ"}), hooks);
    EXPECT_EQ(Rows(), 1); // the mail is kept
    EXPECT_FALSE(summary.refreshed);
    EXPECT_EQ(ReadExitStatus(summary), 1);
    EXPECT_EQ(SummaryHeadline(summary), "メールは保存しましたが、フィルターの実行に失敗しました。");
    EXPECT_EQ(prompter.shown.back().text, "メールは保存しましたが、フィルターの実行に失敗しました。");
}

// An error that breaks the read off comes back in the result, never thrown: the mailboxes read
// before it are summed up and stay stored, nothing was told.
TEST_F(ReadTest, AnErrorThatBreaksTheReadOffIsItsResult) {
    Write("受信フォルダ", {Simple("一通目")});
    struct Case {
        std::function<void()> error;
        std::string says; // a Failure keeps its own words, another program's lock the catalogue's, any
                          // other error its what()
    };
    const std::vector<Case> cases{
        {[] { throw SQLite::Exception("database is locked", SQLITE_BUSY); },
         MessageOf(Failure(FailureCode::ArchiveBusy))},
        {[] { throw SQLite::Exception("disk I/O error", SQLITE_IOERR); }, "disk I/O error"},
        {[] { throw Failure(FailureCode::AttachmentTooLarge, {"9"}); },
         "添付ファイルが大きすぎてアーカイブに保存できません（9 バイト）。"},
    };
    for (const auto& c : cases) {
        ReadHooks hooks;
        hooks.refresh = [&](WaitReporter&) -> bool {
            c.error();
            return true;
        };
        ReadSummary summary;
        ASSERT_NO_THROW(summary = Read(Request({"受信フォルダ"}), hooks)) << c.says;
        EXPECT_FALSE(summary.completed);
        ASSERT_TRUE(summary.error) << c.says;
        EXPECT_EQ(MessageOf(*summary.error), c.says);
        EXPECT_EQ(ReadExitStatus(summary), 1);
        ASSERT_EQ(summary.mailboxes.size(), 1u);
        EXPECT_EQ(summary.mailboxes[0].read, 1);
        EXPECT_TRUE(prompter.shown.empty()) << prompter.shown[0].text;
    }
    EXPECT_EQ(Rows(), 1);
}

TEST_F(ReadTest, AStopAskedForEndsTheReadAfterTheCurrentMailboxWhole) {
    Write("受信フォルダ", {Simple("一通目"), Simple("二通目")});
    Write("送信フォルダ", {Simple("送った")});
    // The user presses 中止 while the inbox is being read.
    class StopDuringFirst : public NullWaitReporter {
    public:
        void SetLine(int index, const std::string&) override { boxes += index == 4; }
        void OfferCancel() override { offered = true; }
        bool CancelRequested() const override { return boxes >= 1; }
        int boxes = 0;
        bool offered = false;
    } stopping;
    const auto summary = Read(Request({"受信フォルダ", "送信フォルダ"}), {}, &stopping);
    EXPECT_TRUE(stopping.offered);
    ASSERT_EQ(summary.mailboxes.size(), 1u);
    EXPECT_EQ(summary.stoppedAfter, "受信フォルダ");
    EXPECT_EQ(Rows(), 2); // the inbox whole, the outbox not at all
    EXPECT_EQ(SummaryHeadline(summary), "PostPetのメールの読み込みを中止しました。");
    EXPECT_NE(FormatSummary(summary).find("受信フォルダ を読み終えたところで中止しました。"), std::string::npos);
}
