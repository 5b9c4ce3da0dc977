#include <gtest/gtest.h>

#include "LibTestSupport.h"

using namespace libtest;

namespace {

ppw::Mail Ascii(const std::string& subject, const std::string& body) {
    ppw::Mail m;
    m.from = "Hanako <hanako@example.jp>";
    m.to = "kamo@example.jp";
    m.subject = subject;
    m.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    m.body = body;
    return m;
}

} // namespace

TEST(KamoMailEdit, WritesTheBlockByteForByte) {
    ScratchDir dir;
    auto box = ppw::BuildMailbox({Ascii("Hi", "line1\r\nline2\nend")});
    auto r = Edit(dir, box.list, box.mail);
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.count, 1);
    // A stored CR LF becomes CR CR LF; a bare LF becomes CR LF; an empty Cc is the prefix and one blank.
    EXPECT_EQ(r.out, "<Start>\r\n"
                     "From Hanako <hanako@example.jp>\r\n"
                     "To kamo@example.jp\r\n"
                     "Cc \r\n"
                     "Subject Hi\r\n"
                     "Date Tue, 04 Sep 2001 21:05:33 +0900\r\n"
                     "Mail\r\n"
                     "line1\r\r\nline2\r\nend\r\n"
                     "<End>\r\n");
}

TEST(KamoMailEdit, EmptyBodyAndSubjectGiveBareLines) {
    ScratchDir dir;
    auto box = ppw::BuildMailbox({Ascii("", "")});
    auto r = Edit(dir, box.list, box.mail);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("\r\nSubject \r\n"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 17), "\r\nMail\r\n\r\n<End>\r\n");
}

TEST(KamoMailEdit, LineFeedsInsideListFieldsAreWrittenAsCrLf) {
    ScratchDir dir;
    auto m = Ascii("two\nlines", "b");
    auto r = Edit(dir, ppw::BuildMailbox({m}).list, ppw::BuildMailbox({m}).mail);
    EXPECT_NE(r.out.find("Subject two\r\nlines\r\n"), std::string::npos);
}

TEST(KamoMailEdit, JapaneseMailCopiedVerbatim) {
    ScratchDir dir;
    ppw::Mail m;
    m.from = "山田 花子 <hanako@example.jp>";
    m.to = "かも <kamo@example.jp>";
    m.cc = "鋼 弓, 酢 表 <x@example.jp>";
    m.subject = "ポ|ポ \"能\" ①㈱髙～";
    m.date = "04 Sep 01 21:05 JST";
    m.body = "本文ポ|です。\r\n二行目\r\n";
    auto box = ppw::BuildMailbox({m});
    auto r = Edit(dir, box.list, box.mail);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, ExpectedBlock(m));
    // The CP932-only characters really are there as CP932.
    EXPECT_NE(r.out.find("\x87\x40\x87\x8a\xfb\xfc\x81\x60"), std::string::npos);
}

