// The friend book as vCard: read back by an independent parser (Python's vobject), every friend and
// field there, Japanese names whole; lines folded within 75 octets on character boundaries; the file
// written the one way.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "friends/FriendCards.h"
#include "friends/FriendCommands.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;

namespace {

nlohmann::json ReadBack(const fs::path& file) {
    const auto run = test::RunTool(
        {test::kSystemPython, std::string(KAMOMAIL_SOURCE_DIR) + "/app/friends/tests/ReadCards.py", file.string()});
    EXPECT_EQ(run.status, 0) << "vobject does not read " << file;
    return run.status == 0 ? nlohmann::json::parse(run.out) : nlohmann::json::array();
}

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

} // namespace

TEST(FriendCards, EveryFriendAndFieldReadsBackThroughVobject) {
    std::string longName;
    for (int i = 0; i < 40; ++i)
        longName += "長い名前𠮷"; // 3- and 4-octet characters across many folds
    const std::vector<Friend> book = {
        {"10", "ポチ", "山田， 太郎", "taro@example.jp", 255},
        {"1", "タマ", "佐藤,花子;\\様", "hana@example.jp", 0}, // vCard's own separators in a name
        {"", "", "次郎\r\n二行目", "jiro@example.jp", 1},      // a line break inside a name
        {"3", "モモ", "", "momo@example.jp", 0},               // no owner: the pet names the card
        {"", "", "", "nobody@example.jp", 0},                  // nothing but the address
        {"2", "ミケ", longName, "long@example.jp", 7},
    };
    struct Want {
        const char* fn;
        const char* note; // nullptr: the card has none
    };
    const std::vector<Want> want = {
        {"山田， 太郎", "ペット: ポチ（種類 10）\nメール: 255 通"},
        {"佐藤,花子;\\様", "ペット: タマ（種類 1）"},
        {"次郎\n二行目", "メール: 1 通"},
        {"モモ", "ペット: モモ（種類 3）"},
        {"nobody@example.jp", nullptr},
        {longName.c_str(), "ペット: ミケ（種類 2）\nメール: 7 通"},
    };
    test::TempDir dir;
    auto db = test::MemoryArchive();
    WriteFriendCards(book, dir / "book.vcf", db->getFilename());
    const auto cards = ReadBack(dir / "book.vcf");
    ASSERT_EQ(cards.size(), book.size());
    for (size_t i = 0; i < book.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cards[i]["version"], "4.0");
        EXPECT_EQ(cards[i]["fn"], want[i].fn);
        EXPECT_EQ(cards[i]["email"], book[i].address);
        if (want[i].note)
            EXPECT_EQ(cards[i]["note"], want[i].note);
        else
            EXPECT_TRUE(cards[i]["note"].is_null());
    }
}

TEST(FriendCards, LinesAreFoldedWithin75OctetsOnCharacterBoundaries) {
    const std::string ascii(200, 'a');
    std::string kana;
    for (int i = 0; i < 60; ++i)
        kana += "あ";
    std::string mixed = "FN:x"; // puts the 3-octet characters off the fold's rhythm
    for (int i = 0; i < 50; ++i)
        mixed += i % 3 ? "の" : "😀";
    for (const std::string& line :
         {std::string("FN:short"), "NOTE:" + ascii, "FN:" + kana, mixed, std::string(75, 'b'), std::string(76, 'c')}) {
        SCOPED_TRACE(line.substr(0, 20));
        const std::string folded = FoldedLine(line);
        ASSERT_GE(folded.size(), 2u);
        EXPECT_EQ(folded.substr(folded.size() - 2), "\r\n");
        std::string unfolded;
        size_t start = 0, lines = 0;
        while (start < folded.size()) {
            const size_t end = folded.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            const std::string physical = folded.substr(start, end - start);
            EXPECT_LE(physical.size(), 75u);
            EXPECT_TRUE(ValidUtf8(physical)) << "a fold split a character";
            if (lines++ > 0) {
                ASSERT_EQ(physical[0], ' ');
                unfolded += physical.substr(1);
            } else {
                unfolded += physical;
            }
            start = end + 2;
        }
        EXPECT_EQ(unfolded, line);
        const bool ascii = std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; });
        if (ascii) { // one octet a character: every line full but the last
            EXPECT_EQ(lines, line.size() <= 75 ? 1u : 1u + (line.size() - 75 + 73) / 74);
        }
    }
}

TEST(FriendCards, TheFileIsPrivateAndNeverWrittenThroughALinkOrOverTheArchive) {
    test::TempDir dir;
    const std::vector<Friend> book = {{"10", "ポチ", "太郎", "taro@example.jp", 1}};
    auto db = test::MemoryArchive();
    WriteFriendCards(book, dir / "book.vcf", db->getFilename());
    struct stat st {};
    ASSERT_EQ(::stat((dir / "book.vcf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    test::WriteFile(dir / "victim.txt", "keep");
    fs::create_symlink(dir / "victim.txt", dir / "link.vcf");
    fs::create_directory(dir / "folder.vcf");
    test::WriteFile(dir / "KamoMail.Mdb", "archive");
    const struct {
        fs::path target;
        const char* message;
    } refused[] = {
        {dir / "link.vcf", "シンボリックリンク"},
        {dir / "folder.vcf", "フォルダです"},
        {dir / "KamoMail.Mdb", "アーカイブかそのコピー"},
        {dir / "missing" / "book.vcf", "作成できません"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.target);
        ScriptedPrompter prompter;
        EXPECT_FALSE(ExportFriendCards(book, r.target, dir / "KamoMail.Mdb", prompter));
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_NE(prompter.shown[0].text.find(r.message), std::string::npos) << prompter.shown[0].text;
    }
    EXPECT_EQ(test::ReadFile(dir / "victim.txt"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir / "link.vcf"));
    EXPECT_EQ(test::ReadFile(dir / "KamoMail.Mdb"), "archive");

    ScriptedPrompter prompter;
    EXPECT_TRUE(ExportFriendCards(book, dir / "book.vcf", dir / "KamoMail.Mdb", prompter));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].text.find("おともだち 1 人を vCard に書き出しました。"), std::string::npos);
}
