// The fuzz targets' bodies run as ordinary tests: over the writer's seed corpora, over mutations of
// them with a fixed seed, and over any input a fuzzer once found (library/fuzz/regressions/<target>/).
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

#include "FuzzBodies.h"
#include "FuzzSeeds.h"

namespace {

using Body = std::string (*)(const uint8_t*, size_t);

Body BodyFor(const std::string& target) {
    if (target == "fuzz_kamomail_edit")
        return kamofuzz::FuzzKamoMailEdit;
    if (target == "fuzz_kamofriend_edit")
        return kamofuzz::FuzzKamoFriendEdit;
    return kamofuzz::FuzzMailStrChange;
}

std::string RunBody(Body body, const std::string& input) {
    return body(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

std::string Mutate(std::string s, std::mt19937_64& rng) {
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
        const size_t at = s.empty() ? 0 : rng() % s.size();
        switch (rng() % 5) {
        case 0:
            if (!s.empty())
                s[at] = static_cast<char>(rng());
            break;
        case 1:
            s.insert(at, 1, static_cast<char>(rng()));
            break;
        case 2:
            if (!s.empty())
                s.erase(at, 1 + rng() % 16);
            break;
        case 3:
            s.resize(at);
            break;
        default: // an interesting number: small counts, the end of the range
            if (s.size() >= at + 4) {
                const uint32_t v =
                    (rng() % 2) ? 0xFFFFFFFFu - static_cast<uint32_t>(rng() % 8) : static_cast<uint32_t>(rng() % 32);
                for (int i = 0; i < 4; ++i)
                    s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
            }
            break;
        }
    }
    return s;
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(FuzzReplay, SeedsAndTheirMutationsKeepEveryPromise) {
    const Body body = BodyFor(GetParam());
    const auto seeds = kamofuzz::Seeds(GetParam());
    ASSERT_FALSE(seeds.empty());
    std::mt19937_64 rng(4);
    for (size_t i = 0; i < seeds.size(); ++i) {
        ASSERT_EQ(RunBody(body, seeds[i]), "") << "seed " << i;
        for (int m = 0; m < 150; ++m) {
            const std::string input = Mutate(seeds[i], rng);
            ASSERT_EQ(RunBody(body, input), "") << "seed " << i << " mutation " << m;
        }
    }
}

TEST_P(FuzzReplay, SavedFindingsStayFixed) {
    const std::filesystem::path dir = std::filesystem::path(KAMOMAIL_FUZZ_REGRESSIONS) / GetParam();
    if (!std::filesystem::is_directory(dir))
        GTEST_SKIP() << "no saved findings for " << GetParam();
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(RunBody(BodyFor(GetParam()), input), "") << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         ::testing::ValuesIn(std::vector<std::string>(std::begin(kamofuzz::kTargets),
                                                                      std::end(kamofuzz::kTargets))));
