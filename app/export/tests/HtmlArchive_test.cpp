// The browsable HTML archive as a browser's parser reads it (html5lib): every page parses, every link
// and picture resolves to a file inside the folder, hostile mail yields no markup, the pages hold
// every mail's subject and text, a friend's mails link to each other, and a second export updates.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "db/Attachments.h"
#include "export/HtmlArchive.h"
#include "export/MailExport.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

MailRecord Mail(const char* ymd, const char* hms, bool sent, const std::string& other, const std::string& subject,
                const std::string& body) {
    static int64_t subKey = 1;
    // `other`: "name|address".
    return test::MailBuilder()
        .Date(ymd, hms)
        .SubKey(subKey++)
        .Sent(sent)
        .With(other.substr(0, other.find('|')), other.substr(other.find('|') + 1))
        .Subject(subject)
        .Body(body)
        .Include("0")
        .Build();
}

// html5lib's reading of the folder; the test fails when the checker does not run.
Json Check(const fs::path& folder) {
    const auto run =
        test::RunTool({test::kSystemPython, std::string(KAMOMAIL_SOURCE_DIR) + "/app/export/tests/CheckHtmlArchive.py",
                       folder.string()});
    EXPECT_EQ(run.status, 0) << "html5lib did not read " << folder;
    return run.status == 0 ? Json::parse(run.out) : Json{{"pages", Json::object()}, {"problems", {"not read"}}};
}

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(600, '\x11') + "\xFF\xD9";

class HtmlArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = test::MemoryArchive();
        const std::string hostile = "<script>alert(1)</script><img src=x onerror=alert(2)>"
                                    "<a href=\"javascript:alert(3)\">click</a><img src=\"http://evil.example/p.png\">"
                                    "<iframe src=\"https://evil.example/\"></iframe>";
        mails = {
            Mail("2001/09/04", "21:05:33", false, "山田 花子|hanako@example.jp", "はじめまして",
                 "こんにちは。\r\nポチです。\r\n"),
            Mail("2001/09/05", "08:00:00", true, "山田 花子|hanako@example.jp", "Re: はじめまして", "返事です。\r\n"),
            Mail("2002/01/01", "00:00:01", false, "山田 花子|HANAKO@example.jp", "あけまして", "写真です。\r\n"),
            Mail("2002/03/03", "12:00:00", false, "<b>悪い人</b>|evil@example.jp", hostile, hostile + "\r\n\x01\x7f"),
            Mail("2003/04/01", "09:30:00", false, "設定無し|", "", "差出人のアドレスなし\r\n"),
        };
        for (const auto& m : mails)
            test::InsertTestMail(*db, m);
        AttachmentWriter writer(*db);
        writer.Add(KeyOf(mails[2]), 1, {"写真①.jpg", "image/jpeg", kJpeg});
        const MailKey evil = KeyOf(mails[3]);
        writer.Add(evil, 1, {"../../evil.html", "text/html", hostile});
        writer.Add(evil, 2, {"..\\..\\x.svg", "image/svg+xml", "<svg onload=\"alert(4)\"/>"});
        writer.Add(evil, 3, {".hidden", "application/octet-stream", "h"});
        writer.Add(evil, 4, {"a.TXT", "text/plain", "one"});
        writer.Add(evil, 5, {"A.txt", "text/plain", "two"});
        writer.Add(evil, 6, {"", "image/png", "\x89PNG\r\n\x1a\n"});
        writer.Add(evil, 7, {"we\x01ird:na*me?.jpg", "image/jpeg", kJpeg});
        // Pictures sent as plain bytes, named or not: the mail display shows them, and so does the page.
        writer.Add(evil, 8, {"", "application/octet-stream", "\x89PNG\r\n\x1a\n"});
        writer.Add(evil, 9, {"b.png", "application/octet-stream", "\x89PNG\r\n\x1a\n"});
    }
    ExportResult Export(const fs::path& target, const MailSelection& selection = MailSelection::All()) {
        NullWaitReporter wait;
        return ExportMails(*db, selection, MailFormat::Html, target, wait);
    }
    std::unique_ptr<SQLite::Database> db;
    std::vector<MailRecord> mails;
    test::TempDir dir;
};

