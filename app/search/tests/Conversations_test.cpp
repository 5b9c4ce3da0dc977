// Conversations: reply chains by message IDs and by friend and subject, and the archive's reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include <SQLiteCpp/Transaction.h>

#include "db/HeaderFields.h"
#include "search/Conversations.h"
#include "search/SearchText.h"
#include "search/tests/ConversationReference.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

TEST(ConversationSubject, SetsReplyAndForwardPrefixesAside) {
    const std::string travel = SearchFold("旅行の写真");
    for (const char* subject :
         {"旅行の写真", "Re: 旅行の写真", "RE:旅行の写真", "re[2]: 旅行の写真", "Re(3)：旅行の写真", "Re^2: 旅行の写真",
          "Fwd: Re: 旅行の写真", "FW: 旅行の写真", "返信: 旅行の写真", "転送：Re: 旅行の写真", "　Re:  旅行の写真 "})
        EXPECT_EQ(ConversationSubject(subject), travel) << subject;
    EXPECT_EQ(ConversationSubject("Reunion"), SearchFold("reunion"));
    EXPECT_EQ(ConversationSubject("Re[x]: a"), SearchFold("re[x]: a"));
    EXPECT_EQ(ConversationSubject("Re: "), "");
}

namespace {

struct ChainMail {
    const char* label; // the conversation it belongs to: mails with the same first letter join
    const char* ymd;
    const char* friendAddress;
    const char* subject;
    const char* messageId;
    std::vector<std::string> parents;
    bool sent = false;
};

} // namespace

TEST(JoinConversations, JoinsReplyChainsAndKeepsApartWhatIsNotOne) {
    struct Chain {
        const char* name;
        std::vector<ChainMail> mails; // oldest first
    };
    const Chain chains[] = {
        {"a chain by ids",
         {{"A1", "2002/04/01", "hana@example.jp", "旅行", "<a@x>", {}},
          {"A2", "2002/04/02", "hana@example.jp", "Re: 旅行", "<b@x>", {"<a@x>"}, true},
          {"A3", "2002/09/02", "hana@example.jp", "Re: 旅行", "<c@x>", {"<b@x>", "<a@x>"}}}},
        {"the first mail missing: two replies to it join",
         {{"A1", "2002/04/02", "hana@example.jp", "Re: 会議", "<b@x>", {"<gone@x>"}},
          {"A2", "2002/04/03", "taro@example.jp", "Re: 会議", "<c@x>", {"<gone@x>"}},
          {"B1", "2002/04/03", "hana@example.jp", "Re: 会議", "<d@x>", {"<other@x>"}}}},
        {"a mailer that writes only In-Reply-To",
         {{"A1", "2002/04/01", "hana@example.jp", "質問", "<a@x>", {}},
          {"A2", "2002/04/05", "hana@example.jp", "答え", "<b@x>", {"<a@x>"}, true},
          {"A3", "2002/04/06", "hana@example.jp", "別の件名", "<c@x>", {"<b@x>"}}}},
        {"subject only, each within 60 days of the previous",
         {{"A1", "2002/01/01", "hana@example.jp", "旅行", "", {}},
          {"A2", "2002/02/10", "HANA@example.jp", "Re: 旅行", "", {}, true},
          {"A3", "2002/04/01", "hana@example.jp", "RE[2]：旅行", "", {}}}},
        {"the same subject months apart, and with another friend",
         {{"A1", "2002/01/01", "hana@example.jp", "お元気ですか", "", {}},
          {"B1", "2002/03/03", "hana@example.jp", "お元気ですか", "", {}},
          {"C1", "2002/03/04", "taro@example.jp", "お元気ですか", "", {}},
          {"B2", "2002/03/05", "hana@example.jp", "Re: お元気ですか", "", {}, true}}},
        {"a PostPet reply joins a mail threaded by ids; a reply naming another stays apart",
         {{"A1", "2002/05/01", "hana@example.jp", "写真", "<a@x>", {}},
          {"A2", "2002/05/02", "hana@example.jp", "Re: 写真", "", {}, true},
          {"B1", "2002/05/03", "hana@example.jp", "Re: 写真", "<z@x>", {"<elsewhere@x>"}},
          {"C1", "2002/05/04", "hana@example.jp", "", "", {}},
          {"D1", "2002/05/05", "hana@example.jp", "", "", {}}}},
        {"no date joins nothing by subject",
         {{"A1", "0000/00/00", "hana@example.jp", "旅行", "", {}},
          {"B1", "0000/00/00", "hana@example.jp", "旅行", "", {}}}},
    };
    for (const auto& chain : chains) {
        std::vector<ConversationMail> mails;
        for (const auto& c : chain.mails) {
            ConversationMail m;
            m.rowId = static_cast<int64_t>(mails.size()) + 1;
            m.ymd = c.ymd;
            m.hms = "12:00:00";
            m.sent = c.sent;
            m.friendAddress = c.friendAddress;
            m.subject = c.subject;
            m.messageId = c.messageId;
            m.parents = c.parents;
            mails.push_back(std::move(m));
        }
        const std::vector<size_t> first = JoinConversations(mails);
        ASSERT_EQ(first.size(), mails.size());
        for (size_t i = 0; i < mails.size(); ++i) {
            EXPECT_LE(first[i], i) << chain.name;
            for (size_t j = 0; j < mails.size(); ++j)
                EXPECT_EQ(first[i] == first[j], chain.mails[i].label[0] == chain.mails[j].label[0])
                    << chain.name << ": " << chain.mails[i].label << " and " << chain.mails[j].label;
        }
    }
}

