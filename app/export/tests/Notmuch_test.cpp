// A Maildir export as notmuch reads it: notmuch indexes the folder (with Xapian and GMime, as a mail
// program would) and shows every message as JSON; each field of each message is compared with the
// archive, and a reply exported beside the mail it answers is one thread with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include <nlohmann/json.hpp>

#include <SQLiteCpp/Transaction.h>

#include "db/HeaderFields.h"
#include "export/MailExport.h"
#include "export/MailMessage.h"
#include "mime/MailAddresses.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

bool HaveNotmuch() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        end = end == std::string::npos ? dirs.size() : end;
        const fs::path candidate = fs::path(dirs.substr(start, end - start)) / "notmuch";
        std::error_code ec;
        if (end > start && fs::is_regular_file(candidate, ec))
            return true;
        start = end + 1;
    }
    return false;
}

// Runs a shell command and returns its standard output; fails the test on a non-zero status.
std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << command;
    return out;
}

std::string Unix(std::string s) {
    for (size_t i; (i = s.find("\r\n")) != std::string::npos;)
        s.erase(i, 1);
    return s;
}

// notmuch show's nodes: [message, [replies...]], walked into a flat list of messages.
void Collect(const Json& node, std::vector<Json>& messages) {
    if (node.is_array()) {
        if (node.size() == 2 && node[0].is_object() && node[0].contains("id")) {
            messages.push_back(node[0]);
            Collect(node[1], messages);
            return;
        }
        for (const auto& child : node)
            Collect(child, messages);
    }
}

// The text of a message's first text/plain part.
std::string TextOf(const Json& parts) {
    for (const auto& part : parts) {
        if (part.value("content-type", "") == "text/plain" && part.contains("content") && part["content"].is_string())
            return part["content"].get<std::string>();
        if (part.contains("content") && part["content"].is_array()) {
            const std::string inner = TextOf(part["content"]);
            if (!inner.empty())
                return inner;
        }
    }
    return {};
}

MailRecord Fixture(const char* subject, const std::string& sndName, const std::string& sndAdd, const char* body) {
    static int64_t subKey = 5000;
    MailRecord m;
    m.ymd = "2001/09/04";
    m.hms = "21:05:33";
    m.subKey = subKey++;
    m.sndName = sndName;
    m.sndAdd = sndAdd;
    m.rcvName = "かも";
    m.rcvAdd = "kamo@example.jp";
    m.subject = subject;
    m.body = body;
    m.include = "0";
    return m;
}

} // namespace

