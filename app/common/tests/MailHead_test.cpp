#include <gtest/gtest.h>

#include "common/MailHead.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

using K = HeadKind;

// A sender or receiver with a name, without one (the placeholder, empty, blank) and without an address.
TEST(MailHead, APartyReadsAsThePlaceAsksWithOrWithoutNameAndAddress) {
    struct Case {
        std::string name, address;
        const char *window, *page, *stored;
    };
    const Case cases[] = {
        {"太郎", "taro@example.jp", "太郎 <taro@example.jp>", "太郎 <taro@example.jp>", "太郎"},
        {"太郎", "", "太郎", "太郎", "太郎"},
        {kNoName, "nobody@example.jp", "nobody@example.jp", "nobody@example.jp", kNoName},
        {kNoName, "", "（名前なし）", "（なし）", kNoName},
        {"", "x@example.jp", "x@example.jp", "x@example.jp", ""},
        {"", "", "（名前なし）", "（なし）", ""},
        {" \t", "x@example.jp", "x@example.jp", " \t <x@example.jp>", " \t"},
        {" ", "", "（名前なし）", " ", " "},
        {" 花子 ", "h@example.jp", " 花子  <h@example.jp>", " 花子  <h@example.jp>", " 花子 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("[" + c.name + "] [" + c.address + "]");
        EXPECT_EQ(PartyText(c.name, c.address, PartyForm::Window), c.window);
        EXPECT_EQ(PartyText(c.name, c.address, PartyForm::Page), c.page);
        EXPECT_EQ(PartyText(c.name, c.address, PartyForm::StoredName), c.stored);
    }
}

MailRecord Mail(bool sent, const std::string& subject) {
    // Sent mail goes to a receiver known by the placeholder alone.
    return test::MailBuilder()
        .Date("2002/03/01", "09:00:00")
        .Sent(sent)
        .With(sent ? kNoName : "太郎", sent ? "" : "taro@example.jp")
        .Subject(subject)
        .Build();
}

// Each place's fields, in its order, with its labels; received and sent mail, a subject and none.
TEST(MailHead, EachPlaceHasItsOwnFieldsOrderAndLabels) {
    struct Case {
        HeadForm form;
        bool sent;
        std::string subject;
        std::vector<HeadField> fields;
    };
    const std::string kTaro = "太郎 <taro@example.jp>", kKamo = "かも <kamo@example.jp>";
    const std::string kDate = "2002/03/01 09:00:00";
    const Case cases[] = {
        {HeadForm::Window,
         false,
         "おはよう",
         {{K::Sender, "送信者", kTaro},
          {K::Subject, "件　名", "おはよう"},
          {K::Receiver, "受信者", kKamo},
          {K::Date, "日　時", kDate}}},
        {HeadForm::Window,
         true,
         "",
         {{K::Sender, "送信者", kKamo},
          {K::Subject, "件　名", ""},
          {K::Receiver, "受信者", "（名前なし）"},
          {K::Date, "日　時", kDate}}},
        {HeadForm::Conversation,
         false,
         "おはよう",
         {{K::Sender, "", "太郎"}, {K::Date, "", kDate}, {K::Subject, "", "おはよう"}}},
        {HeadForm::Conversation,
         true,
         "",
         {{K::Sender, "", "かも"}, {K::Receiver, "", kNoName}, {K::Date, "", kDate}, {K::Subject, "", ""}}},
        {HeadForm::Print,
         false,
         "おはよう",
         {{K::Subject, "", "おはよう"},
          {K::Date, "日付", kDate},
          {K::Sender, "差出人", kTaro},
          {K::Receiver, "宛先", kKamo}}},
        {HeadForm::Print,
         true,
         "",
         {{K::Subject, "", "（件名なし）"},
          {K::Date, "日付", kDate},
          {K::Sender, "差出人", kKamo},
          {K::Receiver, "宛先", "（なし）"}}},
        {HeadForm::HtmlPage,
         false,
         "おはよう",
         {{K::Subject, "", "おはよう"},
          {K::Date, "日付", kDate},
          {K::Sender, "差出人", kTaro},
          {K::Receiver, "宛先", kKamo},
          {K::Direction, "種類", "受信メール"}}},
        {HeadForm::HtmlPage,
         true,
         "",
         {{K::Subject, "", "（件名なし）"},
          {K::Date, "日付", kDate},
          {K::Sender, "差出人", kKamo},
          {K::Receiver, "宛先", "（なし）"},
          {K::Direction, "種類", "送信メール"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.form)) + (c.sent ? " sent" : " received"));
        const std::vector<HeadField> fields = MailHead(Mail(c.sent, c.subject), c.form);
        ASSERT_EQ(fields.size(), c.fields.size());
        for (size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(fields[i].kind, c.fields[i].kind) << i;
            EXPECT_EQ(fields[i].label, c.fields[i].label) << i;
            EXPECT_EQ(fields[i].value, c.fields[i].value) << i;
        }
    }
}

// A mail without a date or time keeps the space between them, as every place has shown it.
TEST(MailHead, AMissingDateOrTimeLeavesItsPlaceEmpty) {
    MailRecord m = Mail(false, "x");
    m.ymd.clear();
    EXPECT_EQ(MailHead(m, HeadForm::Print)[1].value, " 09:00:00");
    m.hms.clear();
    EXPECT_EQ(MailHead(m, HeadForm::Window)[3].value, " ");
}

} // namespace
