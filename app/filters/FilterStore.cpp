#include "filters/FilterStore.h"

#include <utility>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "common/AsciiText.h"
#include "common/Messages.h"
#include "common/MessagesBrowse.h"

namespace kamo {
namespace {

FilterEntry EntryFromArea(const EditArea& area, int16_t number) {
    FilterEntry e;
    e.number = number;
    e.termsCode = static_cast<int16_t>(area.termsIndex);
    e.actionCode = static_cast<int16_t>(area.actIndex);
    e.header = TrimText(area.header);
    e.data = area.terms;
    return e;
}

bool InUse(const FilterTables& tables, int slot) {
    return slot >= 0 && slot < tables.count;
}

bool HasSpecialChars(std::string_view text) {
    return text.find_first_of("'|") != std::string_view::npos;
}

} // namespace

bool LoadFilters(SQLite::Database& db, FilterTables& tables, WaitReporter& wait, std::string* why) {
    wait.ShowPhase(WaitPhase::RunningFilters);
    tables.count = 0;
    tables.readCount = 0;
    tables.filters.fill(FilterEntry{});
    tables.readFilters.fill(FilterEntry{});
    try {
        SQLite::Statement query(db, "SELECT tblFilter_No, tblFilter_TermsCode, tblFilter_ActionCode, "
                                    "tblFilter_Header, tblFilter_Data FROM tblFilter"
                                    " ORDER By  tblFilter_ActionCode ASC, tblFilter_No ASC ");
        // The table has room for 256 filters; rows beyond that (only possible by editing the file
        // outside the program) are not loaded rather than written past the table.
        while (tables.count < kFilterSlots && query.executeStep()) {
            FilterEntry& e = tables.filters[static_cast<size_t>(tables.count)];
            e.number = static_cast<int16_t>(query.getColumn(0).getInt());
            e.termsCode = static_cast<int16_t>(query.getColumn(1).getInt());
            e.actionCode = static_cast<int16_t>(query.getColumn(2).getInt());
            e.header = query.getColumn(3).getString();
            e.data = query.getColumn(4).getString();
            if (e.actionCode != 0)
                tables.readFilters[static_cast<size_t>(tables.readCount++)] = e;
            ++tables.count;
            wait.Pump();
        }
    } catch (const SQLite::Exception& e) {
        if (why)
            *why = e.what();
        return false;
    }
    return true;
}

bool SaveFilters(SQLite::Database& db, FilterTables& tables, WaitReporter& wait) {
    try {
        SQLite::Transaction tx(db);
        db.exec("DELETE FROM tblFilter");
        SQLite::Statement insert(db, "INSERT INTO tblFilter ( tblFilter_No, tblFilter_TermsCode, "
                                     "tblFilter_ActionCode, tblFilter_Header, tblFilter_Data ) "
                                     "VALUES( ?, ?, ?, ?, ? )");
        int number = 0;
        for (int i = 0; i < tables.count; ++i) {
            number += 10; // per slot, kept or not: a filter's number follows its position
            FilterEntry& e = tables.filters[static_cast<size_t>(i)];
            if (TrimText(e.header).empty())
                continue;
            e.number = static_cast<int16_t>(number);
            insert.bind(1, e.number);
            insert.bind(2, e.termsCode);
            insert.bind(3, e.actionCode);
            insert.bind(4, e.header);
            insert.bind(5, e.data);
            insert.exec();
            insert.reset();
        }
        tx.commit();
    } catch (const SQLite::Exception&) {
        return false;
    }
    return LoadFilters(db, tables, wait);
}

std::string TrimText(std::string_view text) {
    return std::string(TrimAsciiAndIdeographicSpace(text));
}

EditAreaCheck EditAreaChack(const EditArea& area) {
    EditAreaCheck check;
    const std::string header = TrimText(area.header);
    const std::string terms = TrimText(area.terms);
    const bool ruleSet = area.termsIndex >= 0 && area.termsIndex <= 5;
    const bool actSet = area.actIndex >= 0 && area.actIndex <= 1;
    if (header.empty() && terms.empty() && !ruleSet && !actSet)
        return check;
    if (header.empty()) {
        check.message = Say(BrowseText::FilterNoHeader);
        check.focus = EditAreaCheck::Focus::Header;
        check.clearHeader = true;
        return check;
    }
    if (!ruleSet) {
        check.message = Say(BrowseText::FilterNoRule);
        return check;
    }
    if (!actSet) {
        check.message = Say(BrowseText::FilterNoAction);
        return check;
    }
    if (terms.empty()) {
        check.message = Say(BrowseText::FilterNoTerms);
        check.focus = EditAreaCheck::Focus::Terms;
        check.clearTerms = true;
        return check;
    }
    if (HasSpecialChars(area.header) || HasSpecialChars(area.terms)) {
        check.message = Say(BrowseText::FilterSpecialChars);
        return check;
    }
    check.result = 0;
    return check;
}

bool AddFilter(FilterTables& tables, const EditArea& area) {
    if (tables.count >= kFilterSlots)
        return false;
    tables.filters[static_cast<size_t>(tables.count)] = EntryFromArea(area, 0);
    ++tables.count;
    return true;
}

bool UpdateFilter(FilterTables& tables, int slot, const EditArea& area) {
    if (!InUse(tables, slot))
        return false;
    FilterEntry& e = tables.filters[static_cast<size_t>(slot)];
    e = EntryFromArea(area, e.number);
    return true;
}

bool DeleteFilter(FilterTables& tables, int slot) {
    if (!InUse(tables, slot))
        return false;
    tables.filters[static_cast<size_t>(slot)] = FilterEntry{};
    return true;
}

bool CanMoveFilter(const FilterTables& tables, int slot, int step) {
    const int other = slot + step;
    if ((step != -1 && step != 1) || !InUse(tables, slot) || !InUse(tables, other))
        return false;
    const auto& a = tables.filters[static_cast<size_t>(slot)];
    const auto& b = tables.filters[static_cast<size_t>(other)];
    return !a.IsEmptySlot() && !b.IsEmptySlot() && a.actionCode == b.actionCode;
}

bool MoveFilter(FilterTables& tables, int slot, int step) {
    if (!CanMoveFilter(tables, slot, step))
        return false;
    std::swap(tables.filters[static_cast<size_t>(slot)], tables.filters[static_cast<size_t>(slot + step)]);
    return true;
}

} // namespace kamo