std::string PageOf(const Json& pages, const std::string& text) {
    for (const auto& [name, page] : pages.items())
        if (name.rfind("mail/", 0) == 0 && page["text"].get<std::string>().find(text) != std::string::npos)
            return name;
    return {};
}

} // namespace

TEST_F(HtmlArchiveTest, EveryPageParsesEveryLinkResolvesAndNothingFromTheMailIsMarkup) {
    const fs::path out = dir / "archive";
    EXPECT_EQ(Export(out).written, static_cast<int64_t>(mails.size()));
    const Json seen = Check(out);
    EXPECT_TRUE(seen["problems"].empty()) << seen["problems"].dump(1);
    const Json& pages = seen["pages"];
    ASSERT_TRUE(pages.contains("index.html"));
    // Every mail has a page with its subject and text, reachable from the index through a list page.
    std::set<std::string> reachable;
    for (const auto& link : pages["index.html"]["links"])
        for (const auto& inner : pages[link.get<std::string>()]["links"])
            reachable.insert(inner.get<std::string>());
    for (const auto& m : mails) {
        SCOPED_TRACE(m.subject);
        std::string text = m.body.substr(0, m.body.find('\r'));
        const std::string page = PageOf(pages, text);
        ASSERT_FALSE(page.empty());
        EXPECT_NE(pages[page]["text"].get<std::string>().find(m.subject), std::string::npos);
        EXPECT_TRUE(reachable.count(page));
    }
    // The hostile mail's markup is its text, not markup: the page shows it as written.
    const std::string evilPage = PageOf(pages, "<script>alert(1)</script>");
    ASSERT_FALSE(evilPage.empty());
    EXPECT_NE(pages[evilPage]["title"].get<std::string>().find("<script>"), std::string::npos);
    EXPECT_NE(pages["index.html"]["text"].get<std::string>().find("<b>悪い人</b>"), std::string::npos);
    // Its attachments: named inside their folder, pages a browser would run named as text, none lost.
    std::set<std::string> names;
    for (const auto& link : pages[evilPage]["links"])
        names.insert(fs::path(link.get<std::string>()).filename().string());
    const std::set<std::string> wanted = {"evil.html.txt", "x.svg.txt",     "hidden",          "a.TXT",
                                          "5-A.txt",       "添付ファイル6", "weird_na_me_.jpg"};
    for (const auto& name : wanted)
        EXPECT_TRUE(names.count(name)) << name;
    // The PNG, the JPEG and the two PNGs sent as plain bytes; never the SVG.
    EXPECT_EQ(pages[evilPage]["pictures"].size(), 4u);
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().rfind(out.string(), 0), 0u) << "written outside: " << entry.path();
    // The photo is drawn on its mail's page and is the bytes of the attachment.
    const std::string photoPage = PageOf(pages, "写真です。");
    ASSERT_EQ(pages[photoPage]["pictures"].size(), 1u);
    EXPECT_EQ(test::ReadFile(out / pages[photoPage]["pictures"][0].get<std::string>()), kJpeg);
}

TEST_F(HtmlArchiveTest, AFriendsMailsLinkToEachOtherAndTheListsCountThem) {
    const fs::path out = dir / "archive";
    Export(out);
    const Json pages = Check(out)["pages"];
    const std::string first = PageOf(pages, "ポチです。"), reply = PageOf(pages, "返事です。"),
                      photo = PageOf(pages, "写真です。");
    // One friend across letter case of the address: the sent reply sits between the two received mails.
    const auto links = [&](const std::string& page) {
        std::set<std::string> s;
        for (const auto& l : pages[page]["links"])
            s.insert(l.get<std::string>());
        return s;
    };
    EXPECT_TRUE(links(first).count(reply));
    EXPECT_FALSE(links(first).count(photo));
    EXPECT_TRUE(links(reply).count(first));
    EXPECT_TRUE(links(reply).count(photo));
    EXPECT_TRUE(links(photo).count(reply));
    const std::string index = pages["index.html"]["text"];
    for (const char* line : {"山田 花子 <hanako@example.jp> (3 通)", "2001年9月 (2 通)", "2003年4月 (1 通)",
                             "受信 1 通 / 送信 1 通", "5 通のメール"})
        EXPECT_NE(index.find(line), std::string::npos) << line << "\n" << index;
}

