// Many words in one pass: exactly the words a plain look-up of each finds, whatever their overlaps.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "search/WordSet.h"

using namespace kamo;

// Words and texts over a tiny alphabet (two bytes of a Japanese character among them), so that words
// are prefixes, suffixes and parts of each other and of the texts all the time; a word given twice.
TEST(WordSet, FindsWhatEachWordsOwnLookUpFinds) {
    const std::string letters[] = {"a", "b", "\xE3\x81", "\xAE"};
    std::mt19937_64 rng(7);
    auto random = [&](size_t most) {
        std::string s;
        for (size_t n = 1 + rng() % most; n > 0; --n)
            s += letters[rng() % 4];
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> words;
        for (size_t n = 1 + rng() % 40; n > 0; --n)
            words.push_back(random(5));
        words.push_back(words.front());
        WordSet set(words);
        for (int t = 0; t < 5; ++t) {
            const std::string text = t == 0 ? std::string() : random(60);
            std::multiset<uint32_t> found;
            set.Find(text, [&](uint32_t w) { found.insert(w); });
            std::multiset<uint32_t> expected;
            for (uint32_t w = 0; w < words.size(); ++w)
                if (text.find(words[w]) != std::string::npos)
                    expected.insert(w);
            ASSERT_EQ(found, expected) << "text [" << text << "] round " << round;
        }
    }
}
