// Searching: the index's answer against a plain scan of the same folded mail, and the behaviour a
// user sees in single cases.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>
#include <set>

#include <SQLiteCpp/Transaction.h>

#include "common/WaitReporter.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "search/SearchText.h"
#include "search/tests/FoundRows.h"
#include "search/tests/SearchReference.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

// Start positions of the characters of a UTF-8 text, plus its end.
std::vector<size_t> Starts(const std::string& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(s.size());
    return starts;
}

// 1 to 6 characters from somewhere in a mail, sometimes written in another width or case.
std::string PieceOf(const MailRecord& m, std::mt19937_64& rng) {
    const std::string* fields[] = {&m.subject, &m.sndName, &m.sndAdd, &m.rcvName, &m.rcvAdd, &m.body};
    const std::string& text = *fields[rng() % 6];
    const std::vector<size_t> starts = Starts(text);
    if (starts.size() < 2)
        return "ポ";
    const size_t chars = starts.size() - 1;
    const size_t length = 1 + rng() % std::min<size_t>(6, chars);
    const size_t first = rng() % (chars - length + 1);
    std::string piece = text.substr(starts[first], starts[first + length] - starts[first]);
    if (rng() % 4 == 0)
        piece = test::Rewritten(piece, static_cast<unsigned>(rng()));
    return piece;
}

// The query that finds `text` as bare words: a word the syntax would read otherwise (a leading "-",
// letters and a colon, a quotation mark) is quoted, its " and ＂ written as ', which folds the same.
std::string AsWords(const std::string& text) {
    std::string out;
    std::string word;
    auto flush = [&] {
        for (size_t at = word.find("\xEF\xBC\x82"); at != std::string::npos; at = word.find("\xEF\xBC\x82"))
            word.replace(at, 3, "'");
        for (char& c : word)
            if (c == '"')
                c = '\'';
        size_t letters = 0;
        while (letters < word.size() && std::isalpha(static_cast<unsigned char>(word[letters])))
            ++letters;
        const bool special =
            (word.size() > 1 && word[0] == '-') || (letters > 0 && letters < word.size() && word[letters] == ':');
        out += special ? "\"" + word + "\"" : word;
        word.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const bool ideographic = text.compare(i, 3, "\xE3\x80\x80") == 0;
        if (ideographic || std::isspace(static_cast<unsigned char>(text[i]))) {
            flush();
            out += ideographic ? text.substr(i, 3) : text.substr(i, 1);
            i += ideographic ? 2 : 0;
        } else {
            word += text[i];
        }
    }
    flush();
    return out;
}

std::string RandomQuery(const std::vector<MailRecord>& mails, std::mt19937_64& rng) {
    std::string query = PieceOf(mails[rng() % mails.size()], rng);
    switch (rng() % 6) {
    case 0: // a second word from the same mail: often found together
    case 1: {
        const MailRecord& m = mails[rng() % mails.size()];
        query = PieceOf(m, rng) + (rng() % 2 ? " " : "　") + PieceOf(m, rng);
        break;
    }
    case 2: // a second word from another mail: often nothing
        query += "　" + PieceOf(mails[rng() % mails.size()], rng);
        break;
    default:
        break;
    }
    return query;
}

class SearchArchive : public ::testing::Test {
protected:
    // `n` generated mails, each body repeated to at least `bodyBytes`.
    void Fill(size_t n, uint64_t seed, size_t bodyBytes = 0) {
        mails = test::GeneratedMails(n, seed);
        for (auto& m : mails)
            while (!m.body.empty() && m.body.size() < bodyBytes)
                m.body += "\r\n" + m.body;
        std::mt19937_64 rng(seed);
        SQLite::Transaction tx(*db);
        for (const auto& m : mails)
            test::InsertSpread(*db, m, rng);
        tx.commit();
        UpdateSearchIndex(*db, quiet);
    }

    std::unique_ptr<SQLite::Database> db = test::MemoryArchive();
    std::vector<MailRecord> mails;
    NullWaitReporter quiet;
};

} // namespace

TEST_F(SearchArchive, GivesExactlyWhatAPlainScanGivesForRandomQueries) {
    Fill(3000, 2001);
    const auto folded = test::FoldArchive(*db);
    std::mt19937_64 rng(13);
    // The usual limit, then one so low that common words take the scan way.
    for (const SearchLimits limits : {SearchLimits{}, SearchLimits{150}}) {
        std::map<SearchStream::Plan, int> plans;
        size_t found = 0;
        for (int q = 0; q < 200; ++q) {
            const std::string query = RandomQuery(mails, rng);
            const std::vector<int64_t> expected = test::ReferenceSearch(folded, query);
            SearchStream stream(*db, AsWords(query), limits);
            stream.SetSliceTime(std::chrono::milliseconds(0));
            std::vector<int64_t> got;
            while (stream.Read(got, 1000)) {
            }
            ASSERT_EQ(got, expected) << "query [" << query << "]";
            plans[stream.UsedPlan()]++;
            found += expected.size();
        }
        EXPECT_GT(found, 1000u); // the queries do find mail, a lot of it
        if (limits.maxCandidates < 100) {
            EXPECT_GT(plans[SearchStream::Plan::Scan], 20);
            EXPECT_GT(plans[SearchStream::Plan::Candidates], 20);
        }
    }
}

