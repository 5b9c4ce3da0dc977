// Search by field, date, attachment, direction and mailbox: the syntax, and every way to the result
// against a plain check of every mail over a generated archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include <SQLiteCpp/Transaction.h>

#include "common/WaitReporter.h"
#include "db/Archive.h"
#include "db/Attachments.h"
#include "db/HeaderFields.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "search/SearchTerms.h"
#include "search/SearchText.h"
#include "search/tests/FoundRows.h"
#include "search/tests/SearchReference.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

using Kind = SearchSyntaxError::Kind;

SearchTerm Term(TermField field, std::string text = {}, bool negated = false) {
    SearchTerm t;
    t.field = field;
    t.text = std::move(text);
    t.negated = negated;
    return t;
}

SearchTerm Dates(std::string from, std::string to, bool negated = false) {
    SearchTerm t = Term(TermField::Date, {}, negated);
    t.dateFrom = std::move(from);
    t.dateTo = std::move(to);
    return t;
}

} // namespace

TEST(ParseSearch, ReadsEveryKindOfTerm) {
    struct Case {
        const char* query;
        std::vector<SearchTerm> terms;
    };
    const Case cases[] = {
        {"元気　ＡＢＣ", {Term(TermField::Any, "元気"), Term(TermField::Any, SearchFold("ABC"))}},
        {"from:花子 TO:Taro subject:旅行 body:写真",
         {Term(TermField::From, "花子"), Term(TermField::To, SearchFold("taro")), Term(TermField::Subject, "旅行"),
          Term(TermField::Body, "写真")}},
        {"\"また 明日\" -\"さようなら\"",
         {Term(TermField::Any, SearchFold("また 明日")), Term(TermField::Any, "さようなら", true)}},
        {"subject:\"Re: 旅行\"", {Term(TermField::Subject, SearchFold("Re: 旅行"))}},
        {"＂re:＂ \"-x\" - -",
         {Term(TermField::Any, SearchFold("re:")), Term(TermField::Any, SearchFold("-x")),
          Term(TermField::Any, SearchFold("-"))}},
        {"date:2002", {Dates("2002", "2002")}},
        {"date:2002-4", {Dates("2002/04", "2002/04")}},
        {"date:2000/02/29", {Dates("2000/02/29", "2000/02/29")}},
        {"date:2002-03..2002-05-31", {Dates("2002/03", "2002/05/31")}},
        {"date:..2002-05 -date:2002-03..", {Dates("", "2002/05"), Dates("2002/03", "", true)}},
        {"date:2002-04-15..2002-04", {Dates("2002/04/15", "2002/04")}},
        {"has:attachment -has:Picture is:sent IS:received",
         {Term(TermField::Attachment), Term(TermField::Picture, {}, true), Term(TermField::Sent),
          Term(TermField::Received)}},
        {"in:受信フォルダ -in:ピンクの引出し",
         {Term(TermField::Mailbox, "受信フォルダ"), Term(TermField::Mailbox, "ピンクの引出し", true)}},
        {"a a A  \"\"", {Term(TermField::Any, SearchFold("a"))}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const ParsedSearch parsed = ParseSearch(c.query);
        EXPECT_FALSE(parsed.error) << c.query;
        EXPECT_EQ(parsed.terms, c.terms) << c.query;
    }
}

TEST(ParseSearch, NamesAMalformedTermInJapanese) {
    struct Case {
        const char* query;
        Kind kind;
        const char* term;
    };
    const Case cases[] = {
        {"元気 Re:旅行", Kind::UnknownPrefix, "Re:旅行"},
        {"http://example.jp", Kind::UnknownPrefix, "http://example.jp"},
        {"-form:花子", Kind::UnknownPrefix, "-form:花子"},
        {"from:", Kind::EmptyValue, "from:"},
        {"date:2002-13", Kind::BadDate, "date:2002-13"},
        {"date:2001-02-29", Kind::BadDate, "date:2001-02-29"},
        {"date:0000", Kind::BadDate, "date:0000"},
        {"date:02", Kind::BadDate, "date:02"},
        {"date:..", Kind::BadDate, "date:.."},
        {"date:2002-01-01-01", Kind::BadDate, "date:2002-01-01-01"},
        {"date:2002..2003..2004", Kind::BadDate, "date:2002..2003..2004"},
        {"date:2002-05..2002-03", Kind::ReversedRange, "date:2002-05..2002-03"},
        {"has:photo", Kind::UnknownHas, "has:photo"},
        {"is:read", Kind::UnknownIs, "is:read"},
        {"subject:\"旅行 の", Kind::OpenQuote, "subject:\"旅行 の"},
    };
    for (const auto& c : cases) {
        const ParsedSearch parsed = ParseSearch(c.query);
        ASSERT_TRUE(parsed.error) << c.query;
        EXPECT_EQ(parsed.error->kind, c.kind) << c.query;
        EXPECT_EQ(parsed.error->term, c.term) << c.query;
        EXPECT_TRUE(parsed.terms.empty()) << c.query;
        const std::string text = SearchErrorText(*parsed.error);
        EXPECT_NE(text.find(std::string("「") + c.term + "」"), std::string::npos) << text;
    }
    auto db = test::MemoryArchive();
    EXPECT_THROW(test::FoundRows(*db, "date:2002-13"), SearchSyntaxException);
}

namespace {

class FieldArchive : public ::testing::Test {
protected:
    // Generated mail; every fifth has attachments (pictures among them), every seventh a Cc, and
    // most have the mailbox they were read from.
    void SetUp() override {
        mails = test::GeneratedMails(1500, 2002);
        std::mt19937_64 rng(31);
        SQLite::Transaction tx(*db);
        AttachmentWriter attachments(*db);
        HeaderFieldWriter fields(*db);
        SQLite::Statement original(*db, "INSERT INTO tblOriginal (tblOriginal_YMD, tblOriginal_HMS, tblOriginal_SubKey,"
                                        " tblOriginal_SndRcvFlag, tblOriginal_SndAdd, tblOriginal_RcvAdd,"
                                        " tblOriginal_Mailbox) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        for (size_t i = 0; i < mails.size(); ++i) {
            const MailRecord& m = mails[i];
            test::InsertSpread(*db, m, rng);
            const MailKey key = KeyOf(m);
            if (i % 5 == 0) {
                const char* type = i % 15 == 0 ? "image/jpeg" : i % 10 == 0 ? "application/pdf" : "image/png";
                attachments.Add(key, 1, Attachment{"a", type, "bytes"});
                if (type[0] == 'i')
                    ++pictures;
            }
            if (i % 7 == 0) {
                HeaderFields h;
                h.cc = {{"次郎 " + std::to_string(i % 3), "jiro" + std::to_string(i % 3) + "@cc.example.jp"}};
                fields.Put(key, h);
            }
            if (i % 4 != 3) {
                BindMailKey(original, 1, key);
                original.bind(7, i % 4 == 0 ? "受信フォルダ" : "ピンクの引出し");
                original.exec();
                original.reset();
                ++mailboxes;
            }
        }
        tx.commit();
        UpdateSearchIndex(*db, quiet);
    }

    std::unique_ptr<SQLite::Database> db = test::MemoryArchive();
    std::vector<MailRecord> mails;
    size_t pictures = 0, mailboxes = 0;
    NullWaitReporter quiet;
};

// A few characters from the middle of a text.
std::string Middle(const std::string& text, size_t chars) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(text.size());
    const size_t n = starts.size() - 1;
    if (n <= chars)
        return text;
    const size_t first = (n - chars) / 2;
    return text.substr(starts[first], starts[first + chars] - starts[first]);
}

// Quoted, as any text from mail may hold blanks or quotation marks.
std::string Q(std::string text) {
    for (char& c : text)
        if (c == '"')
            c = '\'';
    return "\"" + text + "\"";
}

} // namespace

