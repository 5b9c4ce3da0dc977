#include <gtest/gtest.h>

#include "import/MailDates.h"

using namespace kamo;

TEST(MailDates, ReadableAndUnreadableDates) {
    struct Case {
        const char* in;
        const char* ymd;
        const char* hms;
    };
    const Case cases[] = {
        {"Tue, 6 Mar 2001 21:05:09 +0900", "2001/03/06", "21:05:09"},
        {"Tue, 06 Mar 2001 21:05:09 +0900 (JST)", "2001/03/06", "21:05:09"},
        {"6 Mar 01 21:05", "2001/03/06", "21:05:00"},
        {"Sat, 31 Dec 99 23:59:59 JST", "1999/12/31", "23:59:59"},
        {"Thu, 1 feb 2001 7:05:09 -0500", "2001/02/01", "07:05:09"},
        {"Fri Mar  9 10:00:01 2001", "2001/03/09", "10:00:01"},
        {"1 January 2002 00:00:00 GMT", "2002/01/01", "00:00:00"},
        {"2001/03/06 21:05:09", "2001/03/06", "21:05:09"},
        {"6 Mar 101 21:05:09", "2001/03/06", "21:05:09"},
        {"6 Mar 2001", "2001/03/06", "00:00:00"},
    };
    for (const auto& c : cases) {
        const MailDate d = ParseMailDate(c.in);
        EXPECT_TRUE(d.readable) << c.in;
        EXPECT_EQ(d.ymd, c.ymd) << c.in;
        EXPECT_EQ(d.hms, c.hms) << c.in;
    }
    for (const char* bad : {"", "yesterday", "32 Mar 2001 10:00", "6 Foo 2001 10:00", "Mar 2001", "\xff\xfe"}) {
        const MailDate d = ParseMailDate(bad);
        EXPECT_FALSE(d.readable) << bad;
        EXPECT_EQ(d.ymd, kUnknownYmd);
        EXPECT_EQ(d.hms, kUnknownHms);
    }
}
