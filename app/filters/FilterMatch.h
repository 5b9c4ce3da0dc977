#pragma once
// Matching one mail against filters in the program (the read-time filters applied while importing).
// The same rules run inside the database for the filter views (FilterRun.h):
//   0  subject equals the condition                    (archive equality: ASCII letter case ignored)
//   1  condition, or its full-width form, occurs in the subject        (character exact)
//   2  sender or receiver address equals the condition (archive equality)
//   3  condition occurs in the sender or receiver address (Unicode case folding)
//   4  sender or receiver name equals the condition    (archive equality)
//   5  condition occurs in the sender or receiver name    (Unicode case folding)
// Any other rule code matches nothing; so does an empty condition for the contains rules.
#include <cstdint>
#include <string>
#include <vector>

#include "common/FilterTable.h"
#include "common/MailRecord.h"

namespace kamo {

// One filter with the condition's compared forms computed once.
class FilterMatcher {
public:
    explicit FilterMatcher(const FilterEntry& entry);

    bool Matches(const MailRecord& mail) const;

private:
    friend class ReadFilterMatcher;
    struct FoldedMail; // the mail's addresses and names folded, shared by several filters
    bool Matches(const MailRecord& mail, FoldedMail& folded) const;

    int16_t termsCode_;
    std::string condition_;       // as stored (rules 0, 2, 4 and the plain form of rule 1)
    std::string wideCondition_;   // rule 1: the condition's full-width form
    std::string foldedCondition_; // rules 3 and 5: the condition case-folded
};

// The Read Filter Table prepared once per import; Excludes() is then called per mail.
class ReadFilterMatcher {
public:
    explicit ReadFilterMatcher(const FilterTables& tables);
    // True when a read-time filter (action code not 0) matches: the mail is not stored.
    bool Excludes(const MailRecord& mail) const;
    bool Empty() const { return matchers_.empty(); }

private:
    std::vector<FilterMatcher> matchers_;
};

} // namespace kamo
