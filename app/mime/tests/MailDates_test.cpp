#include <gtest/gtest.h>

#include "mime/MailDates.h"

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

TEST(MailDates, OtherFormsKeepTheClockTimeAsWritten) {
    struct Case {
        const char* in;
        const char* ymd;
        const char* hms;
    };
    const Case cases[] = {
        {"Tue, 6 Mar 2001 13.47.26 +0900", "2001/03/06", "13:47:26"},             // dotted time
        {"Wed, 7 Mar 2001 9.05 JST", "2001/03/07", "09:05:00"},                   // dotted, no seconds
        {"Thu, 8 Mar 2001 14:58:26+0800", "2001/03/08", "14:58:26"},              // zone glued on
        {"Thu, 8 Mar 2001 14:58:26-05:00", "2001/03/08", "14:58:26"},             //
        {"Thu, 8 Mar 2001 14:58:26GMT", "2001/03/08", "14:58:26"},                //
        {"Friday, 19-Nov-82 16:14:55 EST", "1982/11/19", "16:14:55"},             // obsolete form
        {"Mon, 01-Jan-2001 00:00:01 GMT", "2001/01/01", "00:00:01"},              //
        {"9 Mar 2001 10:00:01 JST", "2001/03/09", "10:00:01"},                    // no day name, zone name
        {"  Fri ,  9   Mar   2001   10:00:01   EST  ", "2001/03/09", "10:00:01"}, // extra blanks
        {"Fri,9 Mar 2001 10:00:01 +0900", "2001/03/09", "10:00:01"},              //
        {"Tue, 29 Feb 2000 23:59:60 +0900", "2000/02/29", "23:59:60"},            // leap day, leap second
        {"2001-03-06T21:05:09+09:00", "2001/03/06", "21:05:09"},                  // ISO 8601
        {"Tue, 6 Mar 2001 21:05:09.25 +0900", "2001/03/06", "21:05:09"},          // fractions of a second
        {"2001.03.06 21:05:09", "2001/03/06", "21:05:09"},                        // dotted date
    };
    for (const auto& c : cases) {
        const MailDate d = ParseMailDate(c.in);
        EXPECT_TRUE(d.readable) << c.in;
        EXPECT_EQ(d.ymd, c.ymd) << c.in;
        EXPECT_EQ(d.hms, c.hms) << c.in;
    }
}

TEST(MailDates, ADayThatDoesNotExistOrATimeThatCannotBeReadGivesTheMarker) {
    for (const char* bad : {
             "Sat, 31 Feb 2001 10:00:00 +0900", // no such day
             "Thu, 29 Feb 2001 10:00:00 +0900", // not a leap year
             "Mon, 31 Apr 2001 10:00:00 +0900", //
             "1900/02/29 10:00:00",             // 1900 was no leap year
             "Tue, 6 Mar 2001 25:10:00 +0900",  // no such hour
             "Tue, 6 Mar 2001 21:61 +0900",     // no such minute
             "Tue, 6 Mar 2001 21:05:09:01",     // four groups
             "Tue, 6 Mar 2001 21:0x:09",        //
             "Tue, 6 Mar 2001 13.47.xx",        //
             "Tue, 6 Mar 2001 14:58:26+08x0",   // glued text that is no zone
         }) {
        const MailDate d = ParseMailDate(bad);
        EXPECT_FALSE(d.readable) << bad;
        EXPECT_EQ(d.ymd, kUnknownYmd) << bad;
        EXPECT_EQ(d.hms, kUnknownHms) << bad;
    }
}

// Every two-digit year, so that the cut-off is seen on both sides wherever it lies: 00..49 are
// 2000..2049, 50..99 are 1950..1999 (49/50 and 69/70 among them).
TEST(MailDates, TwoDigitYearsTurnAt50) {
    for (int v = 0; v < 100; ++v) {
        const std::string yy = (v < 10 ? "0" : "") + std::to_string(v);
        const MailDate d = ParseMailDate("Tue, 6 Mar " + yy + " 21:05:09 +0900");
        EXPECT_TRUE(d.readable) << yy;
        EXPECT_EQ(d.ymd, std::to_string(v < 50 ? 2000 + v : 1900 + v) + "/03/06") << yy;
    }
}

TEST(MailDates, TheZoneIsReadBesideTheClockTime) {
    struct Case {
        const char* in;
        std::optional<int> zone; // minutes east of UTC
    };
    const Case cases[] = {
        {"Tue, 03 Apr 2001 04:40:20 -0500", -300},
        {"Tue, 6 Mar 2001 21:05:09 +0900 (JST)", 540},
        {"Thu, 8 Mar 2001 14:58:26+0800", 480}, // glued to the time
        {"2001-03-06T21:05:09+05:30", 330},     // ISO 8601
        {"Tue, 6 Mar 2001 21:05:09 -0330", -210},
        {"Sat, 31 Dec 99 23:59:59 JST", 540}, // by name
        {"Friday, 19-Nov-82 16:14:55 EST", -300},
        {"1 January 2002 00:00:00 GMT", 0},
        {"Fri Mar  9 10:00:01 2001", std::nullopt}, // asctime names none
        {"2001/03/06 21:05:09", std::nullopt},
        {"Tue, 6 Mar 2001 21:05:09 XYZ", std::nullopt}, // a name nobody knows
        {"Tue, 6 Mar 2001 21:05:09 +2500", std::nullopt},
        {"Tue, 6 Mar 2001 21:05:09 +0900 -0500", 540}, // the first one counts
    };
    for (const auto& c : cases) {
        const MailDate date = ParseMailDate(c.in);
        EXPECT_TRUE(date.readable) << c.in;
        EXPECT_EQ(date.zoneMinutes, c.zone) << c.in;
    }
    EXPECT_FALSE(ParseMailDate("31 Feb 2001 10:00:00 +0900").zoneMinutes); // no date, no zone
}