TEST(KamoMailEdit, MissingOrEmptyListGivesCodeNineAndAnEmptyFile) {
    ScratchDir dir;
    ppw::Mail m = Ascii("x", "y");
    auto box = ppw::BuildMailbox({m});
    WriteBytes(dir / "box.ppm", box.mail);
    WriteBytes(dir / "KamoMail.Tmp", "old content");
    auto missing = EditFiles(dir / "none.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
    EXPECT_EQ(missing.ret, 0);
    EXPECT_EQ(missing.code, 9);
    EXPECT_EQ(missing.count, 0);
    EXPECT_TRUE(missing.outExists);
    EXPECT_EQ(missing.out, "");

    for (const std::string& list : {std::string(), std::string("SsS"), std::string("XsS1") + box.list.substr(4)}) {
        auto r = Edit(dir, list, box.mail);
        EXPECT_EQ(r.code, 9);
        EXPECT_EQ(r.count, 0);
        EXPECT_TRUE(r.outExists);
        EXPECT_EQ(r.out, "");
    }
}

TEST(KamoMailEdit, FilesThatCannotBeOpenedGiveTheirCodes) {
    ScratchDir dir;
    auto box = ppw::BuildMailbox({Ascii("a", "b"), Ascii("c", "d")});
    WriteBytes(dir / "box.ppl", box.list);
    WriteBytes(dir / "box.ppm", box.mail);

    auto noMail = EditFiles(dir / "box.ppl", dir / "missing.ppm", dir / "KamoMail.Tmp");
    EXPECT_EQ(noMail.ret, 0);
    EXPECT_EQ(noMail.code, -2);
    EXPECT_EQ(noMail.count, 2);

    auto noOut = EditFiles(dir / "box.ppl", dir / "box.ppm", dir / "no-such-dir" / "KamoMail.Tmp");
    EXPECT_EQ(noOut.ret, 0);
    EXPECT_EQ(noOut.code, -1);

    // Nothing to convert and no output file possible: the one case that returns -1.
    auto neither = EditFiles(dir / "none.ppl", dir / "box.ppm", dir / "no-such-dir" / "KamoMail.Tmp");
    EXPECT_EQ(neither.ret, -1);
    EXPECT_EQ(neither.code, -1);
    EXPECT_EQ(neither.count, 0);

    int32_t count = 0, code = 0;
    EXPECT_EQ(KamoMail_Edit(nullptr, nullptr, nullptr, &count, &code), -1);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(
        KamoMail_Edit((dir / "box.ppl").c_str(), (dir / "box.ppm").c_str(), (dir / "t.tmp").c_str(), nullptr, nullptr),
        0);
}

TEST(KamoMailEdit, StopsAtTheFirstDamagedRecordKeepingEarlierBlocks) {
    std::vector<ppw::Mail> mails = {Ascii("one", "1"), Ascii("two", "2"), Ascii("three", "3")};
    struct Case {
        const char* what;
        ppw::Damage damage;
    };
    std::vector<Case> cases(4);
    cases[0] = {"end marker", {}};
    cases[0].damage.endMarker = "EeE2";
    cases[1] = {"start marker", {}};
    cases[1].damage.startMarker = "SsS2";
    cases[2] = {"trailer runs into the end marker", {}};
    cases[3] = {"truncated", {}};
    cases[3].damage.cutAfter = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        auto damaged = mails;
        damaged[1].damage = c.damage;
        if (std::string(c.what).starts_with("trailer"))
            damaged[1].trailer.raw = std::string("\0\0", 2); // one byte too many before "EeE1"
        auto box = ppw::BuildMailbox(damaged);
        auto r = Edit(dir, box.list, box.mail);
        EXPECT_EQ(r.ret, 0);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, Blocks(mails, 1));
        // The counting pass only follows start markers and lengths.
        const int expectedCount = c.damage.startMarker ? 1 : c.damage.cutAfter ? 2 : 3;
        EXPECT_EQ(r.count, expectedCount);
    }
}

TEST(KamoMailEdit, CountFollowsTheLengthFieldsAndLimitsTheConversion) {
    std::vector<ppw::Mail> mails = {Ascii("one", "1"), Ascii("two", "2"), Ascii("three", "3")};
    ScratchDir dir;
    // A length that jumps over the rest of the file: one record counted, so one converted.
    auto longJump = mails;
    longJump[0].damage.recordLength = 100000;
    auto r = Edit(dir, ppw::BuildMailbox(longJump).list, ppw::BuildMailbox(longJump).mail);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, Blocks(mails, 1));

    // A length that lands inside the record: counting stops there, conversion reads records properly.
    auto shortJump = mails;
    shortJump[1].damage.recordLength = 3;
    r = Edit(dir, ppw::BuildMailbox(shortJump).list, ppw::BuildMailbox(shortJump).mail);
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.out, Blocks(mails, 2));
}

