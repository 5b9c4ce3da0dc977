// Keepsakes from the terminal, on mail the mailbox writer made and `kamomail read` took in: the HTML
// folder, the PDF and the friend book as vCard, each read back by an independent tool.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <set>

#include <nlohmann/json.hpp>

#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

class KeepsakesTest : public ::testing::Test {
protected:
    // Runs build/bin/kamomail; its exit status, its output (both streams) in `output`.
    int Kamomail(const std::vector<std::string>& args) {
        test::ProgramEnv env;
        env.set = {{"KAMOMAIL_CONFIG_DIR", (dir / "config").string()}, {"KAMOMAIL_DATA_DIR", (dir / "data").string()}};
        const pid_t pid = test::LaunchProgram(args, env, dir / "output.txt");
        int status = 0;
        ::waitpid(pid, &status, 0);
        output = test::ReadFile(dir / "output.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Tool(const std::vector<std::string>& argv) {
        const auto run = test::RunTool(argv);
        EXPECT_EQ(run.status, 0) << argv[0];
        return run.out;
    }
    test::TempDir dir;
    std::string output;
};

ppw::Mail MimeMail(const std::string& subject, const std::string& contentType, const std::string& body) {
    ppw::Mail m;
    m.raw = true; // the body's parts are UTF-8 as they declare, not CP932
    m.from = ppw::ToCp932("山田 花子 <hanako@example.jp>");
    m.to = ppw::ToCp932("かも <kamo@example.jp>");
    m.subject = ppw::ToCp932(subject);
    m.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    m.header = "From: hanako@example.jp\r\nTo: kamo@example.jp\r\nSubject: " + ppw::EncodedWord(subject) +
               "\r\nDate: " + m.date + "\r\nMIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\n\r\n";
    m.body = body;
    return m;
}

} // namespace

TEST_F(KeepsakesTest, HtmlPdfAndVcardOfMailReadFromPostPet) {
    const std::string jpeg = Tool({"/usr/bin/convert", "-size", "64x48", "xc:#3070c0", "jpg:-"});
    ASSERT_GT(jpeg.size(), 100u);
    ppw::WriteSampleFolder(dir / "PostPet");
    const std::string hostileHtml = "<p onclick=\"alert(1)\">やあ<script>alert(2)</script>"
                                    "<img src=\"http://evil.example/x.png\" onerror=\"alert(3)\"></p>";
    ppw::WriteMailbox(
        dir / "PostPet" / "受信フォルダ" / "受信リスト.ppl", dir / "PostPet" / "受信フォルダ" / "受信メール.ppm",
        {MimeMail("写真です", "multipart/mixed; boundary=b",
                  ppw::Multipart("b", {"Content-Type: text/plain; charset=UTF-8\r\n\r\n公園で撮りました。\r\n",
                                       "Content-Type: image/jpeg; name=\"../park.jpg\"\r\n"
                                       "Content-Transfer-Encoding: base64\r\n\r\n" +
                                           ppw::Base64(jpeg),
                                       "Content-Type: text/html; charset=UTF-8; name=\"page.html\"\r\n"
                                       "Content-Disposition: attachment; filename=\"page.html\"\r\n\r\n" +
                                           hostileHtml})),
         MimeMail("HTMLのメール", "text/html; charset=UTF-8", hostileHtml + "<p>HTMLの本文です。</p>\r\n")});
    ASSERT_EQ(Kamomail({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"}), 0) << output;

    // The HTML folder: every page parses, nothing runs, every mail has its page, the photo is shown.
    ASSERT_EQ(Kamomail({"export", "--format", "html", (dir / "html").string()}), 0) << output;
    EXPECT_NE(output.find(" 通のメールを html で書き出しました"), std::string::npos) << output;
    const Json seen = Json::parse(
        Tool({test::kSystemPython, std::string(KAMOMAIL_SOURCE_DIR) + "/app/export/tests/CheckHtmlArchive.py",
              (dir / "html").string()}));
    EXPECT_TRUE(seen["problems"].empty()) << seen["problems"].dump(1);
    const int64_t written = std::stoll(output.substr(0, output.find(' ')));
    int64_t mailPages = 0;
    std::string photoPage, htmlPage;
    for (const auto& [name, page] : seen["pages"].items()) {
        if (name.rfind("mail/", 0) != 0)
            continue;
        ++mailPages;
        const std::string text = page["text"];
        if (text.find("公園で撮りました。") != std::string::npos)
            photoPage = name;
        if (text.find("HTMLの本文です。") != std::string::npos)
            htmlPage = name;
    }
    EXPECT_EQ(mailPages, written);
    ASSERT_FALSE(photoPage.empty());
    ASSERT_EQ(seen["pages"][photoPage]["pictures"].size(), 1u);
    EXPECT_EQ(test::ReadFile(dir / "html" / seen["pages"][photoPage]["pictures"][0].get<std::string>()), jpeg);
    std::set<std::string> files;
    for (const auto& link : seen["pages"][photoPage]["links"])
        files.insert(fs::path(link.get<std::string>()).filename().string());
    EXPECT_TRUE(files.count("park.jpg"));
    EXPECT_TRUE(files.count("page.html.txt")); // shown as text, never run
    ASSERT_FALSE(htmlPage.empty());
    EXPECT_NE(seen["pages"][htmlPage]["text"].get<std::string>().find("やあ"), std::string::npos);

    // The PDF of one friend's mail: its subjects and texts, the photo drawn, the font embedded.
    ASSERT_EQ(Kamomail({"export", "--format", "pdf", (dir / "hanako.pdf").string(), "--address", "hanako@example.jp"}),
              0)
        << output;
    EXPECT_NE(output.find("2 通のメールを pdf で書き出しました（アドレス hanako@example.jp）"), std::string::npos)
        << output;
    const std::string text = Tool({"/usr/bin/pdftotext", (dir / "hanako.pdf").string(), "-"});
    for (const char* line :
         {"写真です", "公園で撮りました。", "HTMLのメール", "HTMLの本文です。", "KamoMail アドレス hanako@example.jp"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_NE(Tool({"/usr/bin/pdfimages", "-list", (dir / "hanako.pdf").string()}).find("64    48"), std::string::npos);
    EXPECT_NE(Tool({"/usr/bin/pdffonts", (dir / "hanako.pdf").string()}).find("IPAGothic"), std::string::npos);

    // The friend book as vCard: every friend of PostPet's friend file a card with its address.
    ASSERT_EQ(Kamomail({"friends", "--read", (dir / "PostPet" / ppw::kFriendFileName).string()}), 0) << output;
    ASSERT_EQ(Kamomail({"friends", "--export", (dir / "book.vcf").string()}), 0) << output;
    const size_t friends = std::stoul(output.substr(output.find("おともだち ") + std::string("おともだち ").size()));
    EXPECT_GT(friends, 0u);
    const Json cards =
        Json::parse(Tool({test::kSystemPython, std::string(KAMOMAIL_SOURCE_DIR) + "/app/friends/tests/ReadCards.py",
                          (dir / "book.vcf").string()}));
    ASSERT_EQ(cards.size(), friends);
    for (const auto& card : cards) {
        EXPECT_EQ(card["version"], "4.0");
        EXPECT_NE(card["email"].get<std::string>().find('@'), std::string::npos);
        EXPECT_FALSE(card["fn"].get<std::string>().empty());
    }
    EXPECT_EQ(Kamomail({"friends", "--export", (dir / "data" / "KamoMail.Mdb").string()}), 1);
    EXPECT_NE(output.find("アーカイブかそのコピー"), std::string::npos) << output;
}
