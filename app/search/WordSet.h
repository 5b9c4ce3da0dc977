#pragma once
// Many words looked for in a text in one pass over it (Aho-Corasick over the bytes): the time is the
// text's length plus the words found, however many words there are. The search uses it when a query
// has more words than it is worth looking for one by one.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kamo {

class WordSet {
public:
    // `words` non-empty; a word given twice is found under each of its numbers.
    explicit WordSet(const std::vector<std::string>& words);

    // Calls found(n) for each word n that `text` holds, once per call of Find.
    template <typename Found> void Find(std::string_view text, Found&& found) {
        ++pass_;
        uint32_t node = 0;
        for (const char c : text) {
            node = Next(node, static_cast<unsigned char>(c));
            // The words ending here: this node's and those down its chain of word suffixes. A node
            // reached before in this pass has had its chain walked already.
            for (uint32_t at = node; at != kNone && nodes_[at].pass != pass_; at = nodes_[at].wordSuffix) {
                nodes_[at].pass = pass_;
                for (uint32_t w = nodes_[at].firstWord; w != kNone; w = nextWord_[w])
                    found(w);
            }
        }
    }

private:
    static constexpr uint32_t kNone = UINT32_MAX;
    struct Node {
        std::vector<std::pair<unsigned char, uint32_t>> children; // sorted by byte
        uint32_t fail = 0;                                        // the longest proper suffix that is a node
        uint32_t wordSuffix = kNone;                              // the longest proper suffix that ends a word
        uint32_t firstWord = kNone;                               // the words ending exactly here
        uint64_t pass = 0;
    };
    uint32_t Child(uint32_t node, unsigned char c) const;
    uint32_t Next(uint32_t node, unsigned char c) const;

    std::vector<Node> nodes_;
    std::vector<uint32_t> nextWord_; // per word: the next word ending at the same node
    uint32_t root_[256];             // the root's moves, every byte
    uint64_t pass_ = 0;
};

} // namespace kamo