TEST(Notmuch, EveryMessageOfAMaildirExportReadsBackAndARepliesThreadWithItsMail) {
    if (!HaveNotmuch())
        GTEST_SKIP() << "notmuch is not installed (Debian package notmuch)";
    test::TempDir dir;
    auto db = test::MemoryArchive();
    std::vector<MailRecord> mails = test::GeneratedMails(80, 21);
    mails.push_back(Fixture("設定無しの差出人", kNoName, "nobody@example.jp", "名前のない差出人\r\n"));
    mails.push_back(Fixture("アドレスなし", "差出人", "", "アドレスのない差出人\r\n"));
    mails.push_back(Fixture(std::string(70, 'x').c_str(), "Taro", "taro@example.jp", "one long word\r\n"));
    MailRecord leap = Fixture("閏秒", "閏", "leap@example.jp", "a leap second\r\n");
    leap.ymd = "2005/12/31";
    leap.hms = "23:59:60";
    mails.push_back(leap);
    MailRecord original = Fixture("打ち合わせ", "山田 花子", "hanako@example.jp", "月曜日に会いましょう。\r\n");
    MailRecord reply = Fixture("Re: 打ち合わせ", "Taro", "taro@example.jp", "了解です。\r\n");
    reply.hms = "22:00:00";
    mails.push_back(original);
    mails.push_back(reply);
    {
        std::mt19937_64 rng(4);
        SQLite::Transaction tx(*db);
        for (const auto& m : mails)
            test::InsertSpread(*db, m, rng);
        HeaderFieldWriter writer(*db);
        HeaderFields asked;
        asked.messageId = "<meeting.1@example.jp>";
        asked.cc = {{"次郎", "jiro@example.jp"}};
        writer.Put(KeyOf(original), asked);
        HeaderFields answer;
        answer.messageId = "<answer.1@example.jp>";
        answer.inReplyTo = "<meeting.1@example.jp>";
        answer.references = "<meeting.1@example.jp>";
        writer.Put(KeyOf(reply), answer);
        tx.commit();
    }
    std::map<std::string, const MailRecord*> byId;
    for (const auto& m : mails)
        byId[MessageId(m).substr(1, MessageId(m).size() - 2)] = &m;
    byId["meeting.1@example.jp"] = &mails[mails.size() - 2];
    byId["answer.1@example.jp"] = &mails.back();
    byId.erase(MessageId(original).substr(1, MessageId(original).size() - 2));
    byId.erase(MessageId(reply).substr(1, MessageId(reply).size() - 2));

    const fs::path maildir = dir / "mail";
    NullWaitReporter quiet;
    ASSERT_EQ(ExportMails(*db, MailSelection::All(), MailFormat::Maildir, maildir, quiet).written,
              static_cast<int64_t>(mails.size()));
    test::WriteFile(dir / "notmuch-config", "[database]\npath=" + maildir.string() +
                                                "\n[user]\nname=Test\nprimary_email=test@example.jp\n"
                                                "[new]\ntags=inbox;unread;\n[search]\nexclude_tags=\n"
                                                "[maildir]\nsynchronize_flags=true\n");
    const std::string env = "NOTMUCH_CONFIG='" + (dir / "notmuch-config").string() + "' HOME='" + dir.path().string() +
                            "' XDG_CONFIG_HOME='" + dir.path().string() + "' ";
    RunCommand(env + "notmuch new --quiet");

    const Json threads = Json::parse(RunCommand(env + "notmuch show --format=json --body=true '*'"));
    std::vector<Json> messages;
    Collect(threads, messages);
    ASSERT_EQ(messages.size(), mails.size());
    std::set<std::string> seen;
    for (const Json& got : messages) {
        const std::string id = got["id"].get<std::string>();
        ASSERT_TRUE(byId.count(id)) << id;
        seen.insert(id);
        const MailRecord& m = *byId[id];
        SCOPED_TRACE(id + " " + m.subject);
        const Json& headers = got["headers"];
        EXPECT_EQ(headers.value("Subject", ""), m.subject);
        // The sender: its address (or the stand-in) and its name, never the placeholder.
        const std::string from = headers.value("From", "");
        EXPECT_NE(from.find(IsUsableAddress(m.sndAdd) ? m.sndAdd : std::string(kNoAddress)), std::string::npos) << from;
        if (m.sndName != kNoName) {
            EXPECT_NE(from.find(m.sndName), std::string::npos) << from;
        }
        EXPECT_EQ(from.find(kNoName), std::string::npos) << from;
        const std::string to = headers.value("To", "");
        EXPECT_NE(to.find(IsUsableAddress(m.rcvAdd) ? m.rcvAdd : std::string("undisclosed-recipients")),
                  std::string::npos)
            << to;
        // The moment: the mail's own (a leap second as the second before); 1970 for an unreadable date.
        const auto t = MailTime(m.ymd, m.hms);
        EXPECT_EQ(got["timestamp"].get<int64_t>(), t ? *t : 0);
        EXPECT_EQ(Unix(TextOf(got["body"])), Unix(m.body));
        // Read: the export marks every mail so, and notmuch takes the Maildir flag.
        const auto tags = got["tags"].get<std::vector<std::string>>();
        EXPECT_EQ(std::count(tags.begin(), tags.end(), "unread"), 0);
        if (id == "meeting.1@example.jp") {
            EXPECT_NE(headers.value("Cc", "").find("jiro@example.jp"), std::string::npos);
        }
    }
    EXPECT_EQ(seen.size(), mails.size());

    // The reply and the mail it answers are one thread; every other mail is its own.
    const std::string original_thread = RunCommand(env + "notmuch search --output=threads id:meeting.1@example.jp");
    EXPECT_FALSE(original_thread.empty());
    EXPECT_EQ(RunCommand(env + "notmuch search --output=threads id:answer.1@example.jp"), original_thread);
    const std::string all = RunCommand(env + "notmuch search --output=threads '*'");
    EXPECT_EQ(static_cast<size_t>(std::count(all.begin(), all.end(), '\n')), mails.size() - 1);
}
