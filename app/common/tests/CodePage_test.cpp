#include <gtest/gtest.h>

#include "common/CodePage.h"

#include <thread>
#include <vector>

using namespace kamo;

TEST(CodePage, Cp932OnlyCharactersRoundTrip) {
    // ① ㈱ 髙 ～ exist in CP932 but not in plain Shift_JIS.
    const std::string utf8 = "①㈱髙～ポ";
    const std::string cp = Utf8ToCp932(utf8);
    EXPECT_EQ(cp, std::string("\x87\x40\x87\x8a\xfb\xfc\x81\x60\x83\x7c"));
    EXPECT_EQ(Cp932ToUtf8(cp), utf8);
}

TEST(CodePage, ByteLengthCountsDoubleByteCharactersTwice) {
    EXPECT_EQ(Cp932Length("abc"), 3u);
    EXPECT_EQ(Cp932Length("受　差出人"), 10u);
    EXPECT_EQ(Cp932Length("ｱｲ"), 2u); // half-width katakana is one byte each
}

TEST(CodePage, BrokenBytesNeverThrowAndKeepTheRest) {
    const std::string text = Cp932ToUtf8(std::string("ok\x83", 3));
    EXPECT_EQ(text.substr(0, 2), "ok");
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_FALSE(IsValidUtf8("\xff\xfe"));
}

TEST(CodePage, BytesThatAreNoCp932CharacterBecomeTheReplacementCharacter) {
    // In a fresh thread, before anything went the other way, and after: the same exact output.
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"a\x80z", "a" + fffd + "z"},
        {"\xA0", fffd},
        {"\xFD\xFE\xFF", fffd + fffd + fffd},
        {"x\x83", "x" + fffd}, // a lead byte cut off at the end
    };
    auto check = [&] {
        for (const auto& c : cases)
            EXPECT_EQ(Cp932ToUtf8(c.in), c.out);
    };
    std::thread(check).join();
    Utf8ToCp932("é");
    check();
}
