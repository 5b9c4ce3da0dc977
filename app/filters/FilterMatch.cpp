#include "filters/FilterMatch.h"

#include <algorithm>
#include <optional>

#include "filters/FilterText.h"

namespace kamo {

struct FilterMatcher::FoldedMail {
    std::optional<std::string> sndAdd, rcvAdd, sndName, rcvName;

    static const std::string& Get(std::optional<std::string>& slot, const std::string& raw) {
        if (!slot)
            slot = FoldCase(raw);
        return *slot;
    }
};

FilterMatcher::FilterMatcher(const FilterEntry& entry) : termsCode_(entry.termsCode), condition_(entry.data) {
    if (termsCode_ == 1)
        wideCondition_ = ToFullWidth(condition_);
    if (termsCode_ == 3 || termsCode_ == 5)
        foldedCondition_ = FoldCase(condition_);
}

bool FilterMatcher::Matches(const MailRecord& mail) const {
    FoldedMail folded;
    return Matches(mail, folded);
}

bool FilterMatcher::Matches(const MailRecord& mail, FoldedMail& folded) const {
    switch (termsCode_) {
    case 0:
        return ArchiveTextEqual(mail.subject, condition_);
    case 1:
        return TextContains(mail.subject, condition_) || TextContains(mail.subject, wideCondition_);
    case 2:
        return ArchiveTextEqual(mail.sndAdd, condition_) || ArchiveTextEqual(mail.rcvAdd, condition_);
    case 3:
        return TextContains(FoldedMail::Get(folded.sndAdd, mail.sndAdd), foldedCondition_) ||
               TextContains(FoldedMail::Get(folded.rcvAdd, mail.rcvAdd), foldedCondition_);
    case 4:
        return ArchiveTextEqual(mail.sndName, condition_) || ArchiveTextEqual(mail.rcvName, condition_);
    case 5:
        return TextContains(FoldedMail::Get(folded.sndName, mail.sndName), foldedCondition_) ||
               TextContains(FoldedMail::Get(folded.rcvName, mail.rcvName), foldedCondition_);
    default:
        return false;
    }
}

ReadFilterMatcher::ReadFilterMatcher(const FilterTables& tables) {
    int count = std::clamp<int>(tables.readCount, 0, kFilterSlots);
    matchers_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const FilterEntry& entry = tables.readFilters[static_cast<size_t>(i)];
        if (entry.actionCode != 0 && !entry.IsEmptySlot())
            matchers_.emplace_back(entry);
    }
}

bool ReadFilterMatcher::Excludes(const MailRecord& mail) const {
    FilterMatcher::FoldedMail folded;
    return std::any_of(matchers_.begin(), matchers_.end(),
                       [&](const FilterMatcher& m) { return m.Matches(mail, folded); });
}

} // namespace kamo
