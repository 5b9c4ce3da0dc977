// Conversations: reply chains by message IDs and by friend and subject, and the archive's reading.
#include <gtest/gtest.h>

#include <map>

#include <SQLiteCpp/Transaction.h>

#include "db/HeaderFields.h"
#include "search/Conversations.h"
#include "search/SearchText.h"
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
