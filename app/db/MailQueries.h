#pragma once
// Queries over the mail table for the commands above the archive, each written once here: the mail
// of a key (for deletion and exports), whole mails by rowid, the friend book's names put into mail
// and taken back, the filter run's rows, the number of mails.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"
#include "db/Trash.h"

namespace kamo {

// The mail the lists show under one key: one mail, an address's (sender or receiver), a name's, a
// day's, or a filter's (its rows of tblFilterData, by their mails' keys).
struct MailGroup {
    enum class Kind { Mail, Address, Name, Date, Filter };
    Kind kind = Kind::Mail;
    MailKey mail;         // Kind::Mail
    std::string key;      // the address, name or date ("yyyy/mm/dd")
    int64_t filterNo = 0; // Kind::Filter
};

// How many stored mails the group holds.
int64_t CountMailGroup(SQLite::Database& db, const MailGroup& group);
// Moves the group's mail into the trash as one batch (MoveToTrash); the caller holds the transaction.
TrashMove TrashMailGroup(SQLite::Database& db, const MailGroup& group);

// The rowids of a group's mail, or of every mail (no group), oldest first by key; a filter's in the
// filter view's order. Read a piece at a time, for exports of any size.
class GroupRowStream {
public:
    GroupRowStream(SQLite::Database& db, const std::optional<MailGroup>& group);
    int64_t Total() const { return total_; }
    // Appends up to maxRows rowids; false once all have been given.
    bool Read(std::vector<int64_t>& out, size_t maxRows);

private:
    std::optional<SQLite::Statement> rows_;
    int64_t total_ = 0;
};

// Reads whole mails by rowid, the body joined from its sixteen pieces; one prepared statement.
class MailRowReader {
public:
    explicit MailRowReader(SQLite::Database& db);
    // Nothing when the mail is no longer there.
    std::optional<MailRecord> Read(int64_t rowId);

private:
    SQLite::Statement statement_;
};

// How many mails the archive holds.
int64_t MailCount(SQLite::Database& db);

// The friend book's names put into mail: the sender and receiver names of every mail whose address
// is in tblFriend become the friend's owner name (or pet name), where that name is not empty; the
// names the mail came with are kept in tblOriginalNames first. The number of names changed.
int64_t NameMailByFriends(SQLite::Database& db, bool petNames);
// The kept names back into their mails, and tblOriginalNames emptied; the number of mails changed.
int64_t PutBackKeptNames(SQLite::Database& db);

// A condition over tblKamoMail, with its named parameters and their values.
struct MailCondition {
    std::string where;
    std::vector<std::pair<std::string, std::string>> params; // (":name", value)
};
// The filter rules' conditions. The ...Is rules compare by the columns' own equality (COLLATE
// NOCASE) and so use their indexes; the ...Contains rules call the functions the filter run
// registers (filters/FilterRun.h, FilterSqlFunctions): kamo_contains on `value` and on `wide`, its
// full-width form, when that differs, kamo_contains_nocase on `value` case-folded already.
enum class MailRule { SubjectIs, SubjectContains, AddressIs, AddressContains, NameIs, NameContains };
MailCondition MailRuleCondition(MailRule rule, const std::string& value, const std::string& wide = {});
// Adds to tblFilterData the head of every mail the condition selects, as filter `filterNo`'s rows
// (tblFilterDt_Id from kamo_filter_serial()); how many.
int64_t InsertFilterRows(SQLite::Database& db, int64_t filterNo, const MailCondition& condition);

} // namespace kamo
