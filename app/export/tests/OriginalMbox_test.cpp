// The mbox export of mail with and without kept originals, mail by mail in the export's order: with
// --original each original exactly as mbox holds it after its separator (whose time carries the
// original's zone); a mail without a readable original exactly as the export without --original
// writes it; and every separator the same in both exports. Damaged originals come first, so every
// original after them is unpacked after a failed one.
#include <gtest/gtest.h>

#include <SQLiteCpp/Transaction.h>

#include "db/MailOriginals.h"
#include "db/tests/ArchiveFiles.h"
#include "export/MailExport.h"
#include "export/MailMessage.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;

namespace {

enum class Kept { Original, None, CutShort, TooLarge };

struct Case {
    const char* label;
    MailRecord row;
    Kept kept;
    MailOriginal original; // Kept::Original, and the bytes the damaged ones are made from
    int zoneMinutes;       // of the separator's time, in both exports
    std::string inMbox;    // Kept::Original: the message as the mbox holds it after its separator
};

MailRecord Row(const char* ymd, const char* hms, std::string body) {
    return test::MailBuilder()
        .Date(ymd, hms)
        .From("花子", "hanako@example.jp")
        .To("かも", "kamo@example.jp")
        .Subject("件名")
        .Body(std::move(body))
        .Build();
}

MailOriginal Original(std::string date, std::string header, std::string body) {
    MailOriginal o;
    o.from = "hanako@example.jp";
    o.to = "kamo@example.jp";
    o.date = std::move(date);
    o.header = std::move(header);
    o.body = std::move(body);
    return o;
}

const std::string kHeader = "From: hanako@example.jp\r\nTo: kamo@example.jp\r\n\r\n";
const MailOriginal kPlain = Original("Tue, 3 Apr 2001 09:00:00 +0900", kHeader, "text\r\n");

// In the export's order (oldest first).
std::vector<Case> Cases() {
    return {
        {"an original cut short", Row("2001/04/01", "09:00:00", "cut\r\n"), Kept::CutShort, kPlain, kJapanZoneMinutes,
         ""},
        {"an original declaring more than any mail holds", Row("2001/04/02", "09:00:00", "large\r\n"), Kept::TooLarge,
         kPlain, kJapanZoneMinutes, ""},
        {"the zone of the list record's Date, From lines quoted", Row("2001/04/03", "04:40:20", "row\r\n"),
         Kept::Original,
         Original("Tue, 03 Apr 2001 04:40:20 -0500", kHeader, "Hello\r\nFrom the road\r\n>From afar\r\n"), -300,
         kHeader + "Hello\r\n>From the road\r\n>>From afar\r\n"},
        {"the zone of the header's Date alone", Row("2001/04/05", "10:00:00", "row\r\n"), Kept::Original,
         Original("2001/04/05 10:00:00", "Date: Thu, 5 Apr 2001 10:00:00 +0100\r\n\r\n", "x\r\n"), 60,
         "Date: Thu, 5 Apr 2001 10:00:00 +0100\r\n\r\nx\r\n"},
        {"a Date of another clock: Japan's zone", Row("2001/04/06", "10:00:00", "row\r\n"), Kept::Original,
         Original("Fri, 6 Apr 2001 11:00:00 -0800", kHeader, "y\r\n"), kJapanZoneMinutes, kHeader + "y\r\n"},
        {"an original with an empty body", Row("2001/04/07", "10:00:00", "row\r\n"), Kept::Original,
         Original("", kHeader, ""), kJapanZoneMinutes, kHeader},
        {"an original that ends without a line break", Row("2001/04/08", "10:00:00", "row\r\n"), Kept::Original,
         Original("", "Subject: s\r\n\r\n", "no break"), kJapanZoneMinutes, "Subject: s\r\n\r\nno break\n"},
        {"an empty original", Row("2001/04/09", "10:00:00", "row\r\n"), Kept::Original, MailOriginal{},
         kJapanZoneMinutes, ""},
        {"no original kept", Row("2001/04/10", "10:00:00", "none\r\n"), Kept::None, {}, kJapanZoneMinutes, ""},
        {"no original kept and an empty body",
         Row("2001/04/11", "10:00:00", ""),
         Kept::None,
         {},
         kJapanZoneMinutes,
         ""},
    };
}

// The mbox's messages, each from its "From " separator up to the next one.
std::vector<std::string> MboxEntries(const std::string& mbox) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < mbox.size()) {
        const size_t next = mbox.find("\nFrom ", start);
        const size_t end = next == std::string::npos ? mbox.size() : next + 1;
        entries.push_back(mbox.substr(start, end - start));
        start = end;
    }
    return entries;
}

class OriginalMboxTest : public ::testing::Test {
protected:
    void SetUp() override {
        SQLite::Transaction tx(*db);
        OriginalWriter originals(*db);
        for (const auto& c : cases) {
            test::InsertTestMail(*db, c.row);
            const std::string packed = PackOriginal(c.original);
            if (c.kept == Kept::Original)
                originals.PutPacked(KeyOf(c.row), packed, "受信フォルダ", kDecodingVersion);
            else if (c.kept != Kept::None)
                originals.PutPacked(KeyOf(c.row),
                                    c.kept == Kept::CutShort ? packed.substr(0, packed.size() / 2)
                                                             : test::HugePackedOriginal(uint64_t{3} << 30),
                                    "受信フォルダ", kDecodingVersion);
        }
        tx.commit();
    }

    std::vector<std::string> Export(bool original, ExportResult& result) {
        NullWaitReporter quiet;
        ExportOptions options;
        options.original = original;
        const fs::path target = dir / (original ? "original.mbox" : "made.mbox");
        result = ExportMails(*db, MailSelection::All(), MailFormat::Mbox, target, quiet, options);
        return MboxEntries(test::ReadFile(target));
    }

    test::TempDir dir;
    std::unique_ptr<SQLite::Database> db = test::MemoryArchive();
    const std::vector<Case> cases = Cases();
};

} // namespace

TEST_F(OriginalMboxTest, EachMailAsItsOriginalOrAsTheExportWithoutOriginalsWritesIt) {
    ExportResult made, original;
    const std::vector<std::string> madeEntries = Export(false, made);
    const std::vector<std::string> originalEntries = Export(true, original);
    ASSERT_EQ(madeEntries.size(), cases.size());
    ASSERT_EQ(originalEntries.size(), cases.size());
    int64_t fromRows = 0, unreadable = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.label);
        const std::string separator = MboxFromLine(c.row, c.zoneMinutes) + "\n";
        EXPECT_EQ(madeEntries[i].substr(0, separator.size()), separator);
        if (c.kept == Kept::Original) {
            EXPECT_EQ(originalEntries[i], separator + c.inMbox + "\n");
        } else {
            EXPECT_EQ(originalEntries[i], madeEntries[i]);
            ++fromRows;
            unreadable += c.kept == Kept::None ? 0 : 1;
        }
    }
    EXPECT_EQ(original.withoutOriginal, fromRows);
    EXPECT_EQ(original.unreadableOriginals, unreadable);
    EXPECT_EQ(made.unreadableOriginals, unreadable);
    EXPECT_EQ(made.written, static_cast<int64_t>(cases.size()));
    EXPECT_EQ(original.written, static_cast<int64_t>(cases.size()));
}
