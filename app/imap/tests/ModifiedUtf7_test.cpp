// Folder names on the wire: known encodings, round trips of the archive's names, and the wire forms
// no encoder writes, which must not decode to a name.
#include <gtest/gtest.h>

#include "imap/ModifiedUtf7.h"

namespace kamo {
namespace {

TEST(ModifiedUtf7, WritesTheKnownEncodingsAndReadsThemBack) {
    struct Case {
        std::string name;
        std::string wire;
    };
    const std::vector<Case> cases{
        // RFC 3501's own examples.
        {"~peter/mail/\u53f0\u5317/\u65e5\u672c\u8a9e", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"\u65e5\u672c\u8a9e", "&ZeVnLIqe-"},
        // "&" alone is "&-", also beside a shifted run and at the ends.
        {"&", "&-"},
        {"A&B", "A&-B"},
        {"&\u53f0&", "&-&U,A-&-"},
        // Printable ASCII stands for itself; a blank too.
        {"INBOX", "INBOX"},
        {"Sent Mail ~!-_,+", "Sent Mail ~!-_,+"},
        {"", ""},
        // One, two and three UTF-16 units: every count of padding bits (2, 4, 0).
        {"\u00e9", "&AOk-"},
        {"\u00e9\u00e9", "&AOkA6Q-"},
        {"\u00e9\u00e9\u00e9", "&AOkA6QDp-"},
        // A character outside the BMP: a surrogate pair; and a control character, shifted.
        {"\U0001F431", "&2D3cMQ-"},
        {"a\tb", "a&AAk-b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeMailboxName(c.name), c.wire) << c.name;
        EXPECT_EQ(DecodeMailboxName(c.wire), c.name) << c.wire;
    }
}

TEST(ModifiedUtf7, PostPetMailboxNamesSurviveTheRoundTrip) {
    const std::vector<std::string> names{
        "\u53d7\u4fe1\u7bb1",                                  // 受信箱
        "\u9001\u4fe1\u6e08\u307f",                            // 送信済み
        "\u30e2\u30e2\u306e\u30e1\u30fc\u30eb & \u304b\u3082", // モモのメール & かも, ASCII between runs
        "2001\u5e74/\uff11\u6708",                             // levels, a full-width digit
        "\uff8a\uff9d\uff76\uff78",                            // half-width katakana
        "\u9ad9\u3001\u2460\u2161",                            // CP932's extra characters
        "a&b&&c",
    };
    for (const auto& name : names) {
        const auto wire = EncodeMailboxName(name);
        ASSERT_TRUE(wire.has_value()) << name;
        for (const unsigned char c : *wire)
            EXPECT_TRUE(c >= 0x20 && c <= 0x7e) << name << " -> " << *wire;
        EXPECT_EQ(DecodeMailboxName(*wire), name) << *wire;
    }
}

TEST(ModifiedUtf7, RefusesWhatNoEncoderWrites) {
    const std::vector<std::string> wires{
        "&ZeVnLIqe",   // a run not closed
        "&",           // the same, empty
        "&Ze.nLIqe-",  // a letter outside the alphabet
        "&ZeVnLIqe/-", // "/" of plain base64
        "&ZeV-",       // bits left that make no whole unit
        "&AOl-",       // padding bits not zero
        "&AEE-",       // "A" encoded
        "&2D0-",       // a lone high surrogate
        "&3DE-",       // a lone low surrogate
        "&AOk-&AOk-",  // two runs side by side
        "caf\xc3\xa9", // raw 8-bit bytes
        "a\tb",        // a control character not shifted
        std::string("a\0b", 3),
    };
    for (const auto& wire : wires)
        EXPECT_EQ(DecodeMailboxName(wire), std::nullopt) << wire;
    // A name that is not UTF-8 has no wire form.
    EXPECT_EQ(EncodeMailboxName("\x82\xa0"), std::nullopt);
    EXPECT_EQ(EncodeMailboxName("\xed\xa0\x80"), std::nullopt); // an encoded surrogate
}

} // namespace
} // namespace kamo
