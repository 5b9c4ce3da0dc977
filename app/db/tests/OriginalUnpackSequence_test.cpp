// Originals unpack through one decompression context per thread, reused from mail to mail: whatever
// a damaged original left in it (a frame broken off, bytes that are no frame, a refusal halfway), the
// next original unpacks as on its own, on several threads at once.
#include <gtest/gtest.h>

#include <thread>

#include "db/MailOriginals.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

MailOriginal Numbered(int n) {
    MailOriginal o;
    o.subject = "mail " + std::to_string(n);
    o.header = "Subject: mail " + std::to_string(n) + "\r\n\r\n";
    o.body = std::string(static_cast<size_t>(1000 * n), static_cast<char>('a' + n % 26)) + "\r\n";
    return o;
}

TEST(OriginalUnpackSequence, EachOriginalUnpacksAsOnItsOwnAfterADamagedOne) {
    const std::string packed = PackOriginal(Numbered(200)); // more than one block
    const struct {
        const char* label;
        std::string packed;
    } damages[] = {
        {"no bytes", ""},
        {"a frame's first half", packed.substr(0, packed.size() / 2)},
        {"a frame without its last byte", packed.substr(0, packed.size() - 1)},
        {"bytes after the frame", packed + "x"},
        {"bytes that are no frame", "not zstd at all"},
        {"a refusal halfway through", test::HugePackedOriginal(uint64_t{3} << 30)},
    };
    constexpr int kThreads = 3;
    std::vector<std::string> failures[kThreads];
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 4; ++round)
                for (const auto& d : damages) {
                    const MailOriginal whole = Numbered(t * 10 + round);
                    if (UnpackOriginal(d.packed).has_value() ||
                        UnpackOriginal(PackOriginal(whole)) != std::optional<MailOriginal>(whole))
                        failures[t].push_back(d.label);
                }
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], std::vector<std::string>{}) << "thread " << t;
}

} // namespace
} // namespace kamo