// A mail's page heads it with its subject (none said so, in the title too), then its date, sender,
// receiver and direction, escaped; a sender with neither name nor address is （なし）.
TEST_F(HtmlArchiveTest, AMailsPageHeadsItWithSubjectDateSenderReceiverAndDirection) {
    const fs::path out = dir / "archive";
    Export(out);
    std::string page;
    for (const auto& entry : fs::directory_iterator(out / "mail"))
        if (entry.path().extension() == ".html")
            if (std::string text = test::ReadFile(entry.path()); text.find("差出人のアドレスなし") != std::string::npos)
                page = text;
    EXPECT_NE(page.find("<title>（件名なし）</title>"), std::string::npos) << page;
    EXPECT_NE(page.find("</nav>\n<h1>（件名なし）</h1>\n<table class=\"head\">\n"
                        "<tr><th>日付</th><td>2003/04/01 09:30:00</td></tr>\n"
                        "<tr><th>差出人</th><td>（なし）</td></tr>\n"
                        "<tr><th>宛先</th><td>かも &lt;kamo@example.jp&gt;</td></tr>\n"
                        "<tr><th>種類</th><td>受信メール</td></tr>\n</table>\n"),
              std::string::npos)
        << page;
}

TEST_F(HtmlArchiveTest, ExportingAgainUpdatesTheFolderPrivatelyAndNeverThroughALink) {
    const fs::path out = dir / "archive";
    Export(out, MailSelection::Of(MailSelection::Kind::Address, "hanako@example.jp"));
    struct stat st {};
    for (const fs::path& p : {out, out / "mail", out / "friend", out / "month"}) {
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    ASSERT_EQ(::stat((out / "index.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(PageOf(Check(out)["pages"], "差出人のアドレスなし").empty());

    Export(out); // the whole archive now: the index and lists follow
    const Json seen = Check(out);
    EXPECT_TRUE(seen["problems"].empty()) << seen["problems"].dump(1);
    EXPECT_FALSE(PageOf(seen["pages"], "差出人のアドレスなし").empty());
    EXPECT_NE(seen["pages"]["index.html"]["text"].get<std::string>().find("5 通のメール"), std::string::npos);

    // A link planted where a folder of the export goes, or at a page, is never written through.
    const fs::path planted = dir / "planted";
    fs::create_directories(planted);
    fs::remove_all(out / "friend");
    fs::create_directory_symlink(planted, out / "friend");
    EXPECT_THROW(Export(out), std::runtime_error);
    EXPECT_TRUE(fs::is_empty(planted));
    fs::remove(out / "friend");
    fs::remove(out / "index.html");
    fs::create_symlink(planted / "victim.html", out / "index.html");
    EXPECT_THROW(Export(out), std::runtime_error);
    EXPECT_TRUE(fs::is_empty(planted));
}

TEST(HtmlArchive, AttachmentNamesStayInsideTheirFolder) {
    const struct {
        const char* name;
        const char* type;
        const char* want;
    } cases[] = {
        {"photo.jpg", "image/jpeg", "photo.jpg"},
        {"../../etc/passwd", "", "passwd"},
        {"C:\\Windows\\evil.exe", "", "evil.exe"},
        {"..", "", "添付ファイル4"},
        {"page.HTM", "", "page.HTM.txt"},
        {"note", "text/html; charset=utf-8", "note.txt"},
        {"image.svg", "image/svg+xml", "image.svg.txt"},
        {"a.xhtml", "application/octet-stream", "a.xhtml.txt"},
        {" .profile. ", "", "profile"},
        {"tab\there|pipe", "", "tabhere_pipe"},
    };
    size_t n = 0;
    for (const auto& c : cases)
        EXPECT_EQ(AttachmentFileName(c.name, c.type, ++n), c.want) << c.name;
    std::string longName;
    for (int i = 0; i < 100; ++i)
        longName += "長";
    const std::string cut = AttachmentFileName(longName + ".jpg", "image/jpeg", 1);
    EXPECT_LE(cut.size(), 120u);
    EXPECT_EQ(cut.substr(cut.size() - 4), ".jpg");
    EXPECT_EQ(cut.substr(cut.size() - 7, 3), "…");
}