TEST_F(FieldArchive, EveryTermAndCombinationGivesWhatAPlainCheckGives) {
    const MailRecord& a = mails[10];
    const MailRecord& b = mails[77];
    const std::string sender = Q(Middle(a.sndName, 2)), senderAddress = Q(Middle(a.sndAdd, 4));
    const std::string receiver = Q(Middle(b.rcvName, 2)), subject = Q(Middle(a.subject, 2));
    const std::string body = Q(Middle(b.body, 3)), phrase = Q(Middle(a.body, 8));
    const std::vector<std::string> queries = {
        "from:" + sender,
        "from:" + senderAddress,
        "to:" + receiver,
        "to:次郎",
        "to:jiro1@",
        "subject:" + subject,
        "-subject:" + subject,
        "body:" + body,
        "body:" + sender,
        phrase,
        "-" + body,
        "date:2000",
        "date:2000-04",
        "date:2000-04-15",
        "date:2000-03..2000-05",
        "date:..2000-02",
        "date:2001-11..",
        "-date:2000",
        "has:attachment",
        "has:picture",
        "-has:picture",
        "is:sent",
        "is:received",
        "in:受信フォルダ",
        "-in:受信フォルダ",
        "in:ピンクの引出し",
        "in:送信済み",
        "from:" + sender + " date:1999..2000 has:attachment",
        "is:sent to:次郎 -body:" + body,
        subject + " date:1999..2000-06 -is:received",
        "in:受信フォルダ has:picture date:..2001",
        "-is:sent -has:attachment -in:ピンクの引出し",
        "ポ -to:jiro0 -date:2001",
    };
    const auto reference = test::ReferenceArchive(*db);
    size_t found = 0;
    for (const auto& query : queries) {
        const ParsedSearch parsed = ParseSearch(query);
        ASSERT_FALSE(parsed.error) << query;
        const std::vector<int64_t> expected = test::ReferenceFieldSearch(reference, parsed.terms);
        found += expected.size();
        // The index's two ways, then the common-word limit that forces the scan.
        for (const SearchLimits limits : {SearchLimits{}, SearchLimits{5}}) {
            SearchStream stream(*db, query, limits);
            stream.SetSliceTime(std::chrono::milliseconds(1));
            std::vector<int64_t> got;
            while (stream.Read(got, 100)) {
            }
            EXPECT_EQ(got, expected) << query << " plan " << static_cast<int>(stream.UsedPlan());
        }
    }
    EXPECT_GT(found, 3000u);
    // Known from how the archive was made.
    EXPECT_EQ(test::FoundRows(*db, "has:attachment").size(), mails.size() / 5);
    EXPECT_EQ(test::FoundRows(*db, "has:picture").size(), pictures);
    EXPECT_EQ(test::FoundRows(*db, "in:受信フォルダ").size() + test::FoundRows(*db, "in:ピンクの引出し").size(),
              mailboxes);
    EXPECT_EQ(test::FoundRows(*db, "is:sent").size() + test::FoundRows(*db, "is:received").size(), mails.size());
    EXPECT_EQ(SearchStream(*db, "to:次郎").UsedPlan(), SearchStream::Plan::Scan); // a Cc is not in the index
    EXPECT_EQ(SearchStream(*db, "has:picture date:2000").UsedPlan(), SearchStream::Plan::Conditions);

    // Without the index every term but bare words needs none, and words are folded as they come.
    DropSearchIndex(*db);
    for (const auto& query : queries) {
        SearchStream stream(*db, query);
        EXPECT_TRUE(stream.UsedPlan() == SearchStream::Plan::FoldingScan ||
                    stream.UsedPlan() == SearchStream::Plan::Conditions)
            << query;
        EXPECT_EQ(test::FoundRows(*db, query), test::ReferenceFieldSearch(reference, ParseSearch(query).terms))
            << query;
    }
}

