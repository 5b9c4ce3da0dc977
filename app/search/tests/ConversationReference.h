#pragma once
// The joining and the grouping of lines as they were first written, a map of texts at a time: what
// the sorted joining (search/Conversations.cpp) must give, mail for mail.
#include <numeric>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "search/Conversations.h"

namespace kamo::test {

inline int64_t ReferenceTime(const ConversationMail& m) {
    // Days and seconds as the joining counts them; only compared between mails with a subject key,
    // which have a date.
    const int y = std::stoi(m.ymd.substr(0, 4)), mo = std::stoi(m.ymd.substr(5, 2)), d = std::stoi(m.ymd.substr(8, 2));
    const int64_t yy = y - (mo <= 2 ? 1 : 0);
    const int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    const int64_t yoe = yy - era * 400;
    const int64_t doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return days * 86400 + std::stoi(m.hms.substr(0, 2)) * 3600 + std::stoi(m.hms.substr(3, 2)) * 60 +
           std::stoi(m.hms.substr(6, 2));
}

inline std::vector<size_t> ReferenceJoin(const std::vector<ConversationMail>& mails) {
    std::vector<size_t> parent(mails.size());
    std::iota(parent.begin(), parent.end(), size_t{0});
    auto find = [&](size_t x) {
        while (parent[x] != x)
            x = parent[x];
        return x;
    };
    auto join = [&](size_t a, size_t b) {
        a = find(a);
        b = find(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    };
    std::unordered_map<std::string, size_t> named;
    for (size_t i = 0; i < mails.size(); ++i) {
        std::vector<std::string> ids = mails[i].parents;
        ids.push_back(mails[i].messageId);
        for (const std::string& id : ids)
            if (!id.empty())
                if (const auto [it, added] = named.emplace(id, i); !added)
                    join(i, it->second);
    }
    std::unordered_map<std::string, size_t> lastWith;
    std::vector<std::optional<int64_t>> lastTime(mails.size());
    for (size_t i = 0; i < mails.size(); ++i) {
        const std::string key = ConversationKey(mails[i]);
        std::optional<int64_t> time;
        if (!key.empty()) {
            time = ReferenceTime(mails[i]);
            if (const auto it = lastWith.find(key); it != lastWith.end() && mails[i].parents.empty()) {
                const auto& previous = lastTime[find(it->second)];
                if (previous && *time - *previous <= kConversationGapDays * 86400)
                    join(i, it->second);
            }
            lastWith[key] = i;
        } else if (mails[i].ymd.size() >= 10 && mails[i].ymd.substr(0, 4) != "0000") {
            time = ReferenceTime(mails[i]);
        }
        auto& last = lastTime[find(i)];
        if (time && (!last || *time > *last))
            last = time;
    }
    std::vector<size_t> first(mails.size());
    for (size_t i = 0; i < mails.size(); ++i)
        first[i] = find(i);
    return first;
}

inline std::vector<ThreadedLine> ReferenceOrder(const std::vector<std::string>& threadOfLine) {
    std::vector<std::vector<size_t>> groups;
    std::unordered_map<std::string, size_t> groupOf;
    for (size_t i = 0; i < threadOfLine.size(); ++i) {
        if (threadOfLine[i].empty()) {
            groups.push_back({i});
            continue;
        }
        const auto [it, added] = groupOf.emplace(threadOfLine[i], groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(i);
    }
    std::vector<ThreadedLine> lines;
    for (const auto& group : groups)
        for (size_t k = 0; k < group.size(); ++k)
            lines.push_back({group[k], k == 0 ? 0 : 1});
    return lines;
}

} // namespace kamo::test
