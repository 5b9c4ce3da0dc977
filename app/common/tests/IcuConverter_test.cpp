#include <gtest/gtest.h>

#include <memory>
#include <unicode/uset.h>

#include "common/IcuConverter.h"

using namespace kamo;

namespace {

TEST(IcuConverter, ConvertsBothWaysInTheNamedSet) {
    struct Case {
        const char* set;
        std::string utf8;
        std::string bytes;
    };
    const Case cases[] = {
        {"windows-31j", "①㈱髙～ポa",
         "\x87\x40\x87\x8a\xfb\xfc\x81\x60\x83\x7c"
         "a"},
        {"ISO-2022-JP", "日本", "\x1b$BF|K\\\x1b(B"},
        {"UTF-16BE", "aポ", std::string("\0a\x30\xdd", 4)},
        {"windows-31j", "", ""},
    };
    for (const auto& c : cases) {
        IcuConverter conv(c.set);
        ASSERT_TRUE(conv.IsOpen()) << c.set;
        EXPECT_EQ(conv.FromUtf8(c.utf8), c.bytes) << c.set;
        EXPECT_EQ(conv.ToUtf8(c.bytes), c.utf8) << c.set;
    }
}

TEST(IcuConverter, AnUnknownSetConvertsNothing) {
    IcuConverter conv("x-no-such-set");
    EXPECT_FALSE(conv.IsOpen());
    EXPECT_EQ(conv.ToUtf8("abc"), std::nullopt);
    EXPECT_EQ(conv.FromUtf8("abc"), std::nullopt);
}

// Four bytes for every input byte: more than the first guess of the output size.
TEST(IcuConverter, OutputLargerThanTheFirstGuessComesOutWhole) {
    IcuConverter conv("UTF-32BE");
    const std::string ascii(5000, 'k');
    const auto wide = conv.FromUtf8(ascii);
    ASSERT_TRUE(wide);
    ASSERT_EQ(wide->size(), 20000u);
    EXPECT_EQ(wide->substr(19996), std::string("\0\0\0k", 4));
    EXPECT_EQ(conv.ToUtf8(*wide), ascii);
}

TEST(IcuConverter, MissingCharactersGetTheChosenSubstitute) {
    IcuConverter conv("windows-31j");
    // A single bad byte: ICU's one-byte substitute U+001A until a substitute is chosen, then U+FFFD.
    EXPECT_EQ(conv.ToUtf8("a\x80"), "a\x1A");
    conv.SetSubstitute("?");
    EXPECT_EQ(conv.FromUtf8("a😀é"), "a??");
    EXPECT_EQ(conv.ToUtf8("a\x80"), "a\xEF\xBF\xBD");
    // Each conversion starts afresh: a cut character does not spill into the next text.
    EXPECT_EQ(conv.ToUtf8("\x83"), "\xEF\xBF\xBD");
    EXPECT_EQ(conv.ToUtf8("\x7c"), "|");
}

TEST(IcuConverter, RoundTripSetHoldsTheSetsCharactersOnly) {
    std::unique_ptr<USet, decltype(&uset_close)> set(uset_openEmpty(), &uset_close);
    ASSERT_TRUE(IcuConverter("windows-31j").AddRoundTripSet(set.get()));
    EXPECT_TRUE(uset_contains(set.get(), 0x2460));  // ①
    EXPECT_TRUE(uset_contains(set.get(), 0x30DD));  // ポ
    EXPECT_FALSE(uset_contains(set.get(), 0x00E9)); // é
    EXPECT_FALSE(IcuConverter("x-no-such-set").AddRoundTripSet(set.get()));
}

} // namespace
