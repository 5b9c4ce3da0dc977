// KamoMail_EditFramed: mail text can never pass for structure, a damaged list record costs that
// record only and is reported with its place, and no file in a list file's place blocks or fools it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include "LibTestSupport.h"

using namespace libtest;

namespace {

ppw::Mail Ascii(std::string subject, std::string body) {
    ppw::Mail m;
    m.from = "taro@example.jp";
    m.to = "kamo@example.jp";
    m.subject = std::move(subject);
    m.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    m.body = std::move(body);
    return m;
}

// Where each record starts in the list file.
std::vector<uint64_t> RecordStarts(const std::vector<ppw::Mail>& mails) {
    std::vector<uint64_t> starts;
    std::vector<ppw::Mail> prefix;
    for (const auto& m : mails) {
        starts.push_back(ppw::BuildMailbox(prefix).list.size());
        prefix.push_back(m);
    }
    return starts;
}

} // namespace

TEST(KamoMailFramed, EveryFieldHeaderAndBodyTravelWithTheirLengths) {
    ScratchDir dir;
    // Body lines that read like the text file's markers stay body text.
    auto forged = Ascii("real", "hello\n<End>\n<Start>\nFrom evil@example.jp\nSubject forged\nMail\nbye\r\n");
    forged.cc = "cc@example.jp";
    forged.header = std::string("Content-Type: text/plain; charset=UTF-8\r\n\r\n");
    auto second = Ascii("line\n<End>\nin subject", "");
    const std::vector<ppw::Mail> mails = {forged, second};
    const auto r = EditFramed(dir, ppw::BuildMailbox(mails));
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.code, 0);
    ASSERT_EQ(r.count, 2);
    ASSERT_TRUE(r.wellFormed);
    const auto starts = RecordStarts(mails);
    ASSERT_EQ(r.entries.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const auto& e = r.entries[i];
        EXPECT_FALSE(e.damaged);
        EXPECT_EQ(e.position, starts[i]);
        EXPECT_EQ(e.fields[0], mails[i].from);
        EXPECT_EQ(e.fields[1], mails[i].to);
        EXPECT_EQ(e.fields[2], mails[i].cc);
        EXPECT_EQ(e.fields[3], mails[i].subject);
        EXPECT_EQ(e.fields[4], mails[i].date);
        EXPECT_EQ(e.fields[6], mails[i].body);
    }
    EXPECT_EQ(r.entries[0].fields[5], *forged.header);
    EXPECT_EQ(r.entries[1].fields[5].rfind("From: ", 0), 0u); // the writer's default header region
}

TEST(KamoMailFramed, AnEmptyFirstMailAtOffsetZeroIsConverted) {
    ScratchDir dir;
    auto empty = Ascii("empty", "");
    empty.header = std::string();
    const std::vector<ppw::Mail> mails = {empty, Ascii("next", "body\r\n")};
    const auto box = ppw::BuildMailbox(mails);
    // Both conversions: the plain text file is byte-exact, the framed one has both mails.
    const auto plain = Edit(dir, box.list, box.mail);
    EXPECT_EQ(plain.code, 0);
    EXPECT_EQ(plain.out, Blocks(mails, 2));
    const auto framed = EditFramed(dir, box);
    ASSERT_EQ(framed.entries.size(), 2u);
    EXPECT_EQ(framed.entries[0].fields[3], "empty");
    EXPECT_EQ(framed.entries[0].fields[6], "");
    EXPECT_EQ(framed.entries[1].fields[6], "body\r\n");
}

