#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "common/BesideWait.h"
#include "common/Failure.h"

using namespace kamo;

namespace {

// Counts its pumps; asks for a stop from the `stopAt`-th one on (never when 0).
class CountingWait : public NullWaitReporter {
public:
    explicit CountingWait(int stopAt = 0) : stopAt_(stopAt) {}
    void Pump() override { ++pumps; }
    bool CancelRequested() const override { return stopAt_ > 0 && pumps >= stopAt_; }
    std::atomic<int> pumps{0};

private:
    int stopAt_;
};

} // namespace

TEST(BesideWait, TheWindowIsPumpedWhileTheWorkBlocksAndItsFailureComesBack) {
    CountingWait wait;
    // The work only ends once the caller's thread has pumped meanwhile: run inline, it would wait
    // out its deadline and say so.
    bool sawPumps = false;
    RunWhilePumping(wait, [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (wait.pumps < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawPumps = wait.pumps >= 3;
    });
    EXPECT_TRUE(sawPumps);

    try {
        RunWhilePumping(wait, [] { throw Failure(FailureCode::ImapConnectionLost, {"imap.example.jp"}); });
        ADD_FAILURE() << "the work's failure was not thrown";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Code(), FailureCode::ImapConnectionLost);
    }
}

TEST(BesideWait, APauseRunsItsLengthPumpedOrEndsAtTheStop) {
    const struct {
        int stopAt;
        std::chrono::milliseconds length;
        bool whole;
    } cases[] = {
        {0, std::chrono::milliseconds(0), true},      // nothing to wait: one pump
        {0, std::chrono::milliseconds(100), true},    // pumped all along
        {3, std::chrono::milliseconds(60000), false}, // the stop ends a long wait at once
        {1, std::chrono::milliseconds(60000), false}, // asked for before it began
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopAt);
        CountingWait wait(c.stopAt);
        EXPECT_EQ(PumpedPause(wait, c.length), c.whole);
        if (c.stopAt > 0)
            EXPECT_EQ(wait.pumps, c.stopAt);
        else
            EXPECT_GE(wait.pumps, c.length.count() > 0 ? 2 : 1); // not only once before sleeping it all
    }
}
