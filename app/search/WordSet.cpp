#include "search/WordSet.h"

#include <algorithm>
#include <deque>

namespace kamo {

WordSet::WordSet(const std::vector<std::string>& words) : nodes_(1), nextWord_(words.size(), kNone) {
    for (uint32_t w = 0; w < words.size(); ++w) {
        uint32_t node = 0;
        for (const char c : words[w]) {
            const auto byte = static_cast<unsigned char>(c);
            uint32_t child = Child(node, byte);
            if (child == kNone) {
                child = static_cast<uint32_t>(nodes_.size());
                auto& children = nodes_[node].children;
                children.insert(std::lower_bound(children.begin(), children.end(), std::make_pair(byte, uint32_t{0})),
                                {byte, child});
                nodes_.emplace_back();
            }
            node = child;
        }
        nextWord_[w] = nodes_[node].firstWord;
        nodes_[node].firstWord = w;
    }
    // Breadth first: a node's suffixes are shorter, so theirs are known when it is reached.
    std::fill(std::begin(root_), std::end(root_), 0);
    std::deque<uint32_t> queue;
    for (const auto& [byte, child] : nodes_[0].children) {
        root_[byte] = child;
        queue.push_back(child);
    }
    while (!queue.empty()) {
        const uint32_t node = queue.front();
        queue.pop_front();
        for (const auto& [byte, child] : nodes_[node].children) {
            const uint32_t fail = Next(nodes_[node].fail, byte);
            nodes_[child].fail = fail;
            nodes_[child].wordSuffix = nodes_[fail].firstWord != kNone ? fail : nodes_[fail].wordSuffix;
            queue.push_back(child);
        }
    }
}

uint32_t WordSet::Child(uint32_t node, unsigned char c) const {
    const auto& children = nodes_[node].children;
    const auto it = std::lower_bound(children.begin(), children.end(), std::make_pair(c, uint32_t{0}));
    return it != children.end() && it->first == c ? it->second : kNone;
}

uint32_t WordSet::Next(uint32_t node, unsigned char c) const {
    while (node != 0) {
        if (const uint32_t child = Child(node, c); child != kNone)
            return child;
        node = nodes_[node].fail;
    }
    return root_[c];
}

} // namespace kamo
