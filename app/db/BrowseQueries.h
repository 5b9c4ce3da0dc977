#pragma once
// What the main window's lists read from the archive, each one query: the keys of the left list, a
// key's mail in the lists' order (a piece at a time), a line's head, a mail by its key, the mail of
// every month. The browse paths have 100 ms at a million mails: statements stay prepared where a
// caller reads row after row, and each query is written for the index it walks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"

struct sqlite3_stmt;

namespace kamo {

// The look-up lists' keys in their order (tblSearch_Addresses, tblSearch_Name).
std::vector<std::string> AddressKeys(SQLite::Database& db);
std::vector<std::string> NameKeys(SQLite::Database& db);
// Each date of the mail once, newest first.
std::vector<std::string> DateKeys(SQLite::Database& db);
// The filters in their order, as the filter view lists them.
struct FilterKey {
    int64_t number = 0;
    std::string header;
    int64_t actionCode = 0;
};
std::vector<FilterKey> FilterKeys(SQLite::Database& db);

// The row ids of a key's lines in the lists' order, read a piece at a time: a key's mail of
// tblKamoMail by address or name (sender or receiver), or of one date, or a filter's rows of
// tblFilterData.
class KeyRowStream {
public:
    enum class By { Address, Name, Date };
    // `month` ("yyyy/mm", by address or name) keeps the key's mail of that month only.
    KeyRowStream(SQLite::Database& db, By by, const std::string& key, const std::string& month = {});
    // The filter's rows of tblFilterData.
    KeyRowStream(SQLite::Database& db, int64_t filterNo);
    ~KeyRowStream();
    KeyRowStream(const KeyRowStream&) = delete;
    KeyRowStream& operator=(const KeyRowStream&) = delete;

    // Appends up to maxRows ids to `out`; false once every row has been read.
    bool Read(std::vector<int64_t>& out, size_t maxRows);
    bool Done() const;

private:
    // One ordered index range: the current row's id and sort columns. Read through the engine's own
    // calls: a million rows pass through here, and a wrapper object per value doubles the cost.
    struct StatementFinalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    struct Cursor {
        std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement;
        bool hasRow = false;
        void Prepare(SQLite::Database& db, const char* sql);
        void Step();
        int64_t Id() const;
    };
    // Sort order of the two halves' current rows: the three sort columns, then the row id.
    int Compare(const Cursor& a, const Cursor& b) const;

    Cursor first_;
    Cursor second_; // only by address and name: the receiver side
};

// Reads the head of single lines by row id (of tblKamoMail, or of tblFilterData, whose rows hold a
// copy of their mail's head); keeps its statement prepared.
class MailHeadReader {
public:
    MailHeadReader(SQLite::Database& db, bool filterRows);
    // False when the row is gone.
    bool Read(int64_t rowId, MailKey& key, std::string& subject);

private:
    SQLite::Statement statement_;
};

// The stored mail with this identity (date, time, sub-key, both addresses, any non-zero direction
// flag being a sent mail's, as the lists read it), its body joined from all sixteen pieces.
std::optional<MailRecord> ReadMailOfKey(SQLite::Database& db, const MailKey& key);

// Finds mails' rows by their keys, one prepared statement for many.
class MailRowFinder {
public:
    explicit MailRowFinder(SQLite::Database& db);
    // The rowid of the mail `key` in tblKamoMail, or nothing when it is not there.
    std::optional<int64_t> Find(const MailKey& key);

private:
    SQLite::Statement statement_;
};

// One month's mail. `month` is the first seven characters of the mail's date ("yyyy/mm").
struct MonthCount {
    std::string month;
    int64_t received = 0;
    int64_t sent = 0; // the mail table's direction flag set
    bool operator==(const MonthCount&) const = default;
};
// Every month that has mail, oldest first (mail without a date counts in no month): the whole
// archive, or the mail from or to an address, or from or to a name.
std::vector<MonthCount> CountMonths(SQLite::Database& db);
std::vector<MonthCount> CountMonthsOfAddress(SQLite::Database& db, const std::string& address);
std::vector<MonthCount> CountMonthsOfName(SQLite::Database& db, const std::string& name);

} // namespace kamo