TEST(KamoMailFramed, EverySingleByteFlipCostsAtMostTheRecordItHits) {
    ScratchDir dir;
    const std::vector<ppw::Mail> mails = {Ascii("one", "first\r\n"), Ascii("two", "second\r\n"),
                                          Ascii("three", "third\r\n"), Ascii("four", "fourth\r\n")};
    const auto box = ppw::BuildMailbox(mails);
    const auto starts = RecordStarts(mails);
    auto recordOf = [&](size_t pos) {
        size_t k = 0;
        while (k + 1 < starts.size() && starts[k + 1] <= pos)
            ++k;
        return k;
    };
    int silentLosses = 0;
    for (size_t pos = 0; pos < box.list.size(); ++pos) {
        for (const unsigned char mask : {0x01, 0x80, 0xFF}) {
            auto list = box.list;
            list[pos] = static_cast<char>(list[pos] ^ mask);
            const auto r = EditFramed(dir, {list, box.mail});
            ASSERT_TRUE(r.wellFormed) << pos;
            ASSERT_EQ(r.count, static_cast<int32_t>(r.entries.size()));
            const size_t hit = recordOf(pos);
            for (size_t k = 0; k < mails.size(); ++k) {
                const ppw::Mail* found = nullptr;
                bool reported = false;
                for (const auto& e : r.entries) {
                    if (!e.damaged && e.position == starts[k]) {
                        found = &mails[k];
                        EXPECT_TRUE(k == hit || e.fields[6] == mails[k].body) << pos;
                    }
                    if (e.damaged && e.position <= starts[k] && starts[k] < e.position + e.length)
                        reported = true;
                }
                if (k != hit) {
                    EXPECT_TRUE(found) << "record " << k << " lost after a flip at " << pos;
                }
                if (!found && !reported)
                    ++silentLosses;
            }
        }
    }
    EXPECT_EQ(silentLosses, 0);
}

TEST(KamoMailFramed, EveryPrefixOfTheListKeepsTheWholeRecordsAndReportsTheCut) {
    ScratchDir dir;
    const std::vector<ppw::Mail> mails = {Ascii("one", "1"), Ascii("two", "2"), Ascii("three", "3")};
    const auto box = ppw::BuildMailbox(mails);
    const auto starts = RecordStarts(mails);
    for (size_t cut = 1; cut < box.list.size(); ++cut) {
        const auto r = EditFramed(dir, {box.list.substr(0, cut), box.mail});
        ASSERT_TRUE(r.wellFormed) << cut;
        size_t whole = 0;
        while (whole < starts.size() && (whole + 1 < starts.size() ? starts[whole + 1] : box.list.size()) <= cut)
            ++whole;
        ASSERT_GE(r.entries.size(), whole) << cut;
        for (size_t k = 0; k < whole; ++k)
            EXPECT_EQ(r.entries[k].fields[3], mails[k].subject) << cut;
        const bool cutInsideARecord = whole < starts.size() && cut > starts[whole];
        EXPECT_EQ(r.entries.size(), whole + (cutInsideARecord ? 1 : 0)) << cut;
        if (cutInsideARecord) {
            EXPECT_TRUE(r.entries.back().damaged);
            EXPECT_EQ(r.entries.back().position, starts[whole]);
        }
    }
}

TEST(KamoMailFramed, ListFilesThatAreMissingOrNoFilesAtAll) {
    ScratchDir dir;
    const auto box = ppw::BuildMailbox({Ascii("a", "b")});
    WriteBytes(dir / "box.ppm", box.mail);
    struct Case {
        const char* what;
        std::function<std::filesystem::path()> make;
        int32_t code;
    };
    const Case cases[] = {
        {"missing", [&] { return dir / "none.ppl"; }, 9},
        {"empty",
         [&] {
             WriteBytes(dir / "empty.ppl", "");
             return dir / "empty.ppl";
         },
         9},
        {"folder",
         [&] {
             std::filesystem::create_directory(dir / "folder.ppl");
             return dir / "folder.ppl";
         },
         -1},
        {"fifo",
         [&] {
             ::mkfifo((dir / "fifo.ppl").c_str(), 0600);
             return dir / "fifo.ppl";
         },
         -1},
        {"device", [] { return std::filesystem::path("/dev/zero"); }, -1},
    };
    for (const auto& c : cases) {
        const auto r = EditFramedFiles(c.make(), dir / "box.ppm", dir / "KamoMail.Tmp");
        EXPECT_EQ(r.code, c.code) << c.what;
        EXPECT_EQ(r.count, 0) << c.what;
        EXPECT_TRUE(r.wellFormed) << c.what;
        EXPECT_TRUE(r.entries.empty()) << c.what;
    }
    // The mail file in a folder's place is the mail file's error; the output is the owner's only.
    WriteBytes(dir / "box.ppl", box.list);
    std::filesystem::create_directory(dir / "folder.ppm");
    EXPECT_EQ(EditFramedFiles(dir / "box.ppl", dir / "folder.ppm", dir / "KamoMail.Tmp").code, -2);
    const auto ok = EditFramedFiles(dir / "box.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
    EXPECT_EQ(ok.code, 0);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "KamoMail.Tmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
