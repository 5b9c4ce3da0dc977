// The watch over real folders: which mailboxes it gives and when, as PostPet (here: the test)
// writes, moves folders and leaves other files busy, and how it tries again after a failed or
// damaged read. Settle times are short; every wait is bounded by the watch's own timeouts with a
// generous patience, so a slow machine makes a test slower, not wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <poll.h>

#include "import/MailboxWatch.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using std::chrono::milliseconds;

constexpr auto kPatience = 20s;

std::vector<MailboxChoice> Choose(bool inbox, bool outbox) {
    std::array<int16_t, 16> send{}, reciev{};
    send[0] = outbox ? 1 : 0;
    reciev[0] = inbox ? 1 : 0;
    return ChooseMailboxes(send, reciev, false);
}

// Runs the watch as a front end does until it gives mailboxes or the patience is spent.
std::vector<MailboxChoice> WaitForDue(MailboxWatch& watch, std::chrono::seconds patience = kPatience) {
    const auto end = MailboxWatch::Clock::now() + patience;
    while (MailboxWatch::Clock::now() < end) {
        const int left = static_cast<int>(std::chrono::ceil<milliseconds>(end - MailboxWatch::Clock::now()).count());
        const int timeout = watch.TimeoutMs();
        pollfd fd{watch.Fd(), POLLIN, 0};
        ::poll(&fd, 1, timeout < 0 ? left : std::min(timeout, left));
        if (fd.revents & POLLIN)
            watch.TakeEvents();
        if (auto due = watch.TakeDue(); !due.empty())
            return due;
    }
    return {};
}

std::vector<std::string> Names(const std::vector<MailboxChoice>& due) {
    std::vector<std::string> names;
    for (const auto& choice : due)
        names.push_back(choice.box->name);
    return names;
}

class Watch : public ::testing::Test {
protected:
    // A mailbox as PostPet leaves it: both files, their content changing with `n`.
    static void WriteBox(const fs::path& postPet, const MailboxInfo& box, int n) {
        const MailboxFiles files = LocateMailbox(postPet, box);
        fs::create_directories(files.list.parent_path());
        test::WriteFile(files.mail, std::string(static_cast<size_t>(100 + n), 'm'));
        test::WriteFile(files.list, std::string(static_cast<size_t>(10 + n), 'l'));
    }
    static const MailboxInfo& Inbox() { return Mailboxes()[0]; }
    static const MailboxInfo& Outbox() { return Mailboxes()[1]; }

    test::TempDir dir;
    fs::path postPet = dir / "PostPet";
};