TEST(ThreadedOrder, GroupsEachConversationWhereItsFirstLineStands) {
    struct Case {
        const char* name;
        const char* threads;  // each line's conversation, in the list's order; '-' for none
        const char* expected; // the lines grouped: their positions, "+" for one indented
    };
    const Case cases[] = {
        {"a chain", "AAA", "0 1+ 2+"},
        {"lone mails keep the list's order", "ABC", "0 1 2"},
        {"two conversations interleaved", "ABABCA", "0 2+ 5+ 1 3+ 4"},
        {"newest first: each conversation's newest mail heads it", "BAAB", "0 3+ 1 2+"},
        {"a reply whose first mail is not listed heads what is listed", "CAC", "0 2+ 1"},
        {"mails without a conversation stand alone", "-A-A", "0 1 3+ 2"},
        {"an empty list", "", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> threads;
        for (const char* t = c.threads; *t; ++t)
            threads.push_back(*t == '-' ? "" : std::string(1, *t));
        std::string grouped;
        for (const ThreadedLine& line : ThreadedOrder(threads))
            grouped += (grouped.empty() ? "" : " ") + std::to_string(line.line) + (line.depth > 0 ? "+" : "");
        EXPECT_EQ(grouped, c.expected) << c.name;
    }
}

TEST(Conversations, ReadsTheArchiveAndNamesEachConversation) {
    auto db = test::MemoryArchive();
    auto add = [&](const char* ymd, bool sent, const char* subject, HeaderFields fields) {
        MailRecord m;
        m.ymd = ymd;
        m.hms = "10:00:00";
        m.sent = sent;
        m.sndName = sent ? "かも" : "花子";
        m.sndAdd = sent ? "kamo@example.jp" : "hana@example.jp";
        m.rcvName = sent ? "花子" : "かも";
        m.rcvAdd = sent ? "hana@example.jp" : "kamo@example.jp";
        m.subject = subject;
        m.body = "本文";
        test::InsertTestMail(*db, m);
        const int64_t row = db->getLastInsertRowid();
        HeaderFieldWriter(*db).Put(KeyOf(m), fields);
        return row;
    };
    HeaderFields first;
    first.messageId = "<1@hana>";
    HeaderFields reply;
    reply.messageId = "<2@kamo>";
    reply.inReplyTo = "<1@hana>";
    reply.references = "<1@hana>";
    const int64_t c = add("2002/04/10", false, "Re: 旅行", {}); // rowids not in date order
    const int64_t a = add("2002/04/01", false, "旅行", first);
    const int64_t b = add("2002/04/03", true, "Re: 旅行", reply);
    const int64_t d = add("2002/09/01", false, "旅行", {});

    const Conversations conversations(*db);
    EXPECT_EQ(conversations.MailsWith(c), (std::vector<int64_t>{a, b, c}));
    EXPECT_EQ(conversations.SizeOf(b), 3u);
    EXPECT_EQ(conversations.MailsWith(d), (std::vector<int64_t>{d}));
    EXPECT_EQ(conversations.ThreadOf(a), conversations.ThreadOf(c));
    EXPECT_NE(conversations.ThreadOf(a), conversations.ThreadOf(d));
    EXPECT_EQ(conversations.ThreadOf(a).size(), 16u);
    EXPECT_EQ(conversations.MessageIdOf(b), "<2@kamo>");
    EXPECT_EQ(conversations.MessageIdOf(c), "");
    // The same identifiers in another reading, whatever the rowids.
    EXPECT_EQ(Conversations(*db).ThreadOf(b), conversations.ThreadOf(b));
    EXPECT_TRUE(conversations.MailsWith(9999).empty());
}

namespace {

ConversationMail ListMail(const char* ymd, const char* friendAddress, const char* subject, const char* messageId = "",
                          std::vector<std::string> parents = {}) {
    ConversationMail m;
    m.ymd = ymd;
    m.hms = "09:30:00";
    m.friendAddress = friendAddress;
    m.subject = subject;
    m.messageId = messageId;
    m.parents = std::move(parents);
    return m;
}

// Generated mail in date order, some answering earlier mail by ID, some with a reply's prefix.
std::vector<ConversationMail> GeneratedList(size_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<ConversationMail> mails;
    const char* subjects[] = {"旅行", "Re: 旅行", "FWD: 旅行", "写真", "re: 写真", "", "Ｒｅ：写真"};
    const char* friends[] = {"hana@example.jp", "HANA@example.jp", "taro@example.jp"};
    for (size_t i = 0; i < n; ++i) {
        char ymd[64];
        std::snprintf(ymd, sizeof ymd, "%04zu/%02zu/%02zu", 2001 + i / 300, 1 + (i / 25) % 12, 1 + i % 25);
        ConversationMail m = ListMail(rng() % 40 == 0 ? "0000/00/00" : ymd, friends[rng() % 3], subjects[rng() % 7]);
        if (rng() % 3 == 0)
            m.messageId = "<m" + std::to_string(i) + "@x>";
        if (i > 0 && rng() % 4 == 0)
            m.parents.push_back("<m" + std::to_string(rng() % i) + "@x>");
        mails.push_back(std::move(m));
    }
    return mails;
}

} // namespace

TEST(JoinConversations, TheSortedJoiningGivesWhatTheFormerOneGave) {
    struct List {
        const char* name;
        std::vector<ConversationMail> mails; // oldest first
    };
    const List lists[] = {
        {"an empty list", {}},
        {"replies by ids, one to a mail not listed",
         {ListMail("2002/04/01", "hana@example.jp", "旅行", "<a@x>"),
          ListMail("2002/04/02", "hana@example.jp", "Re: 旅行", "<b@x>", {"<a@x>"}),
          ListMail("2002/04/03", "taro@example.jp", "Re: 会議", "<c@x>", {"<gone@x>"}),
          ListMail("2002/04/04", "hana@example.jp", "Re: 会議", "", {"<gone@x>"})}},
        {"forwards and replies by subject, in mixed case",
         {ListMail("2002/01/01", "hana@example.jp", "写真"), ListMail("2002/01/05", "HANA@EXAMPLE.JP", "FWD: 写真"),
          ListMail("2002/01/09", "Hana@example.jp", "re[2]: 写真"),
          ListMail("2002/01/10", "hana@example.jp", "写 真")}},
        {"mails in no conversation: no subject, no date, a subject months later",
         {ListMail("2002/01/01", "hana@example.jp", ""), ListMail("0000/00/00", "hana@example.jp", "旅行"),
          ListMail("0000/00/00", "hana@example.jp", "旅行"), ListMail("2002/01/01", "hana@example.jp", "旅行"),
          ListMail("2002/09/01", "hana@example.jp", "Re: 旅行")}},
        {"one id named by every mail",
         {ListMail("2002/01/01", "a@x", "x", "<r@x>"), ListMail("2003/01/01", "b@x", "y", "", {"<r@x>"}),
          ListMail("2004/01/01", "c@x", "z", "<r@x>", {"<r@x>", "<r@x>"})}},
        {"generated mail", GeneratedList(3000, 5)},
    };
    for (const List& list : lists) {
        SCOPED_TRACE(list.name);
        const std::vector<size_t> first = JoinConversations(list.mails);
        EXPECT_EQ(first, test::ReferenceJoin(list.mails));
        // The lines grouped by those conversations, in the list's order and turned round.
        std::vector<std::string> threads;
        for (size_t i = 0; i < first.size(); ++i)
            threads.push_back(i % 11 == 5 ? std::string() : "t" + std::to_string(first[i]));
        EXPECT_EQ(ThreadedOrder(threads), test::ReferenceOrder(threads));
        std::reverse(threads.begin(), threads.end());
        EXPECT_EQ(ThreadedOrder(threads), test::ReferenceOrder(threads));
    }
    // The generated list is no set of lone mails, and not one conversation.
    const std::vector<size_t> generated = JoinConversations(lists[5].mails);
    const size_t firsts = static_cast<size_t>(
        std::count_if(generated.begin(), generated.end(), [i = size_t{0}](size_t f) mutable { return f == i++; }));
    EXPECT_GT(firsts, 10u);
    EXPECT_LT(firsts, 2900u);
}
