// Originals unpack through one decompression context per thread, reused from mail to mail: whatever
// an original before left in it (a frame broken off, bytes that are no frame, a refusal halfway),
// the next unpacks as on its own, on every thread at once.
#include <gtest/gtest.h>

#include <thread>

#include "db/MailOriginals.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

MailOriginal Numbered(int n) {
    MailOriginal o;
    o.from = "hanako@example.jp";
    o.subject = "mail " + std::to_string(n);
    o.header = "Subject: mail " + std::to_string(n) + "\r\n\r\n";
    o.body = std::string(static_cast<size_t>(1000 * n), static_cast<char>('a' + n % 26)) + "\r\n";
    return o;
}

struct Damage {
    const char* label;
    std::string packed;
};

// Originals that unpack to nothing, each stopping the context somewhere else. Made once: the refusal
// takes a while to pack.
const std::vector<Damage>& Damages() {
    static const std::string packed = PackOriginal(Numbered(40)); // more than one block
    static const std::vector<Damage> damages = {
        {"no bytes", ""},
        {"a frame's first half", packed.substr(0, packed.size() / 2)},
        {"a frame without its last byte", packed.substr(0, packed.size() - 1)},
        {"bytes after the frame", packed + "x"},
        {"bytes that are no frame", "not zstd at all"},
        {"a refusal halfway through", test::HugePackedOriginal(uint64_t{3} << 30)},
    };
    return damages;
}

// Each damaged original, then a whole one: false at the first that does not come out as it went in.
bool UnpacksAfterEachDamage(int first) {
    int n = first;
    for (const Damage& d : Damages()) {
        if (UnpackOriginal(d.packed).has_value())
            return false;
        const MailOriginal whole = Numbered(n++);
        if (UnpackOriginal(PackOriginal(whole)) != std::optional<MailOriginal>(whole))
            return false;
    }
    return true;
}

TEST(OriginalUnpackSequence, EachOriginalUnpacksAsOnItsOwnAfterADamagedOne) {
    int n = 1;
    for (const Damage& d : Damages()) {
        SCOPED_TRACE(d.label);
        EXPECT_FALSE(UnpackOriginal(d.packed).has_value());
        const MailOriginal whole = Numbered(n++);
        const auto back = UnpackOriginal(PackOriginal(whole));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, whole);
    }
}

TEST(OriginalUnpackSequence, ThreadsUnpackingAtOnceDisturbNoOther) {
    Damages(); // made before the threads start
    constexpr int kThreads = 4;
    bool ok[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&ok, t] {
            bool all = true;
            for (int round = 0; round < 5; ++round)
                all = UnpacksAfterEachDamage(t * 10 + round) && all;
            ok[t] = all;
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_TRUE(ok[t]) << "thread " << t;
}

} // namespace
} // namespace kamo
