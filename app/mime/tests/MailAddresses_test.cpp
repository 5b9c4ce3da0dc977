#include <gtest/gtest.h>

#include <vector>

#include "mime/EarlierReading.h"
#include "mime/MailAddresses.h"

using namespace kamo;

TEST(MailAddresses, AddressAndNameSplit) {
    struct Case {
        const char* in;
        const char* address;
        const char* name;
    };
    const Case cases[] = {
        {"Taro Yamada <taro@example.jp>", "taro@example.jp", "Taro Yamada"},
        {"\"Yamada, Taro\" <taro@example.jp>", "taro@example.jp", "Yamada, Taro"},
        {"<taro@example.jp>", "taro@example.jp", kNoName},
        {"taro@example.jp (山田 太郎)", "taro@example.jp", "山田 太郎"},
        {"taro@example.jp", "taro@example.jp", kNoName},
        {"  taro@example.jp  ", "taro@example.jp", kNoName},
        {"山田 taro@example.jp", "taro@example.jp", "山田"},
        {"=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= <nihon@example.jp>", "nihon@example.jp", "日本"},
        {"\"=?UTF-8?B?4pGg6auZ?=\" <x@example.jp>", "x@example.jp", "①髙"},
        {"a@example.jp, b@example.jp", "a@example.jp", kNoName},
        {"'Hanako' <h@example.jp>", "h@example.jp", "Hanako"},
        {"モモ", "モモ", kNoName},
        {"", "", kNoName},
        {"Name <unclosed@example.jp", "unclosed@example.jp", "Name"},
    };
    for (const auto& c : cases) {
        const AddressName split = SplitAddress(c.in);
        EXPECT_EQ(split.address, c.address) << c.in;
        EXPECT_EQ(split.name, c.name) << c.in;
    }
}

// One rule splits the lists and finds the first mailbox of From and To: commas outside quotes,
// comments and angle brackets, a comma before the mailbox's "@" part of an unquoted name, groups
// opened up.
TEST(MailAddresses, OneRuleSplitsListsAndFindsTheFirstMailbox) {
    struct Case {
        const char* in;
        std::vector<MailParty> list;
        const char* firstAddress;
        const char* firstName;
    };
    const Case cases[] = {
        {"Yamada, Hanako <h@example.jp>, b@example.jp",
         {{"Yamada, Hanako", "h@example.jp"}, {"", "b@example.jp"}},
         "h@example.jp",
         "Yamada, Hanako"},
        {"\"a@b, c\" <q@example.jp>, (x, y) r@example.jp",
         {{"a@b, c", "q@example.jp"}, {"x, y", "r@example.jp"}},
         "q@example.jp",
         "a@b, c"},
        {"Friends: a@example.jp, b@example.jp;, c@example.jp",
         {{"", "a@example.jp"}, {"", "b@example.jp"}, {"", "c@example.jp"}},
         "a@example.jp",
         kNoName},
        {"a@example.jp; b@example.jp", {{"", "a@example.jp"}, {"", "b@example.jp"}}, "a@example.jp", kNoName},
        {"undisclosed-recipients:;", {}, "undisclosed-recipients:;", kNoName},
        {"<a@example.jp>, , <b@example.jp>,", {{"", "a@example.jp"}, {"", "b@example.jp"}}, "a@example.jp", kNoName},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitAddressList(c.in), c.list) << c.in;
        const AddressName first = SplitAddress(c.in);
        EXPECT_EQ(first.address, c.firstAddress) << c.in;
        EXPECT_EQ(first.name, c.firstName) << c.in;
    }
}

// Mail stored before the one rule is found again by the reading that stored it.
TEST(MailAddresses, TheEarlierReadingTakesTheFirstMailboxAsItDid) {
    const std::pair<const char*, AddressName> cases[] = {
        {"Friends: a@example.jp, b@example.jp;", {"a@example.jp", "Friends:"}},
        {"a@example.jp; b@example.jp", {"a@example.jp;", "b@example.jp"}},
        {"Yamada, Hanako <h@example.jp>, b@example.jp", {"h@example.jp", "Yamada, Hanako"}},
    };
    EarlierReading earlier;
    for (const auto& [in, expected] : cases) {
        const AddressName split = SplitAddress(in);
        EXPECT_EQ(split.address, expected.address) << in;
        EXPECT_EQ(split.name, expected.name) << in;
    }
}
