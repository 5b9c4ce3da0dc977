#include <gtest/gtest.h>

#include "import/MailAddresses.h"

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
