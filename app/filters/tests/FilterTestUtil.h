#pragma once
// Small helpers shared by the filter tests.
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "common/FilterTable.h"
#include "common/MailRecord.h"
#include "common/WaitReporter.h"

namespace kamo::test {

inline FilterEntry Filter(int16_t no, int16_t rule, int16_t action, std::string header, std::string data) {
    FilterEntry e;
    e.number = no;
    e.termsCode = rule;
    e.actionCode = action;
    e.header = std::move(header);
    e.data = std::move(data);
    return e;
}

inline MailRecord Mail(std::string hms, std::string subject, std::string sndName = "太郎",
                       std::string sndAdd = "taro@example.jp", std::string rcvName = "花子",
                       std::string rcvAdd = "hanako@example.jp") {
    MailRecord m;
    m.ymd = "2001/04/01";
    m.hms = std::move(hms);
    m.subject = std::move(subject);
    m.sndName = std::move(sndName);
    m.sndAdd = std::move(sndAdd);
    m.rcvName = std::move(rcvName);
    m.rcvAdd = std::move(rcvAdd);
    m.body = "本文";
    return m;
}

inline void SetFilters(FilterTables& tables, const std::vector<FilterEntry>& entries) {
    tables = FilterTables{};
    for (const auto& e : entries) {
        tables.filters[static_cast<size_t>(tables.count++)] = e;
        if (e.actionCode != 0)
            tables.readFilters[static_cast<size_t>(tables.readCount++)] = e;
    }
}

class RecordingWait : public WaitReporter {
public:
    void SetLine(int index, const std::string& text) override {
        lines.at(static_cast<size_t>(index)) = text;
        history.push_back(text);
    }
    void SetProgress(int64_t done, int64_t total) override { progress.emplace_back(done, total); }
    void Pump() override { ++pumps; }

    std::array<std::string, kLines> lines;
    std::vector<std::string> history;
    std::vector<std::pair<int64_t, int64_t>> progress;
    int pumps = 0;
};

} // namespace kamo::test
