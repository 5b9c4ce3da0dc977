// The names the exports give mail files: the exact form, one file per mail however their keys' hashes
// fall, and every export's count equal to what an independent reader finds in what it wrote.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "export/ExportFiles.h"
#include "export/MailExport.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

MailRecord OneSecondMail(const std::string& sender, const std::string& receiver, const std::string& body) {
    return test::MailBuilder()
        .Date("2001/09/04", "21:00:00")
        .From("ともだち", sender)
        .To("かも", receiver)
        .Subject("同じ時刻")
        .Body(body)
        .Include("0")
        .Build();
}

Json Tool(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {test::kSystemPython,
                                     std::string(KAMOMAIL_SOURCE_DIR) + "/app/export/tests/" + script};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto run = test::RunTool(argv);
    EXPECT_EQ(run.status, 0) << script << " did not read " << args.back();
    return run.status == 0 ? Json::parse(run.out) : Json::array();
}

size_t FilesUnder(const fs::path& folder) {
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        files += e.is_regular_file() ? 1 : 0;
    return files;
}

} // namespace

TEST(MailFileNames, KeepTheKeysWholeHashAndAreUniqueOverManyMailsOfOneSecond) {
    // The form users' scripts may rely on: date, time, sub-key, direction, the 16 hex digits of the hash.
    const MailRecord first = OneSecondMail("p60441@example.jp", "kamo@example.jp", "");
    const MailRecord second = OneSecondMail("p207656@example.jp", "kamo@example.jp", "");
    EXPECT_EQ(MailFileStem(first), "20010904-210000-0-r-a6e6cf03bdb6682f");
    EXPECT_EQ(MailFileStem(second), "20010904-210000-0-r-a6e6cf0305b26e2a");
    EXPECT_EQ(EarlierMailFileStem(MailFileStem(first)), "20010904-210000-0-r-a6e6cf03");

    // Thirty thousand more senders in the same second: every name apart.
    std::set<std::string> stems = {MailFileStem(first), MailFileStem(second)};
    constexpr int kSenders = 30000;
    for (int n = 0; n < kSenders; ++n)
        stems.insert(MailFileStem(OneSecondMail("p" + std::to_string(n) + "@example.jp", "kamo@example.jp", "")));
    EXPECT_EQ(stems.size(), static_cast<size_t>(kSenders) + 2);

    // The same own name again, whatever made it collide: a suffix, each name given once.
    MailFileNames names;
    const std::string own = MailFileStem(first);
    EXPECT_EQ(names.Claim(own), own);
    EXPECT_EQ(names.Claim(own), own + "-2");
    EXPECT_EQ(names.Claim(MailFileStem(second)), MailFileStem(second));
    EXPECT_EQ(names.Claim(own), own + "-3");
}

// Four received mails of one second to one receiver: the two senders of the report (their hashes
// share the first 32 bits) and two keys whose whole 64-bit hashes are equal (the hash runs the
// addresses together with a 0x1F after each). Each export writes four files or messages, an
// independent reader finds each mail once, and the count it reports is that.
TEST(MailFileNames, MailsOfOneNameEachGetAFileInEveryExport) {
    test::TempDir dir;
    auto db = test::MemoryArchive();
    const std::vector<MailRecord> mails = {
        OneSecondMail("p60441@example.jp", "kamo@example.jp", "一通目の本文"),
        OneSecondMail("p207656@example.jp", "kamo@example.jp", "二通目の本文"),
        OneSecondMail("p1@example.jp\x1F"
                      "kamo@example.jp",
                      "", "三通目の本文"),
        OneSecondMail("p1@example.jp", "kamo@example.jp\x1F", "四通目の本文"),
    };
    ASSERT_EQ(MailFileStem(mails[2]), MailFileStem(mails[3]));
    for (const auto& m : mails)
        test::InsertTestMail(*db, m);
    // A file an older version left under the 8-digit name is this mail's, replaced by its new name.
    fs::create_directories(dir / "eml");
    const fs::path earlier = dir / "eml" / (EarlierMailFileStem(MailFileStem(mails[0])) + ".eml");
    test::WriteFile(earlier, "From: old\r\n\r\nold\r\n");

    struct Case {
        MailFormat format;
        const char* target;
        const char* kind; // for ReadMessages.py; "html" is read by CheckHtmlArchive.py
        size_t files;     // regular files the export leaves
    };
    const Case cases[] = {
        {MailFormat::Eml, "eml", "eml", 4},
        {MailFormat::Maildir, "Maildir", "maildir", 4},
        {MailFormat::Mbox, "all.mbox", "mbox", 1},
        {MailFormat::Html, "html", "html", 4 + 4 + 3}, // mail pages, friend pages, month, index, style
    };
    for (const auto& c : cases) {
        for (int round = 1; round <= 2; ++round) { // a second export into the same place: the same files
            SCOPED_TRACE(std::string(c.kind) + " round " + std::to_string(round));
            NullWaitReporter quiet;
            const fs::path target = dir / c.target;
            const ExportResult result = ExportMails(*db, MailSelection::All(), c.format, target, quiet);
            EXPECT_EQ(result.written, 4);
            EXPECT_EQ(fs::is_directory(target) ? FilesUnder(target) : fs::is_regular_file(target) ? 1 : 0, c.files);
            std::map<std::string, int> seen; // each mail's text: times found
            if (c.format == MailFormat::Html) {
                const Json archive = Tool("CheckHtmlArchive.py", {target.string()});
                EXPECT_TRUE(archive["problems"].empty()) << archive["problems"].dump(1);
                for (const auto& [page, content] : archive["pages"].items()) {
                    if (page.rfind("mail/", 0) != 0)
                        continue;
                    for (const auto& m : mails)
                        if (content["text"].get<std::string>().find(m.body) != std::string::npos)
                            ++seen[m.body];
                }
                // Each friend's page links to the page of that friend's own mail, whose sender line
                // is the friend's page title ("ともだち <address>").
                for (const auto& [page, content] : archive["pages"].items()) {
                    if (page.rfind("friend/", 0) != 0)
                        continue;
                    ASSERT_EQ(content["links"].size(), 2u) << page; // 目次 and the mail
                    const std::string mailPage = content["links"][1];
                    EXPECT_NE(archive["pages"][mailPage]["text"].get<std::string>().find(
                                  content["title"].get<std::string>() + "\n"),
                              std::string::npos)
                        << page << " links to " << mailPage;
                }
            } else {
                const Json read = Tool("ReadMessages.py", {c.kind, target.string()});
                EXPECT_EQ(read.size(), 4u);
                std::set<std::string> names;
                for (const auto& message : read) {
                    names.insert(message["name"].get<std::string>());
                    for (const auto& m : mails)
                        if (message["text"].get<std::string>().find(m.body) != std::string::npos)
                            ++seen[m.body];
                }
                if (c.format != MailFormat::Mbox) {
                    EXPECT_EQ(names.size(), 4u);
                }
            }
            for (const auto& m : mails)
                EXPECT_EQ(seen[m.body], 1) << m.body;
        }
    }
    EXPECT_FALSE(fs::exists(earlier));
}