TEST_F(SearchArchive, FindsWordsInAnyFieldIgnoringCaseAndWidth) {
    auto add = [&](const char* ymd, const char* subject, const char* sndName, const char* sndAdd, const char* body1,
                   const char* body2 = "") {
        SQLite::Statement st(*db, "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey,"
                                  " tblKamoMail_SndRcvFlag, tblKamoMail_SndName, tblKamoMail_SndAdd,"
                                  " tblKamoMail_RcvName, tblKamoMail_RcvAdd, tblKamoMail_Subject, tblKamoMail_Mail1,"
                                  " tblKamoMail_Mail2) VALUES (?1, '12:00:00', 0, 0, ?2, ?3, 'かも',"
                                  " 'kamo@example.jp', ?4, ?5, ?6)");
        st.bind(1, ymd);
        st.bind(2, sndName);
        st.bind(3, sndAdd);
        st.bind(4, subject);
        st.bind(5, body1);
        st.bind(6, body2);
        st.exec();
        return db->getLastInsertRowid();
    };
    const int64_t a = add("2001/01/01", "abc の会議", "山田 花子", "hanako@example.jp", "本文\r\nｶﾞｲﾄﾞです");
    const int64_t b = add("2001/02/01", "ＡＢＣ予定", "佐藤 健一", "ken@example.xq", "特別な合", "言葉です");
    const int64_t c = add("2001/03/01", "Re: ABC", "表 ポン太", "ponta@example.jp", "①㈱髙～ソ表能ポ弓－ ’｜");
    // Bodies and names are stored quote-safe (’ for ' " “ ”); subjects keep what the mail had.
    const int64_t d = add("2001/04/01", "say \"don't\"", "O’Neil", "o@example.jp", "I don’t know ’yes’");
    UpdateSearchIndex(*db, quiet);

    struct Case {
        const char* query;
        std::vector<int64_t> expected; // newest first
    };
    const Case cases[] = {
        {"ABC", {c, b, a}},
        {"ａｂｃ", {c, b, a}},
        {"Abc", {c, b, a}},
        {"ガイド", {a}},
        {"ｶﾞｲﾄﾞ", {a}},
        {"会議　花子", {a}}, // words in different fields
        {"会議 健一", {}},
        {"子h", {}}, // never across two fields
        {"q", {b}},
        {"xq", {b}}, // one and two characters at a field's end
        {"合言葉", {b}},
        {"な合言", {b}}, // across two body pieces
        {"KAMO@", {d, c, b, a}},
        {"かも", {d, c, b, a}}, // the receiver's fields
        {"髙～ソ表", {c}},
        {"｜", {c}},
        {"|", {c}},
        {"’", {d, c}},
        {"", {}},
        {"　 ", {}},
        {"存在しない", {}},
        {"don't", {d}},
        {"don’t", {d}},
        {"“yes”", {d}},
        {"O'Neil", {d}},
        {"\"yes\"", {d}},
        {"'", {d, c}},
        {"say ＂don＇t＂", {d}},
        // Negation with phrases and fields.
        {"-ABC", {d}},
        {"ABC -会議", {c, b}},
        {"-from:花子 -subject:予定", {d, c}},
        {"\"な合言\" -body:ガイド", {b}},
        {"-\"don't\" -hanako", {c, b}},
        {"-to:かも", {}},
        {"abc -from:ponta -subject:会議", {b}},
        {"-“yes” -body:表能", {b, a}},
        {"from:example.jp -from:neil -\"Re: ABC\"", {a}},
        {"-subject:abc -body:abc", {d}},
    };
    // Each query as typed, and with more words than are looked for one by one: words no mail holds,
    // negated, so that every word goes through the one pass and the result is the same.
    std::string padding;
    for (int n = 0; n < 10; ++n)
        padding += " -zqzq" + std::to_string(n);
    for (const auto& k : cases) {
        EXPECT_EQ(test::FoundRows(*db, k.query), k.expected) << k.query;
        if (!ParseSearch(k.query).terms.empty()) {
            EXPECT_EQ(test::FoundRows(*db, k.query + padding), k.expected) << k.query << " with many words";
        }
    }

    db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_YMD = '2001/02/01'");
    EXPECT_EQ(test::FoundRows(*db, "ABC"), (std::vector<int64_t>{c, a})); // the trigger took it out at once
}

