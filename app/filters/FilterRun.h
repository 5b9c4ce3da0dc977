#pragma once
// Filter execution: sorts the archive into the filter views (tblFilterData).
#include <SQLiteCpp/Database.h>

#include "common/FilterTable.h"
#include "common/WaitReporter.h"
#include "db/MailQueries.h"

namespace kamo {

// The WHERE condition over tblKamoMail for one filter, with its named parameters and their values.
// Rules 0, 2 and 4 use the columns' own equality (COLLATE NOCASE) and so their indexes; rules 1, 3
// and 5 call the functions that FilterSqlFunctions registers, with the condition's compared form
// computed here once. Unknown rule codes give an empty condition.
using FilterCondition = MailCondition;
FilterCondition BuildFilterCondition(const FilterEntry& entry);

// Registers on the connection, for its lifetime, the SQL functions of the contains rules:
//   kamo_contains(text, needle [, needle2])  needle occurs in text, byte for byte (UTF-8)
//   kamo_contains_nocase(text, foldedNeedle) needle occurs in the case-folded text
// and kamo_filter_serial(), the running number of tblFilterDt_Id within one run.
// Removes them again when destroyed.
class FilterSqlFunctions {
public:
    explicit FilterSqlFunctions(SQLite::Database& db);
    ~FilterSqlFunctions();
    FilterSqlFunctions(const FilterSqlFunctions&) = delete;
    FilterSqlFunctions& operator=(const FilterSqlFunctions&) = delete;

private:
    SQLite::Database& db_;
    long long serial_ = 0;
};

// Rebuilds tblFilterData from scratch in one transaction: one INSERT ... SELECT per filter with
// action code 0, in table order. tblFilterDt_Id counts the inserted rows from 1 on each run.
// Progress goes to the wait window's first two lines and its bar. On a database error the
// transaction is rolled back (the previous filter data stays) and the result is false.
bool RunFilters(SQLite::Database& db, const FilterTables& tables, WaitReporter& wait);

} // namespace kamo