TEST(FieldSearch, ACopyWithoutTheAddedTablesFindsNoAttachmentMailboxOrCc) {
    auto db = test::MemoryArchive();
    MailRecord m;
    m.ymd = "2002/04/01";
    m.hms = "10:00:00";
    m.sndName = "花子";
    m.sndAdd = "hana@example.jp";
    m.rcvName = "かも";
    m.rcvAdd = "kamo@example.jp";
    m.subject = "旅行";
    m.body = "写真です";
    test::InsertTestMail(*db, m);
    for (const char* table : {"tblAttachment", "tblOriginal", "tblHeaderFields"})
        db->exec(std::string("DROP TABLE ") + table);
    EXPECT_TRUE(test::FoundRows(*db, "has:attachment").empty());
    EXPECT_TRUE(test::FoundRows(*db, "in:受信フォルダ").empty());
    EXPECT_EQ(test::FoundRows(*db, "-has:picture -in:受信フォルダ to:かも date:2002-04").size(), 1u);
}

// One rule says what is a picture, decided when the attachment is stored: has:picture finds a mail
// exactly when the mail display (ListAttachments' mark) shows one of its attachments as a picture,
// whatever its type and name say, in a new archive and in one whose attachments were stored before
// the marks (marked when it is opened, or by the version upgrade).
TEST(FieldSearch, HasPictureFindsJustTheMailsWhosePicturesTheMailDisplayShows) {
    const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    const std::string jpeg("\xFF\xD8\xFF\xE0\0\x10JFIF", 10);
    std::string bmp = "BM" + std::string(12, '\0') + '\x28' + std::string(3, '\0');
    const struct {
        Attachment attachment;
        bool picture;
    } cases[] = {
        {{"a.png", "image/png", png}, true},
        {{"b.png", "application/octet-stream", png}, true},
        {{"", "application/octet-stream", png}, true}, // unnamed: its content says
        {{"", "application/octet-stream", jpeg}, true},
        {{"scan.dat", "application/octet-stream", "GIF89a\x01\x00"}, true},
        {{"", "", bmp}, true},
        {{"x.png", "application/octet-stream", "not a picture"}, true}, // says so: shown with its note
        {{"broken", "image/jpeg", "not a picture"}, true},
        {{"memo.txt", "text/plain; charset=shift_jis", "hello"}, false},
        {{"a.tif", "image/tiff", "II*\0"}, false}, // a format not shown
        {{"", "image/svg+xml", "<svg/>"}, false},
        {{"data.zip", "application/zip", "PK\x03\x04"}, false},
        {{"BMW.txt", "", "BMW fuhr vorbei, sagte sie"}, false},
    };
    enum class Form { New, MarkedWhenOpened, MarkedByUpgrade };
    for (Form form : {Form::New, Form::MarkedWhenOpened, Form::MarkedByUpgrade}) {
        auto db = test::MemoryArchive();
        if (form != Form::New) {
            // As an older version left it: no marks, no index of them.
            db->exec("DROP INDEX idxAttachment_Picture");
            db->exec("ALTER TABLE tblAttachment DROP COLUMN tblAttachment_Picture");
            db->exec("ALTER TABLE tblTrashAttachment DROP COLUMN tblAttachment_Picture");
        }
        std::vector<MailRecord> mails;
        for (size_t i = 0; i < std::size(cases); ++i) {
            const std::string hms = (i < 10 ? "10:00:0" : "10:00:") + std::to_string(i);
            const MailRecord m =
                test::Mail("2001/05/01", hms, false, "花子", "hana@example.jp", "写真" + std::to_string(i), "本文");
            test::InsertTestMail(*db, m);
            if (form == Form::New) {
                AttachmentWriter(*db).Add(KeyOf(m), 1, cases[i].attachment);
            } else {
                SQLite::Statement put(*db, "INSERT INTO tblAttachment (tblAttachment_YMD, tblAttachment_HMS, "
                                           "tblAttachment_SubKey, tblAttachment_SndRcvFlag, tblAttachment_SndAdd, "
                                           "tblAttachment_RcvAdd, tblAttachment_No, tblAttachment_Name, "
                                           "tblAttachment_Type, tblAttachment_Size, tblAttachment_Data) VALUES "
                                           "(?1, ?2, ?3, ?4, ?5, ?6, 1, ?7, ?8, ?9, ?10)");
                BindMailKey(put, 1, KeyOf(m));
                put.bind(7, cases[i].attachment.name);
                put.bind(8, cases[i].attachment.contentType);
                put.bind(9, static_cast<int64_t>(cases[i].attachment.bytes.size()));
                put.bind(10, cases[i].attachment.bytes.data(), static_cast<int>(cases[i].attachment.bytes.size()));
                put.exec();
            }
            mails.push_back(m);
        }
        if (form == Form::MarkedWhenOpened) {
            EXPECT_TRUE(AddMissingTables(*db));
        } else if (form == Form::MarkedByUpgrade) {
            EXPECT_TRUE(UpgradeArchive(*db));
        }
        ASSERT_TRUE(HasPictureMarks(*db));
        EXPECT_FALSE(AddMissingTables(*db)); // marked once
        const auto found = test::FoundRows(*db, "has:picture");
        const std::set<int64_t> byCandidates(found.begin(), found.end());
        const auto conditions = test::FoundRows(*db, "has:picture date:2001");
        EXPECT_EQ(std::set<int64_t>(conditions.begin(), conditions.end()), byCandidates);
        const auto without = test::FoundRows(*db, "-has:picture");
        for (size_t i = 0; i < std::size(cases); ++i) {
            const auto& c = cases[i];
            const std::string what =
                c.attachment.name + " " + c.attachment.contentType + " form " + std::to_string(static_cast<int>(form));
            const auto listed = ListAttachments(*db, KeyOf(mails[i]));
            ASSERT_EQ(listed.size(), 1u) << what;
            EXPECT_EQ(listed[0].picture, c.picture) << what;
            EXPECT_EQ(AttachmentReader(*db).Read(KeyOf(mails[i])).at(0).picture, c.picture) << what;
            SQLite::Statement rowOf(*db, "SELECT rowid FROM tblKamoMail WHERE tblKamoMail_Subject = ?1");
            rowOf.bind(1, mails[i].subject);
            ASSERT_TRUE(rowOf.executeStep());
            const int64_t row = rowOf.getColumn(0).getInt64();
            EXPECT_EQ(byCandidates.count(row), c.picture ? 1u : 0u) << what;
            EXPECT_EQ(std::count(without.begin(), without.end(), row), c.picture ? 0 : 1) << what;
        }
    }
}
