#include "filters/FilterRun.h"

#include <algorithm>
#include <string_view>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include "db/MailRows.h"
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

namespace {
// The mail's columns in the order of tblFilterData's after its id and number.
std::string FilterDataColumnsOfMail() {
    using namespace MailColumn;
    return kYmd + ", " + kHms + ", " + kSubKey + ", " + kSndName + ", " + kSndAdd + ", " + kRcvName + ", " + kRcvAdd +
           ", " + kFlag + ", " + kSubject;
}
} // namespace

FilterCondition BuildFilterCondition(const FilterEntry& entry) {
    using namespace MailColumn;
    FilterCondition c;
    const std::string& cond = entry.data;
    switch (entry.termsCode) {
    case 0:
        c.where = kSubject + " = :cond";
        c.params = {{":cond", cond}};
        break;
    case 1: {
        std::string wide = ToFullWidth(cond);
        if (wide == cond) {
            c.where = "kamo_contains(" + kSubject + ", :cond)";
            c.params = {{":cond", cond}};
        } else {
            c.where = "kamo_contains(" + kSubject + ", :cond, :wide)";
            c.params = {{":cond", cond}, {":wide", std::move(wide)}};
        }
        break;
    }
    case 2:
        c.where = MailAddressIs(":cond");
        c.params = {{":cond", cond}};
        break;
    case 3:
        c.where = "kamo_contains_nocase(" + kSndAdd + ", :folded) or kamo_contains_nocase(" + kRcvAdd + ", :folded)";
        c.params = {{":folded", FoldCase(cond)}};
        break;
    case 4:
        c.where = MailNameIs(":cond");
        c.params = {{":cond", cond}};
        break;
    case 5:
        c.where = "kamo_contains_nocase(" + kSndName + ", :folded) or kamo_contains_nocase(" + kRcvName + ", :folded)";
        c.params = {{":folded", FoldCase(cond)}};
        break;
    default:
        break;
    }
    return c;
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
            wait.SetLine(0, std::to_string(k) + " / " + std::to_string(total) + "  のフィルターデータを");
            wait.SetLine(1, "     処理中です。");
            wait.SetProgress(k - 1, total);
            wait.Pump();
            const FilterCondition condition = BuildFilterCondition(entry);
            if (condition.where.empty())
                continue;
            SQLite::Statement insert(
                db, "INSERT INTO tblFilterData ( tblFilterDt_Id, tblFilterDt_No, tblFilterDt_Date, tblFilterDt_Time, "
                    "tblFilterDt_SubKey, tblFilterDt_SendName, tblFilterDt_SendAddr, tblFilterDt_RecvName, "
                    "tblFilterDt_RecvAddr, tblFilterDt_SndRcvFlag, tblFilterDt_Subject ) "
                    "SELECT kamo_filter_serial(), :no, " +
                        FilterDataColumnsOfMail() + " FROM tblKamoMail WHERE " + condition.where);
            insert.bind(":no", entry.number);
            for (const auto& [name, value] : condition.params)
                insert.bind(name, value);
            insert.exec();
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