// A PostPet folder moved away and another put in its place (made anew, or moved in whole) is
// watched in its turn, with only the inbox chosen (so no drawer watches the PostPet folder).
TEST_F(Watch, APostPetFolderReplacedIsWatchedInItsPlace) {
    struct Case {
        const char* name;
        bool madeAnew; // else built beside it and moved in
    };
    for (const Case& c : {Case{"made anew", true}, Case{"moved in", false}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(postPet);
        fs::remove_all(dir / "old");
        WriteBox(postPet, Inbox(), 1);
        MailboxWatch watch(postPet, Choose(true, false), 100ms);
        ASSERT_EQ(Names(WaitForDue(watch)), std::vector<std::string>{"受信フォルダ"});

        fs::rename(postPet, dir / "old");
        if (c.madeAnew) {
            fs::create_directory(postPet);
            WriteBox(postPet, Inbox(), 2);
        } else {
            WriteBox(dir / "new", Inbox(), 2);
            fs::rename(dir / "new", postPet);
        }
        EXPECT_EQ(Names(WaitForDue(watch)), std::vector<std::string>{"受信フォルダ"});
        // And it is the new folder that is watched from now on.
        WriteBox(postPet, Inbox(), 3);
        EXPECT_EQ(Names(WaitForDue(watch)), std::vector<std::string>{"受信フォルダ"});
    }
}

// A mailbox already still is due after its settle time while another file beside it, or another
// mailbox, changes faster than the settle time; the busy mailbox itself is not given meanwhile.
TEST_F(Watch, AMailboxThatIsStillIsDueWhateverChangesBesideIt) {
    struct Case {
        const char* name;
        bool busyOutbox; // else a file of its own in the inbox's folder
    };
    for (const Case& c : {Case{"other file", false}, Case{"other mailbox", true}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(postPet);
        WriteBox(postPet, Inbox(), 1);
        WriteBox(postPet, Outbox(), 1);
        constexpr auto settle = 500ms;
        MailboxWatch watch(postPet, Choose(true, true), settle);
        ASSERT_EQ(WaitForDue(watch).size(), 2u);

        WriteBox(postPet, Inbox(), 2);
        std::atomic<bool> stop{false};
        std::thread busy([&] {
            for (int n = 0; !stop; ++n) {
                if (c.busyOutbox)
                    WriteBox(postPet, Outbox(), 3 + n % 50);
                else
                    test::WriteFile(postPet / "受信フォルダ" / "pet.dat", std::to_string(n));
                std::this_thread::sleep_for(settle / 5);
            }
        });
        const auto due = WaitForDue(watch);
        stop = true;
        busy.join();
        EXPECT_EQ(Names(due), std::vector<std::string>{"受信フォルダ"});
    }
}

// A failed read is tried again after the back-off, with nothing written meanwhile; the back-off
// doubles up to its bound, and a fresh change starts it afresh. Without a failure nothing waits.
TEST_F(Watch, AFailedReadIsTriedAgainAfterABackOff) {
    WriteBox(postPet, Inbox(), 1);
    constexpr auto settle = 100ms;
    MailboxWatch watch(postPet, Choose(true, false), settle);
    auto due = WaitForDue(watch);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(watch.TimeoutMs(), -1); // read well: nothing waits but the next change

    const auto failed = MailboxWatch::Clock::now();
    EXPECT_EQ(watch.ReadFailed(due), settle);
    EXPECT_GE(watch.TimeoutMs(), 0);
    EXPECT_EQ(Names(WaitForDue(watch)), std::vector<std::string>{"受信フォルダ"});
    EXPECT_GE(MailboxWatch::Clock::now() - failed, settle);

    milliseconds expected = settle;
    for (int i = 0; i < 20; ++i) {
        expected = std::min(expected * 2, MailboxWatch::kRetryMost);
        EXPECT_EQ(watch.ReadFailed(due), expected) << i;
    }
    EXPECT_EQ(expected, MailboxWatch::kRetryMost);

    WriteBox(postPet, Inbox(), 2); // PostPet writes again: read after the settle time, not the back-off
    EXPECT_EQ(Names(WaitForDue(watch)), std::vector<std::string>{"受信フォルダ"});
    EXPECT_EQ(watch.ReadFailed(due), settle);
}

// Damage in a mailbox is only believed once its files stayed as they are for kDamageSettles settle
// times (a writer may have paused): until then it is read again; when the writer finishes, it is
// read as soon as that settles.
TEST_F(Watch, DamageStandsOnlyOnceTheFilesStayAsTheyAre) {
    WriteBox(postPet, Inbox(), 1);
    constexpr auto settle = 40ms;
    MailboxWatch watch(postPet, Choose(true, false), settle);
    const auto due = WaitForDue(watch);
    ASSERT_EQ(due.size(), 1u);

    const auto first = MailboxWatch::Clock::now();
    int reads = 1;
    while (watch.ReadDamaged(due.front())) {
        ASSERT_EQ(WaitForDue(watch).size(), 1u) << "read again with nothing written";
        ++reads;
    }
    EXPECT_GE(MailboxWatch::Clock::now() - first, settle * MailboxWatch::kDamageSettles);
    EXPECT_GE(reads, 3);
    EXPECT_EQ(watch.TimeoutMs(), -1); // told once; not read again until it changes

    // The writer comes back and finishes: a new reading, and damage found in it waits again.
    WriteBox(postPet, Inbox(), 2);
    ASSERT_EQ(WaitForDue(watch).size(), 1u);
    EXPECT_TRUE(watch.ReadDamaged(due.front()).has_value());
}

// The front ends' side: the damage of a mailbox that may still be written is taken out of the
// summary with a note; damage that stands stays, for the user to see.
TEST_F(Watch, UnfinishedMailboxesAreSetAsideFromTheSummary) {
    WriteBox(postPet, Inbox(), 1);
    WriteBox(postPet, Outbox(), 1);
    constexpr auto settle = 20ms;
    MailboxWatch watch(postPet, Choose(true, true), settle);
    const auto due = WaitForDue(watch);
    ASSERT_EQ(due.size(), 2u);

    auto summaryOf = [] {
        ReadSummary summary;
        summary.completed = true;
        MailboxSummary inbox;
        inbox.name = "受信フォルダ";
        inbox.read = 3;
        inbox.damaged = 1;
        inbox.damagedAt = {120};
        MailboxSummary outbox;
        outbox.name = "送信フォルダ";
        outbox.read = 2;
        summary.mailboxes = {inbox, outbox};
        return summary;
    };
    ReadSummary summary = summaryOf();
    const std::string note = SetAsideUnfinished(watch, due, summary);
    EXPECT_NE(note.find("受信フォルダ はまだ書き込み中のようです。"), std::string::npos) << note;
    EXPECT_NE(note.find("秒後にもう一度読みます"), std::string::npos) << note;
    EXPECT_EQ(note.find("送信フォルダ"), std::string::npos) << note;
    EXPECT_FALSE(summary.AnyFailed());
    EXPECT_EQ(summary.mailboxes[0].read, 3);

    // Read again until the damage stands: then it is the user's to see.
    std::string last = note;
    ReadSummary again;
    while (!last.empty()) {
        ASSERT_EQ(Names(WaitForDue(watch)), std::vector<std::string>{"受信フォルダ"});
        again = summaryOf();
        last = SetAsideUnfinished(watch, due, again);
    }
    EXPECT_TRUE(again.AnyFailed());
    EXPECT_EQ(again.mailboxes[0].damaged, 1);
    EXPECT_EQ(again.mailboxes[0].damagedAt, std::vector<uint64_t>{120});
}

TEST(RetryNote, SaysTheWaitInWholeSecondsRoundedUp) {
    EXPECT_EQ(RetryNote(100ms), "1 秒後にもう一度読みます");
    EXPECT_EQ(RetryNote(2000ms), "2 秒後にもう一度読みます");
    EXPECT_EQ(RetryNote(2001ms), "3 秒後にもう一度読みます");
}

} // namespace
} // namespace kamo