TEST(KamoMailEdit, TrailerRules) {
    auto withTrailer = [](ppw::Trailer t) {
        ppw::Mail m = Ascii("t", "body");
        m.trailer = std::move(t);
        return m;
    };
    std::vector<ppw::Mail> mails;
    mails.push_back(withTrailer({})); // a first byte of 0 ends it at once
    ppw::Trailer group;
    group.groupCount = 3;
    group.groupStrings = {"\x83\x82\x83\x82", "PP2"}; // モモ
    mails.push_back(withTrailer(group));
    ppw::Trailer twenty;
    twenty.lead = "ABCDEFGHIJKLMNOPQRST";
    twenty.groupCount = 0x41; // 'A' at position 21 is a count of 65: 64 strings follow
    twenty.groupStrings.assign(64, "s");
    twenty.tail = "after";
    mails.push_back(withTrailer(twenty));
    ppw::Trailer negative;
    negative.lead = "xy";
    negative.groupCount = 0xF0;
    negative.tail = std::string(30, '\x05'); // low bytes after the count are ordinary
    mails.push_back(withTrailer(negative));
    ppw::Trailer one;
    one.groupCount = 1;
    one.tail = "\x01\x02\x03";
    mails.push_back(withTrailer(one));
    ppw::Trailer twoTail;
    twoTail.groupCount = 2;
    twoTail.groupStrings = {""};
    twoTail.tail = "\x0f\x0f"; // after the group nothing is a count any more
    mails.push_back(withTrailer(twoTail));
    ppw::Trailer nineteen;
    nineteen.lead = std::string(19, 'L');
    nineteen.groupCount = 0x02; // at position 20 a low byte still is a count
    nineteen.groupStrings = {"PP"};
    mails.push_back(withTrailer(nineteen));
    ppw::Trailer raw;
    raw.raw = std::string("\x0f\x00\x00\x00", 4); // count 15: needs 14 strings; runs past the end marker
    mails.push_back(withTrailer(raw));
    mails.push_back(withTrailer({}));

    ScratchDir dir;
    auto box = ppw::BuildMailbox(mails);
    auto r = Edit(dir, box.list, box.mail);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.count, 9);
    EXPECT_EQ(r.out, Blocks(mails, 7));
}

TEST(KamoMailEdit, ManyGeneratedMailsConvertExactly) {
    ppw::MailGenerator gen(7);
    std::vector<ppw::Mail> mails;
    for (int i = 0; i < 1500; ++i)
        mails.push_back(gen.Next());
    ScratchDir dir;
    auto box = ppw::BuildMailbox(mails);
    auto r = Edit(dir, box.list, box.mail);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.count, 1500);
    EXPECT_TRUE(r.out == Blocks(mails, mails.size())) << "output differs from the descriptions";
}

TEST(KamoMailEdit, SampleFolderMailboxesConvertWhole) {
    ScratchDir dir;
    for (bool cp932 : {false, true}) {
        auto boxes = ppw::WriteSampleFolder(dir / (cp932 ? "cp932" : "utf8"), {cp932, 2001});
        ASSERT_EQ(boxes.size(), 11u);
        size_t empty = 0;
        for (const auto& b : boxes) {
            auto r = EditFiles(b.list, b.mail, dir / "KamoMail.Tmp");
            if (b.mails == 0) {
                ++empty;
                EXPECT_EQ(r.code, 9);
                continue;
            }
            EXPECT_EQ(r.code, 0) << b.name.key;
            EXPECT_EQ(r.count, static_cast<int32_t>(b.mails));
            size_t blocks = 0;
            for (size_t at = r.out.find("<Start>\r\n"); at != std::string::npos; at = r.out.find("<Start>\r\n", at + 1))
                ++blocks;
            EXPECT_EQ(blocks, b.mails) << b.name.key;
        }
        EXPECT_GE(empty, 1u);
    }
}

// Records whose offsets or length point outside the mail file are damaged records: no allocation from
// the bad numbers, no bytes that were never read, earlier blocks kept.
TEST(KamoMailEdit, OffsetsOutsideTheMailFileStopTheConversion) {
    std::vector<ppw::Mail> mails = {Ascii("one", "first body"), Ascii("two", "second body"), Ascii("three", "x")};
    auto box = ppw::BuildMailbox(mails);
    const uint32_t mailSize = static_cast<uint32_t>(box.mail.size());
    struct Case {
        const char* what;
        std::optional<uint32_t> a, b, c;
    };
    const Case cases[] = {
        {"body offset before header offset", 60, 50, std::nullopt},
        {"body runs past the end", std::nullopt, std::nullopt, 1000},
        {"body length of gigabytes", std::nullopt, std::nullopt, 0xFFFFFFF0u},
        {"body offset past the end", std::nullopt, mailSize + 1, 0},
        {"header offset past the end", 0xFFFFFFFFu, 0xFFFFFFFFu, 1},
        {"offset and length wrap around", std::nullopt, 0xFFFFFFFFu, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto damaged = mails;
        damaged[1].damage.headerOffset = c.a;
        damaged[1].damage.bodyOffset = c.b;
        damaged[1].damage.bodyLength = c.c;
        ScratchDir dir;
        auto bytes = ppw::BuildMailbox(damaged);
        auto r = Edit(dir, bytes.list, bytes.mail);
        EXPECT_EQ(r.ret, 0);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.count, 3);
        EXPECT_EQ(r.out, Blocks(mails, 1));
    }
    // A body that ends exactly at the end of the file is whole and fine.
    auto last = mails;
    last[2].damage.bodyOffset = mailSize - 1;
    last[2].damage.bodyLength = 1;
    ScratchDir dir;
    auto bytes = ppw::BuildMailbox(last);
    auto r = Edit(dir, bytes.list, bytes.mail);
    EXPECT_EQ(r.out, Blocks(mails, 3));
}

