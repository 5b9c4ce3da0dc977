#include "filters/FilterRun.h"

#include <algorithm>
#include <string_view>

#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include "db/MailQueries.h"
#include "db/Schema.h"
#include "filters/FilterText.h"

namespace kamo {
namespace {

std::string_view TextArg(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    if (!text)
        return {};
    return {text, static_cast<size_t>(sqlite3_value_bytes(value))};
}

void ContainsFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const std::string_view text = TextArg(argv[0]);
    bool found = false;
    for (int i = 1; i < argc && !found; ++i)
        found = TextContains(text, TextArg(argv[i]));
    sqlite3_result_int(ctx, found ? 1 : 0);
}

void ContainsNoCaseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::string_view needle = TextArg(argv[1]);
    if (needle.empty()) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    // One buffer per thread, reused row after row; the needle arrives folded already.
    thread_local std::string folded;
    folded.clear();
    AppendFoldedCase(TextArg(argv[0]), folded);
    sqlite3_result_int(ctx, TextContains(folded, needle) ? 1 : 0);
}

void SerialFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    auto* serial = static_cast<long long*>(sqlite3_user_data(ctx));
    sqlite3_result_int64(ctx, ++*serial);
}

constexpr int kPureFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;

void Check(SQLite::Database& db, int rc) {
    if (rc != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), rc);
}

} // namespace

FilterSqlFunctions::FilterSqlFunctions(SQLite::Database& db) : db_(db) {
    sqlite3* h = db.getHandle();
    Check(db, sqlite3_create_function(h, "kamo_contains", 2, kPureFlags, nullptr, ContainsFunction, nullptr, nullptr));
    Check(db, sqlite3_create_function(h, "kamo_contains", 3, kPureFlags, nullptr, ContainsFunction, nullptr, nullptr));
    Check(db, sqlite3_create_function(h, "kamo_contains_nocase", 2, kPureFlags, nullptr, ContainsNoCaseFunction,
                                      nullptr, nullptr));
    // Not deterministic: evaluated once per inserted row.
    Check(db, sqlite3_create_function(h, "kamo_filter_serial", 0, SQLITE_UTF8 | SQLITE_DIRECTONLY, &serial_,
                                      SerialFunction, nullptr, nullptr));
}

FilterSqlFunctions::~FilterSqlFunctions() {
    sqlite3* h = db_.getHandle();
    sqlite3_create_function(h, "kamo_contains", 2, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr);
    sqlite3_create_function(h, "kamo_contains", 3, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr);
    sqlite3_create_function(h, "kamo_contains_nocase", 2, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr);
    sqlite3_create_function(h, "kamo_filter_serial", 0, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr);
}

FilterCondition BuildFilterCondition(const FilterEntry& entry) {
    const std::string& cond = entry.data;
    switch (entry.termsCode) {
    case 0:
        return MailRuleCondition(MailRule::SubjectIs, cond);
    case 1:
        return MailRuleCondition(MailRule::SubjectContains, cond, ToFullWidth(cond));
    case 2:
        return MailRuleCondition(MailRule::AddressIs, cond);
    case 3:
        return MailRuleCondition(MailRule::AddressContains, FoldCase(cond));
    case 4:
        return MailRuleCondition(MailRule::NameIs, cond);
    case 5:
        return MailRuleCondition(MailRule::NameContains, FoldCase(cond));
    default:
        return {};
    }
}

bool RunFilters(SQLite::Database& db, const FilterTables& tables, WaitReporter& wait) {
    const int count = std::min<int>(tables.count, kFilterSlots);
    int total = 0;
    for (int i = 0; i < count; ++i)
        if (tables.filters[static_cast<size_t>(i)].actionCode == 0)
            ++total;
    try {
        FilterSqlFunctions functions(db);
        SQLite::Transaction tx(db);
        db.exec("DELETE FROM tblFilterData");
        int k = 0;
        for (int i = 0; i < count; ++i) {
            const FilterEntry& entry = tables.filters[static_cast<size_t>(i)];
            if (entry.actionCode != 0)
                continue;
            ++k;
            wait.ShowCount(WaitCount::FilterData, k, total);
            wait.SetProgress(k - 1, total);
            wait.Pump();
            const FilterCondition condition = BuildFilterCondition(entry);
            if (condition.where.empty())
                continue;
            InsertFilterRows(db, entry.number, condition);
        }
        PayOwed(db, Rebuild::FilterResults);
        tx.commit();
        wait.SetProgress(total, total);
        wait.Pump();
    } catch (const SQLite::Exception&) {
        return false;
    }
    return true;
}

} // namespace kamo
