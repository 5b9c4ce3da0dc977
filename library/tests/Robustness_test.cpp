// Damaged input: cut files and flipped bytes never crash the library, and what was readable before the
// damage comes out exactly.
#include <gtest/gtest.h>
#include <random>

#include "LibTestSupport.h"

using namespace libtest;

namespace {

std::vector<ppw::Mail> SomeMails(uint64_t seed, int n) {
    ppw::MailGenerator gen(seed);
    std::vector<ppw::Mail> mails;
    for (int i = 0; i < n; ++i)
        mails.push_back(gen.Next());
    return mails;
}

// Where each record ends in the list file.
std::vector<size_t> RecordEnds(const std::vector<ppw::Mail>& mails) {
    std::vector<size_t> ends;
    for (size_t i = 1; i <= mails.size(); ++i)
        ends.push_back(ppw::BuildMailbox({mails.begin(), mails.begin() + static_cast<long>(i)}).list.size());
    return ends;
}

} // namespace

TEST(Robustness, EveryPrefixOfAListFileGivesTheWholeRecordsBeforeTheCut) {
    const auto mails = SomeMails(3, 6);
    const auto box = ppw::BuildMailbox(mails);
    const auto ends = RecordEnds(mails);
    ScratchDir dir;
    WriteBytes(dir / "box.ppm", box.mail);
    for (size_t cut = 0; cut <= box.list.size(); ++cut) {
        WriteBytes(dir / "box.ppl", box.list.substr(0, cut));
        auto r = EditFiles(dir / "box.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
        size_t whole = 0, counted = 0;
        size_t start = 0;
        for (size_t end : ends) {
            if (start + 8 <= cut)
                ++counted; // the counting pass needs the marker and the length only
            if (end <= cut)
                ++whole;
            start = end;
        }
        ASSERT_EQ(r.ret, 0) << "cut " << cut;
        ASSERT_EQ(r.count, static_cast<int32_t>(counted)) << "cut " << cut;
        ASSERT_EQ(r.code, counted ? 0 : 9) << "cut " << cut;
        ASSERT_TRUE(r.out == Blocks(mails, whole)) << "cut " << cut;
    }
}

TEST(Robustness, ACutMailFileStopsAtTheFirstBodyPastItsEnd) {
    const auto mails = SomeMails(4, 5);
    const auto box = ppw::BuildMailbox(mails);
    // Where each mail's body ends in the mail file.
    std::vector<size_t> bodyEnds;
    for (size_t i = 1; i <= mails.size(); ++i)
        bodyEnds.push_back(ppw::BuildMailbox({mails.begin(), mails.begin() + static_cast<long>(i)}).mail.size());
    ScratchDir dir;
    WriteBytes(dir / "box.ppl", box.list);
    for (size_t cut = 0; cut <= box.mail.size(); cut += 7) {
        WriteBytes(dir / "box.ppm", box.mail.substr(0, cut));
        auto r = EditFiles(dir / "box.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
        size_t whole = 0;
        while (whole < bodyEnds.size() && bodyEnds[whole] <= cut)
            ++whole;
        ASSERT_EQ(r.code, 0) << "cut " << cut;
        ASSERT_EQ(r.count, 5);
        ASSERT_TRUE(r.out == Blocks(mails, whole)) << "cut " << cut;
    }
}

TEST(Robustness, FlippedListBytesKeepTheRecordsBeforeThem) {
    const auto mails = SomeMails(5, 8);
    const auto box = ppw::BuildMailbox(mails);
    const auto ends = RecordEnds(mails);
    std::mt19937_64 rng(20010904);
    ScratchDir dir;
    WriteBytes(dir / "box.ppm", box.mail);
    for (int round = 0; round < 400; ++round) {
        std::string list = box.list;
        size_t first = list.size();
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f) {
            const size_t at = rng() % list.size();
            list[at] = static_cast<char>(list[at] ^ static_cast<char>(1 + rng() % 255));
            first = std::min(first, at);
        }
        size_t untouched = 0;
        while (untouched < ends.size() && ends[untouched] <= first)
            ++untouched;
        WriteBytes(dir / "box.ppl", list);
        auto r = EditFiles(dir / "box.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
        ASSERT_EQ(r.ret, 0);
        ASSERT_TRUE(r.code == 0 || r.code == 9) << r.code;
        ASSERT_GE(r.count, static_cast<int32_t>(untouched));
        ASSERT_LE(r.count, static_cast<int32_t>(list.size() / 12 + 1));
        const std::string expected = Blocks(mails, untouched);
        ASSERT_EQ(r.out.substr(0, expected.size()), expected) << "round " << round;
        ASSERT_LE(r.out.size(), static_cast<size_t>(r.count) * (64 + 2 * box.mail.size()) + 2 * list.size());
    }
}

TEST(Robustness, FlippedMailBytesAreCopiedAsTheyAre) {
    const auto mails = SomeMails(6, 6);
    const auto box = ppw::BuildMailbox(mails);
    std::vector<size_t> bodyEnds;
    for (size_t i = 1; i <= mails.size(); ++i)
        bodyEnds.push_back(ppw::BuildMailbox({mails.begin(), mails.begin() + static_cast<long>(i)}).mail.size());
    std::mt19937_64 rng(1999);
    ScratchDir dir;
    WriteBytes(dir / "box.ppl", box.list);
    for (int round = 0; round < 100; ++round) {
        std::string mail = box.mail;
        for (int f = 0; f < 8; ++f) {
            const size_t at = rng() % mail.size();
            mail[at] = static_cast<char>(rng() % 256);
        }
        WriteBytes(dir / "box.ppm", mail);
        auto r = EditFiles(dir / "box.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
        std::string expected;
        for (size_t i = 0; i < mails.size(); ++i) {
            ppw::Mail m = mails[i];
            const size_t length = ppw::FieldBytes(m, m.body).size();
            m.body = mail.substr(bodyEnds[i] - length, length);
            m.raw = true;
            expected += ExpectedBlock(m);
        }
        ASSERT_EQ(r.code, 0);
        ASSERT_TRUE(r.out == expected) << "round " << round;
    }
}

TEST(Robustness, FlippedFriendBytesKeepTheLinesBeforeThem) {
    ppw::MailGenerator gen(8);
    std::vector<ppw::Friend> friends;
    std::vector<size_t> ends;
    for (int i = 0; i < 10; ++i) {
        friends.push_back(gen.NextFriend());
        ends.push_back(ppw::FriendFileBytes(friends).size());
    }
    const std::string file = ppw::FriendFileBytes(friends);
    ScratchDir dir;
    WriteBytes(dir / "Friend.dat", file);
    int32_t count = 0, code = 0;
    KamoFriend_Edit((dir / "Friend.dat").c_str(), (dir / "Friend.Tmp").c_str(), &count, &code);
    const std::string whole = ReadBytes(dir / "Friend.Tmp");
    ASSERT_EQ(count, 10);
    std::vector<size_t> lineEnds;
    for (size_t at = whole.find("\r\n"); at != std::string::npos; at = whole.find("\r\n", at + 2))
        lineEnds.push_back(at + 2);
    ASSERT_EQ(lineEnds.size(), 10u);

    std::mt19937_64 rng(42);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = file;
        size_t first = bytes.size();
        for (int f = 0; f < 3; ++f) {
            const size_t at = rng() % bytes.size();
            bytes[at] = static_cast<char>(bytes[at] ^ static_cast<char>(1 + rng() % 255));
            first = std::min(first, at);
        }
        if (rng() % 3 == 0)
            bytes.resize(rng() % bytes.size());
        first = std::min(first, bytes.size());
        size_t untouched = 0;
        while (untouched < ends.size() && ends[untouched] <= first)
            ++untouched;
        WriteBytes(dir / "Friend.dat", bytes);
        count = code = -100;
        ASSERT_EQ(KamoFriend_Edit((dir / "Friend.dat").c_str(), (dir / "Friend.Tmp").c_str(), &count, &code), 0);
        ASSERT_TRUE(code == 0 || code == 9);
        ASSERT_GE(count, static_cast<int32_t>(untouched));
        ASSERT_LE(count, static_cast<int32_t>(bytes.size() / 11));
        const std::string out = ReadBytes(dir / "Friend.Tmp");
        const size_t keep = untouched ? lineEnds[untouched - 1] : 0;
        ASSERT_EQ(out.substr(0, keep), whole.substr(0, keep)) << "round " << round;
    }
}