TEST(KamoMailEdit, LinesLongerThanTheLineBufferAreWrittenWhole) {
    std::string longSubject;
    while (longSubject.size() < 20000)
        longSubject += "ポ|鋼 long subject, ";
    ppw::Mail m = Ascii("", "b");
    m.subject = longSubject;
    m.from = std::string(9000, 'f') + "@example.jp";
    ScratchDir dir;
    auto box = ppw::BuildMailbox({m, Ascii("next", "n")});
    auto r = Edit(dir, box.list, box.mail);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, ExpectedBlock(m) + ExpectedBlock(Ascii("next", "n")));
}

TEST(KamoMailEdit, EveryCallRewritesTheOutput) {
    ScratchDir dir;
    auto big = ppw::BuildMailbox({Ascii("a", std::string(5000, 'x')), Ascii("b", "y")});
    auto small = ppw::BuildMailbox({Ascii("c", "z")});
    Edit(dir, big.list, big.mail);
    auto r = Edit(dir, small.list, small.mail);
    EXPECT_EQ(r.out, ExpectedBlock(Ascii("c", "z")));
}

// A mail file far larger than the library's read window: bodies straddle window ends, one body is larger
// than the window, and a record points back at an earlier mail's body.
TEST(KamoMailEdit, LargeMailFilesAndBodiesOutOfOrder) {
    ppw::MailGenerator gen(11);
    std::vector<ppw::Mail> mails;
    for (int i = 0; i < 2500; ++i)
        mails.push_back(gen.Next());
    ppw::Mail huge = Ascii("huge", "");
    for (int i = 0; huge.body.size() < 1536 * 1024; ++i)
        huge.body += "line " + std::to_string(i) + " of a long mail\n";
    mails.insert(mails.begin() + 1200, huge);
    mails.push_back(huge);

    auto prefix = ppw::BuildMailbox({mails.begin(), mails.begin() + 10});
    ppw::Mail back = Ascii("back", "");
    const ppw::Mail& target = mails[9];
    const std::string targetBody = ppw::FieldBytes(target, target.body);
    back.damage.bodyOffset = static_cast<uint32_t>(prefix.mail.size() - targetBody.size());
    back.damage.bodyLength = static_cast<uint32_t>(targetBody.size());
    back.damage.headerOffset = 0; // the header region must still lie in front of the body
    mails.push_back(back);

    ScratchDir dir;
    auto box = ppw::BuildMailbox(mails);
    ASSERT_GT(box.mail.size(), 4u * 1024 * 1024);
    auto r = Edit(dir, box.list, box.mail);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.count, static_cast<int32_t>(mails.size()));
    ppw::Mail backExpected = back;
    backExpected.raw = true;
    backExpected.body = targetBody;
    backExpected.from = ppw::FieldBytes(back, back.from);
    const std::string expected = Blocks(mails, mails.size() - 1) + ExpectedBlock(backExpected);
    size_t diff = 0;
    while (diff < r.out.size() && diff < expected.size() && r.out[diff] == expected[diff])
        ++diff;
    EXPECT_EQ(diff, expected.size()) << "output differs from byte " << diff << ": "
                                     << r.out.substr(diff > 80 ? diff - 80 : 0, 160);
    EXPECT_EQ(r.out.size(), expected.size());
}
