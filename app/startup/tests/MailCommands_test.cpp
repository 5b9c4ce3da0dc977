// search, list, export and index as a user runs them: the program of this build in a child
// process, its output against the archive it worked on.
#include <gtest/gtest.h>

#include <map>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "browse/KeyLists.h"
#include "common/CodePage.h"
#include "db/HeaderFields.h"
#include "db/MailOriginals.h"
#include "db/Schema.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"
#include "import/Mailboxes.h"
#include "platform/InstanceLock.h"
#include "ppwriter/MailboxWriter.h"
#include "search/SearchQuery.h"
#include "search/tests/FoundRows.h"
#include "startup/TerminalOutput.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// A flat JSON object of strings and booleans, read strictly: anything else is an error.
bool ParseJsonLine(const std::string& line, std::map<std::string, std::string>& fields) {
    size_t i = 0;
    auto expect = [&](char c) { return i < line.size() && line[i++] == c; };
    auto readString = [&](std::string& s) {
        if (!expect('"'))
            return false;
        while (i < line.size() && line[i] != '"') {
            const auto c = static_cast<unsigned char>(line[i++]);
            if (c < 0x20)
                return false;
            if (c != '\\') {
                s += static_cast<char>(c);
                continue;
            }
            if (i >= line.size())
                return false;
            const char e = line[i++];
            const std::string simple = "\"\\/bfnrt";
            const std::string meaning = "\"\\/\b\f\n\r\t";
            if (const auto k = simple.find(e); k != std::string::npos) {
                s += meaning[k];
            } else if (e == 'u' && i + 4 <= line.size()) {
                const unsigned v = static_cast<unsigned>(std::stoul(line.substr(i, 4), nullptr, 16));
                i += 4;
                if (v >= 0x80)
                    return false; // we write only control characters this way
                s += static_cast<char>(v);
            } else {
                return false;
            }
        }
        return expect('"');
    };
    if (!expect('{'))
        return false;
    while (true) {
        std::string key, value;
        if (!readString(key) || !expect(':'))
            return false;
        if (line.compare(i, 4, "true") == 0) {
            value = "true";
            i += 4;
        } else if (line.compare(i, 5, "false") == 0) {
            value = "false";
            i += 5;
        } else if (!readString(value)) {
            return false;
        }
        fields[key] = value;
        if (i < line.size() && line[i] == ',') {
            ++i;
            continue;
        }
        return expect('}') && i == line.size() && IsValidUtf8(line);
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

class MailCommandsTest : public ::testing::Test {
protected:
    // Runs build/bin/kamomail; standard error goes to a pseudo-terminal when `terminal`.
    ProgramRun Kamomail(const std::vector<std::string>& args, bool terminal = false) {
        const auto outPath = dir / "out.txt";
        const auto errPath = dir / "err.txt";
        const std::string program = (test::BuildBinDir() / "kamomail").string();
        int master = -1, slave = -1;
        if (terminal && ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return {};
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("KAMOMAIL_CONFIG_DIR", (dir / "config").c_str(), 1);
            setenv("KAMOMAIL_DATA_DIR", (dir / "data").c_str(), 1);
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = terminal ? slave : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
                _exit(127);
            if (master >= 0)
                close(master);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        ProgramRun run;
        if (terminal) {
            close(slave);
            char buf[4096];
            for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
                run.err.append(buf, static_cast<size_t>(n));
            close(master);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = test::ReadFile(outPath);
        if (!terminal)
            run.err = test::ReadFile(errPath);
        return run;
    }

    void ReadSample() {
        ppw::WriteSampleFolder(dir / "PostPet");
        const ProgramRun read = Kamomail({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"});
        ASSERT_EQ(read.status, 0) << read.err;
        db = OpenArchive(dir / "data" / "KamoMail.Mdb");
    }

    std::vector<MailRecord> Mails(const std::vector<int64_t>& rows) {
        MailRowReader reader(*db);
        std::vector<MailRecord> mails;
        for (int64_t row : rows)
            mails.push_back(*reader.Read(row));
        return mails;
    }

    test::TempDir dir;
    std::unique_ptr<SQLite::Database> db;
};

} // namespace

TEST(MailOutputFormat, LinesAndJsonKeepEveryCharacterOnOneLine) {
    MailRecord m;
    m.ymd = "2001/09/04";
    m.hms = "21:05:33";
    m.sndName = "山田 \"花子\"";
    m.sndAdd = "hanako@example.jp";
    m.rcvName = "かも";
    m.rcvAdd = "kamo@example.jp";
    m.subject = "tab\there\r\nline ①㈱髙～｜\\ \x01 \xFF";
    m.body = "本文\r\n";
    EXPECT_EQ(MailLine(m),
              "2001/09/04\t21:05:33\t山田 \"花子\" <hanako@example.jp>\ttab here  line ①㈱髙～｜\\   \xFF");
    m.sent = true;
    EXPECT_EQ(MailLine(m).substr(20, 24), "かも <kamo@example.jp>"); // a sent mail names its receiver
    EXPECT_EQ(MailJson(m, true),
              "{\"date\":\"2001/09/04\",\"time\":\"21:05:33\",\"sent\":true,\"from_name\":\"山田 \\\"花子\\\"\","
              "\"from_address\":\"hanako@example.jp\",\"to_name\":\"かも\",\"to_address\":\"kamo@example.jp\","
              "\"subject\":\"tab\\there\\r\\nline ①㈱髙～｜\\\\ \\u0001 \xEF\xBF\xBD\",\"body\":\"本文\\r\\n\"}");
    std::map<std::string, std::string> fields;
    ASSERT_TRUE(ParseJsonLine(MailJson(m, false), fields));
    EXPECT_EQ(fields.count("body"), 0u);
    EXPECT_EQ(fields["subject"], "tab\there\r\nline ①㈱髙～｜\\ \x01 \xEF\xBF\xBD");
}

TEST_F(MailCommandsTest, SearchPrintsExactlyTheSearchesResultAsLinesOrJson) {
    ReadSample();
    for (const std::string query : {"ポ", "ＰＯＳＴＰＥ", "髙橋 よろしく", "example.jp"}) {
        const std::vector<MailRecord> expected = Mails(test::FoundRows(*db, query));
        ASSERT_FALSE(expected.empty()) << query;

        const ProgramRun text = Kamomail({"search", query});
        ASSERT_EQ(text.status, 0) << text.err;
        std::string lines;
        for (const auto& m : expected)
            lines += MailLine(m) + "\n";
        EXPECT_EQ(text.out, lines) << query;

        const ProgramRun json = Kamomail({"search", "--format", "json", "--body", query});
        ASSERT_EQ(json.status, 0) << json.err;
        const auto got = Lines(json.out);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            std::map<std::string, std::string> f;
            ASSERT_TRUE(ParseJsonLine(got[i], f)) << got[i];
            const MailRecord& m = expected[i];
            EXPECT_EQ(f["date"], m.ymd);
            EXPECT_EQ(f["time"], m.hms);
            EXPECT_EQ(f["sent"], m.sent ? "true" : "false");
            EXPECT_EQ(f["from_name"], m.sndName);
            EXPECT_EQ(f["from_address"], m.sndAdd);
            EXPECT_EQ(f["to_name"], m.rcvName);
            EXPECT_EQ(f["to_address"], m.rcvAdd);
            EXPECT_EQ(f["subject"], m.subject);
            EXPECT_EQ(f["body"], m.body);
        }
    }
    EXPECT_EQ(Kamomail({"search", "存在しない言葉"}).out, "");
}

TEST_F(MailCommandsTest, SearchTakesFieldedTermsAndNamesAMalformedOne) {
    ReadSample();
    for (const std::string query : {"is:received", "from:example.jp -is:sent date:..2030", "ポ -has:attachment"}) {
        const std::vector<MailRecord> expected = Mails(test::FoundRows(*db, query));
        ASSERT_FALSE(expected.empty()) << query;
        std::string lines;
        for (const auto& m : expected)
            lines += MailLine(m) + "\n";
        const ProgramRun run = Kamomail({"search", query});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, lines) << query;
    }
    const ProgramRun bad = Kamomail({"search", "ポ", "date:2002-13"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("「date:2002-13」の日付が正しくありません。"), std::string::npos) << bad.err;
    const ProgramRun help = Kamomail({"search", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* prefix : {"from:", "to:", "subject:", "body:", "date:", "has:picture", "is:sent", "in:"})
        EXPECT_NE(help.out.find(prefix), std::string::npos) << prefix;
}

TEST_F(MailCommandsTest, ListShowsTheKeysOfEachViewAndTheMailOfAKey) {
    ReadSample();
    struct Case {
        std::vector<std::string> args;
        ViewMode mode;
    };
    for (const auto& c : {Case{{"list"}, ViewMode::Address}, Case{{"list", "--by", "name"}, ViewMode::Name},
                          Case{{"list", "--by", "date"}, ViewMode::Date}}) {
        std::string expected;
        for (const auto& item : FillKeyList(*db, c.mode))
            expected += item.text + "\n";
        EXPECT_EQ(Kamomail(c.args).out, expected);
    }
    // The owner's address is in every mail: its list is every mail, oldest first as the window lists it.
    const ProgramRun own = Kamomail({"list", "--address", ppw::kSampleOwnerAddress});
    ASSERT_EQ(own.status, 0) << own.err;
    const auto lines = Lines(own.out);
    EXPECT_EQ(static_cast<int64_t>(lines.size()), db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64());
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
    const ProgramRun day = Kamomail({"list", "--date", lines.front().substr(0, 10), "--format", "json"});
    EXPECT_EQ(day.out.rfind("{\"date\":\"" + lines.front().substr(0, 10), 0), 0u) << day.out;

    db->exec("INSERT INTO tblFilter VALUES (10, 2, 0, 'かもの箱', 'kamo@example.jp')");
    db->exec("INSERT INTO tblFilterData (tblFilterDt_Id, tblFilterDt_No, tblFilterDt_Date, tblFilterDt_Time,"
             " tblFilterDt_SubKey, tblFilterDt_SendName, tblFilterDt_SendAddr, tblFilterDt_RecvName,"
             " tblFilterDt_RecvAddr, tblFilterDt_SndRcvFlag, tblFilterDt_Subject) SELECT rowid, 10, tblKamoMail_YMD,"
             " tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndName, tblKamoMail_SndAdd, tblKamoMail_RcvName,"
             " tblKamoMail_RcvAdd, tblKamoMail_SndRcvFlag, tblKamoMail_Subject FROM tblKamoMail");
    EXPECT_EQ(Kamomail({"list", "--by", "filter"}).out, "10\tかもの箱\n");
    EXPECT_EQ(Kamomail({"list", "--filter", "かもの箱"}).out, own.out);
    EXPECT_EQ(Kamomail({"list", "--filter", "10"}).out, own.out);
    EXPECT_EQ(Kamomail({"list", "--filter", "99"}).status, 1);
}

TEST_F(MailCommandsTest, ListGroupsConversationsAndJsonNamesEachMailsThreadAndId) {
    ReadSample();
    // Every mail gets an ID naming its row; nothing answers anything yet.
    std::vector<int64_t> all;
    for (SQLite::Statement st(*db, "SELECT rowid FROM tblKamoMail"); st.executeStep();)
        all.push_back(st.getColumn(0).getInt64());
    HeaderFieldWriter writer(*db);
    auto put = [&](int64_t row, const std::string& inReplyTo) {
        HeaderFields h;
        h.messageId = "<" + std::to_string(row) + "@test>";
        h.inReplyTo = h.references = inReplyTo;
        writer.Put(KeyOf(*MailRowReader(*db).Read(row)), h);
    };
    for (int64_t row : all)
        put(row, "");
    auto listed = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"list", "--address", ppw::kSampleOwnerAddress};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProgramRun run = Kamomail(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return Lines(run.out);
    };
    // JSON: the rows in list order, by their IDs.
    auto jsonRows = [&](std::map<int64_t, std::string>& threads) {
        std::vector<int64_t> rows;
        for (const auto& line : listed({"--format", "json"})) {
            std::map<std::string, std::string> f;
            EXPECT_TRUE(ParseJsonLine(line, f)) << line;
            rows.push_back(std::stoll(f["message_id"].substr(1)));
            EXPECT_EQ(f["thread"].size(), 16u) << line;
            threads[rows.back()] = f["thread"];
        }
        return rows;
    };
    std::map<int64_t, std::string> threads;
    const std::vector<int64_t> rows = jsonRows(threads);
    ASSERT_EQ(rows.size(), all.size());
    ASSERT_GE(rows.size(), 3u);
    // A later mail of another conversation answers the first.
    size_t k = 1;
    while (k < rows.size() && threads[rows[k]] == threads[rows[0]])
        ++k;
    ASSERT_LT(k, rows.size());
    put(rows[k], "<" + std::to_string(rows[0]) + "@test>");
    std::map<int64_t, std::string> linked;
    EXPECT_EQ(jsonRows(linked), rows);
    EXPECT_EQ(linked[rows[0]], linked[rows[k]]);

    const std::vector<std::string> plain = listed({});
    const std::vector<std::string> nested = listed({"--threads"});
    std::vector<std::string> unindented;
    for (const auto& line : nested)
        unindented.push_back(line.rfind("  ", 0) == 0 ? line.substr(2) : line);
    EXPECT_TRUE(std::is_permutation(unindented.begin(), unindented.end(), plain.begin(), plain.end()));
    const auto first = std::find(nested.begin(), nested.end(), plain[0]);
    const auto reply = std::find(nested.begin(), nested.end(), "  " + plain[k]);
    ASSERT_TRUE(first != nested.end() && reply != nested.end());
    EXPECT_LT(first, reply);
    for (auto it = first + 1; it != reply; ++it)
        EXPECT_EQ(it->rfind("  ", 0), 0u) << *it;         // only the conversation's own mails between
    EXPECT_EQ(Kamomail({"list", "--threads"}).status, 2); // keys are no mails
}

TEST_F(MailCommandsTest, ExportDispatchesByFormatAndNamesTheKnownOnes) {
    ReadSample();
    const ProgramRun mbox = Kamomail({"export", "--format", "mbox", (dir / "a.mbox").string(), "--search", "ポ"});
    ASSERT_EQ(mbox.status, 0) << mbox.err;
    const size_t found = test::FoundRows(*db, "ポ").size();
    EXPECT_NE(mbox.out.find(std::to_string(found) + " 通のメールを mbox で書き出しました"), std::string::npos);
    size_t froms = 0;
    for (const auto& line : Lines(test::ReadFile(dir / "a.mbox")))
        froms += line.rfind("From ", 0) == 0;
    EXPECT_EQ(froms, found);

    size_t read = 0;
    for (const auto& line : Lines(test::ReadFile(dir / "a.mbox")))
        read += line == "Status: RO";
    EXPECT_EQ(read, found); // every mail read unless asked otherwise

    const ProgramRun maildir = Kamomail({"export", "--format=maildir", (dir / "Maildir").string()});
    ASSERT_EQ(maildir.status, 0) << maildir.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Maildir" / "cur"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "Maildir" / "new"));
    // Sent mail only: the received mail waits unread in new/.
    const ProgramRun unread = Kamomail({"export", "--format", "maildir", (dir / "Unread").string(), "--seen", "sent"});
    ASSERT_EQ(unread.status, 0) << unread.err;
    EXPECT_FALSE(std::filesystem::is_empty(dir / "Unread" / "new"));
    const ProgramRun wrongSeen = Kamomail({"export", "--format", "mbox", (dir / "b.mbox").string(), "--seen", "some"});
    EXPECT_EQ(wrongSeen.status, 2);
    EXPECT_NE(wrongSeen.err.find("--seen"), std::string::npos) << wrongSeen.err;

    for (const auto& args :
         std::vector<std::vector<std::string>>{{"export", "--format", "xml", "x"}, {"export", (dir / "x").string()}}) {
        const ProgramRun unknown = Kamomail(args);
        EXPECT_EQ(unknown.status, 2);
        EXPECT_NE(unknown.err.find("使える形式: mbox, maildir, eml, html, pdf, csv"), std::string::npos) << unknown.err;
    }
    EXPECT_EQ(Kamomail({"export", "--format", "eml"}).status, 2); // no target
    EXPECT_EQ(Kamomail({"export", "--format", "eml", "a", "b"}).status, 2);
    EXPECT_EQ(Kamomail({"export", "--format", "mbox", (dir / "no" / "such" / "a.mbox").string()}).status, 1);
    const ProgramRun help = Kamomail({"--help"});
    for (const char* command :
         {"kamomail read", "kamomail search", "kamomail list", "kamomail export", "kamomail index"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

TEST_F(MailCommandsTest, OriginalsAndFoldersAreAskedForAndMailWithoutAnOriginalIsCounted) {
    ReadSample();
    // One mail has an original, from the pink drawer; the others as if read by a version that kept none.
    db->exec("DELETE FROM tblOriginal");
    MailRowReader reader(*db);
    const MailRecord mail = *reader.Read(db->execAndGet("SELECT min(rowid) FROM tblKamoMail").getInt64());
    MailOriginal original;
    original.header = "Subject: as it came\r\n\r\n";
    original.body = "the original\r\n";
    OriginalWriter(*db).Put(KeyOf(mail), original, "ピンクの引出し", kDecodingVersion);
    const int64_t mails = db->execAndGet("SELECT count(*) FROM tblKamoMail").getInt64();
    const int64_t kept = db->execAndGet("SELECT count(*) FROM tblOriginal").getInt64();
    const std::string withoutKept = "うち " + std::to_string(mails - kept) + " 通は元のメールが保存されていない";

    const ProgramRun both =
        Kamomail({"export", "--format", "mbox", (dir / "boxes").string(), "--original", "--folders"});
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_NE(both.out.find(withoutKept), std::string::npos) << both.out;
    EXPECT_NE(test::ReadFile(dir / "boxes" / "ピンクの引出し").find("Subject: as it came\r\n\r\nthe original\r\n"),
              std::string::npos);
    // Without --original nothing is counted; without --folders the target is one file.
    const ProgramRun plain = Kamomail({"export", "--format", "mbox", (dir / "one.mbox").string()});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find("うち "), std::string::npos) << plain.out;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "one.mbox"));
    const ProgramRun help = Kamomail({"export", "--help"});
    EXPECT_NE(help.out.find("--original"), std::string::npos);
    EXPECT_NE(help.out.find(std::string("「") + kUnknownMailbox + "」"), std::string::npos);
}

TEST_F(MailCommandsTest, EveryCommandIsRefusedWhileTheWindowIsOpenAndOnBadArguments) {
    ReadSample();
    {
        auto lock = InstanceLock::TryAcquire(dir / "config");
        ASSERT_TRUE(lock);
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"search", "ポ"}, {"list"}, {"index"}, {"export", "--format", "eml", (dir / "e").string()}}) {
            const ProgramRun refused = Kamomail(args);
            EXPECT_EQ(refused.status, 1) << args[0];
            EXPECT_NE(refused.err.find("KamoMailはすでに実行されています。"), std::string::npos) << refused.err;
        }
        EXPECT_FALSE(std::filesystem::exists(dir / "e"));
    }
    for (const auto& args : std::vector<std::vector<std::string>>{{"search"},
                                                                  {"search", "--format", "xml", "a"},
                                                                  {"search", "--body", "a"},
                                                                  {"list", "--by", "colour"},
                                                                  {"list", "--address", "a", "--name", "b"},
                                                                  {"index", "--all"}})
        EXPECT_EQ(Kamomail(args).status, 2) << args[0] << " " << args.back();
}

TEST_F(MailCommandsTest, LongWorkDrawsAProgressLineOnlyOnATerminal) {
    const MailboxFiles files{dir / "PostPet" / "受信フォルダ" / "受信リスト.ppl",
                             dir / "PostPet" / "受信フォルダ" / "受信メール.ppm"};
    std::filesystem::create_directories(files.list.parent_path());
    ppw::WriteLargeMailbox(files.list, files.mail, 3000, 9);
    const std::vector<std::string> read = {"read", "--postpet-dir", (dir / "PostPet").string(), "--all"};
    const ProgramRun onTerminal = Kamomail(read, true);
    ASSERT_EQ(onTerminal.status, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("Ｍａｉｌを読み込んでいます。"), std::string::npos) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find(" / 3000 ("), std::string::npos) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("検索用の索引を作っています。"), std::string::npos) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("\x1b[K"), std::string::npos);

    const ProgramRun rebuild = Kamomail({"index", "--rebuild"}, true);
    ASSERT_EQ(rebuild.status, 0) << rebuild.err;
    EXPECT_NE(rebuild.err.find("検索用の索引を作っています。  "), std::string::npos) << rebuild.err;
    const ProgramRun toFile = Kamomail({"index", "--rebuild"});
    EXPECT_EQ(toFile.err, "");
    EXPECT_NE(toFile.out.find("メール 3000 通"), std::string::npos) << toFile.out;
}