// Ten thousand negated words (about 77 KB) over 600 mails: each mail's text is read once for all of
// them, so the search ends in a moment (it took minutes when each word was looked for on its own).
// The mails it gives are those that hold none of the words.
TEST_F(SearchArchive, TenThousandNegatedWordsTakeOnePassOverEachMail) {
    Fill(600, 41, 1000);
    const auto reference = test::ReferenceArchive(*db);
    std::mt19937_64 rng(5);
    std::string few; // words some mails hold, as phrases
    for (int n = 0; n < 10; ++n) {
        // Five characters from a mail's body.
        const std::string& body = mails[rng() % mails.size()].body;
        const std::vector<size_t> starts = Starts(body);
        const size_t first = starts.size() > 6 ? rng() % (starts.size() - 6) : 0;
        std::string piece = body.substr(starts[first], starts[std::min(first + 5, starts.size() - 1)] - starts[first]);
        std::replace(piece.begin(), piece.end(), '"', '\'');
        few += " -\"" + piece + "\"";
    }
    std::string query = few;
    for (int n = 0; n < 10000; ++n)
        query += " -〄" + std::to_string(n); // its first byte starts most Japanese characters
    ASSERT_EQ(ParseSearch(query).terms.size(), 10010u);
    for (const auto& m : reference)
        for (const auto& field : m.folded.fields)
            ASSERT_EQ(field.find("〄"), std::string::npos); // no mail holds the others
    const std::vector<int64_t> expected = test::ReferenceFieldSearch(reference, ParseSearch(few).terms);
    ASSERT_GT(expected.size(), 0u);
    ASSERT_LT(expected.size(), mails.size());
    const auto start = std::chrono::steady_clock::now();
    const std::vector<int64_t> got = test::FoundRows(*db, query);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got, expected);
    EXPECT_LT(took, std::chrono::seconds(3))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    std::printf("10,000 negated words over 600 mails: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

TEST_F(SearchArchive, AScanStreamsItsResultInSlicesAndEndsOnce) {
    Fill(2000, 77);
    for (const char* query : {"の", "example", "ポ　お"}) {
        const std::vector<int64_t> whole = test::FoundRows(*db, query);
        SearchStream stream(*db, query, SearchLimits{10});
        ASSERT_EQ(stream.UsedPlan(), SearchStream::Plan::Scan) << query;
        stream.SetSliceTime(std::chrono::milliseconds(1));
        std::vector<int64_t> pieces;
        int reads = 0;
        while (stream.Read(pieces, 25))
            ++reads;
        EXPECT_TRUE(stream.Done());
        EXPECT_FALSE(stream.Read(pieces, 25));
        EXPECT_EQ(pieces, whole) << query;
        EXPECT_GT(reads, 3) << query;
    }
}

TEST(SearchWithoutIndex, AnArchiveThatCannotBeIndexedIsSearchedByFoldingAsItGoes) {
    test::TempDir dir;
    const auto path = dir / "KamoMail.Mdb";
    std::vector<MailRecord> mails = test::GeneratedMails(300, 21);
    {
        auto db = OpenArchive(path, true);
        CreateTables(*db);
        std::mt19937_64 rng(2);
        for (size_t i = 0; i < mails.size(); ++i) {
            if (i == 200) { // indexed up to here; the rest waits in the queue
                NullWaitReporter quiet;
                UpdateSearchIndex(*db, quiet);
            }
            test::InsertSpread(*db, mails[i], rng);
        }
    }
    // A backup on display: opened read-only, its queue cannot be worked off.
    SQLite::Database readOnly(path.string(), SQLite::OPEN_READONLY);
    NullWaitReporter quiet;
    UpdateSearchIndex(readOnly, quiet);
    EXPECT_EQ(PendingSearchRows(readOnly), 100);
    const auto folded = test::FoldArchive(readOnly);
    std::mt19937_64 rng(4);
    for (int q = 0; q < 60; ++q) {
        const std::string query = RandomQuery(mails, rng);
        SearchStream stream(readOnly, AsWords(query));
        if (!stream.Terms().empty()) {
            EXPECT_EQ(stream.UsedPlan(), SearchStream::Plan::FoldingScan);
        }
        EXPECT_EQ(test::FoundRows(readOnly, AsWords(query)), test::ReferenceSearch(folded, query)) << query;
    }
    // And one that never had an index.
    auto bare = test::MemoryArchive();
    std::mt19937_64 rng2(5);
    for (const auto& m : mails)
        test::InsertSpread(*bare, m, rng2);
    EXPECT_EQ(test::FoundRows(*bare, "ポ"), test::ReferenceSearch(test::FoldArchive(*bare), "ポ"));
    EXPECT_EQ(InspectSearchIndex(*bare), SearchIndexState::Missing);
}
