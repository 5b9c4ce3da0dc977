#pragma once
// What the main window's lists show: the keys of each view mode, the subject lines of a key, the
// name and address look-up tables behind the first two modes.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "browse/ViewModes.h"
#include "common/MailRecord.h"

struct sqlite3_stmt;

namespace kamo {

// One line of the left list. In filter mode the filter number travels with the line.
struct KeyItem {
    std::string text;
    int64_t filterNo = 0;
};

std::vector<KeyItem> FillAddressList(SQLite::Database& db);
std::vector<KeyItem> FillNameList(SQLite::Database& db);
// Each date once, newest first.
std::vector<KeyItem> FillDateList(SQLite::Database& db);
std::vector<KeyItem> FillFilterList(SQLite::Database& db);
// The filler of a mode.
std::vector<KeyItem> FillKeyList(SQLite::Database& db, ViewMode mode);

// One line of the right list: the mail's identity and the text shown.
struct SubjectLine {
    MailKey key;
    std::string subject;
    std::string text;
};

// The lines of a key as row ids, in display order. Large keys (the owner's own address is in every
// mail) must not cost a formatted string per line up front, so the list keeps ids and formats the
// lines it actually shows.
enum class SubjectSource { Mail, FilterData };
struct SubjectRows {
    SubjectSource source = SubjectSource::Mail;
    std::vector<int64_t> rowIds;
};

// The row ids of a key's lines in display order, read a piece at a time so that a list of a million
// lines can show its first screen at once and take in the rest while the user reads.
class SubjectRowStream {
public:
    // Address, name or date mode; `key` is the chosen left-list text.
    SubjectRowStream(SQLite::Database& db, ViewMode mode, const std::string& key);
    // Filter mode: the filter's rows of tblFilterData.
    SubjectRowStream(SQLite::Database& db, int64_t filterNo);
    ~SubjectRowStream();
    SubjectRowStream(const SubjectRowStream&) = delete;
    SubjectRowStream& operator=(const SubjectRowStream&) = delete;

    SubjectSource Source() const { return source_; }
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

    SubjectSource source_ = SubjectSource::Mail;
    Cursor first_;
    Cursor second_; // only in address and name mode: the receiver side
};

// The whole id list at once.
SubjectRows QuerySubjectRows(SQLite::Database& db, ViewMode mode, const std::string& key);
SubjectRows QueryFilterSubjectRows(SQLite::Database& db, int64_t filterNo);

// Reads and formats single lines by row id; keeps its statement prepared.
class SubjectLineReader {
public:
    SubjectLineReader(SQLite::Database& db, SubjectSource source);
    // Throws std::out_of_range when the row is gone.
    SubjectLine Read(int64_t rowId);

private:
    SQLite::Statement statement_;
};

// The whole right list at once (tests, command line).
std::vector<SubjectLine> FillSubjectList(SQLite::Database& db, ViewMode mode, const std::string& key);
std::vector<SubjectLine> FillFilterSubjectList(SQLite::Database& db, int64_t filterNo);

// "表示件数　：　" N " 件"
std::string RecCountText(size_t count);

// date8 "yyyymmdd", time6 "hhmmss". Pads the part before the subject to 55 CP932 bytes, so subjects
// line up in a fixed-pitch font.
std::string FormatSubjectLine(std::string_view date8, std::string_view time6, bool sent, std::string_view sndName,
                              std::string_view rcvName, std::string_view subject);
// The same from a stored mail's identity ("yyyy/mm/dd", "hh:mm:ss").
std::string FormatSubjectLine(const MailKey& key, std::string_view subject);

// Refill tblSearch_Name / tblSearch_Addresses with the distinct sender and receiver names /
// addresses of all stored mail.
void RebuildNameList(SQLite::Database& db);
void RebuildAddressList(SQLite::Database& db);

} // namespace kamo
