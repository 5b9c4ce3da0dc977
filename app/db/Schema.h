#pragma once
// The archive's tables, held as data so that creation and the version upgrade share one definition.
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

namespace kamo {

class Prompter;

struct ColumnDef {
    std::string name;
    std::string declaration; // type, collation and default, e.g. "TEXT COLLATE NOCASE NOT NULL DEFAULT ''"
};

struct IndexDef {
    std::string name;
    std::string columns; // "a, b"
};

// What a table holds: the user's data, which only the user's own commands change and every copy
// keeps, or derived data, made from the user's data and made again at any time (upkeep/TableRegistry).
enum class TableData { User, Derived };

// What makes a derived table again. The refresh of derived data runs them in this order: filter
// results first, then the look-ups, then the search index and the conversation index. The numbers
// are kept in archives (tblDerivedOwed): never renumbered.
enum class Rebuild {
    None = 0,
    FilterResults = 1,
    NameList = 2,
    AddressList = 3,
    SearchIndex = 4,
    ConversationIndex = 5,
    MonthCounts = 6
};

// Each table's kind, given where the table is defined, so that no table can be made without saying
// what it is.
struct TableKind {
    TableData data = TableData::User;
    Rebuild rebuild = Rebuild::None; // derived tables only
    bool exported = true;            // written by the CSV export
    // Its rows belong to a mail by their first six columns, tblKamoMail's key columns in key order:
    // they come and go with it.
    bool keyedByMail = false;
    // Derived tables: the user's tables it is made from. A change of one of them marks the table's
    // rebuild owed in the same transaction (tblDerivedOwed, by triggers), until the rebuild is done,
    // so a command killed between its commit and its refresh leaves the refresh to the next start.
    // Empty for derived data that keeps its own queue of changes (the search and conversation indexes).
    std::array<const char*, 2> madeFrom{};
};
inline constexpr TableKind kUserData{};
inline constexpr TableKind kKeptBesideMail{TableData::User, Rebuild::None, true, true};
constexpr TableKind DerivedData(Rebuild rebuild, bool exported, std::array<const char*, 2> madeFrom = {}) {
    return {TableData::Derived, rebuild, exported, false, madeFrom};
}

// A table by its name and kind: how the search layer declares the tables of its indexes (made by
// their own SQL), and what the registry holds of every table.
struct DeclaredTable : TableKind {
    std::string name;
};

struct TableDef {
    std::string name;
    std::vector<ColumnDef> columns; // creation order
    std::string primaryKeyName;     // empty: no named primary index
    std::vector<std::string> primaryKey;
    std::vector<IndexDef> indexes; // secondary indexes for browsing and filters
    TableKind kind;
};

// The six tables in creation order: tblKamoMail, tblSearch_Addresses, tblSearch_Name, tblFriend,
// tblFilter, tblFilterData.
const std::vector<TableDef>& ArchiveTables();

// Tables this program adds beside the six: tblAttachment, the attachments of stored mail, keyed by
// the six columns of tblKamoMail's primary index and the attachment's place in its mail; and
// tblOriginalNames, the names mail came with before the friend book renamed it; and tblHeaderFields,
// the header fields other mail programs need (its own message IDs, Cc, Reply-To), keyed like
// tblAttachment without a position (db/HeaderFields.h); and tblOriginal, what PostPet held for each
// mail, byte for byte (db/MailOriginals.h), keyed the same way. A new archive gets
// them with the six; an archive without them gets them when it is opened (AddMissingTables). The
// six are what makes an archive complete; these never do. All hold the user's data: these four
// are kept beside a mail (kKeptBesideMail); the trash's tables below are not, their rows belong to a
// batch.
const std::vector<TableDef>& AddedTables();

// tblDerivedOwed, added the same way after the trash's tables, holds the rebuilds owed (a Rebuild's
// number per row); derived itself, never exported.
inline constexpr const char* kOwedTable = "tblDerivedOwed";

// tblMonthCount, added after it: the mail of each month (tblMonthCount_Month, the first seven
// characters of the date, or a shorter date whole; NOCASE), received and sent, for every mail with a
// text date. Derived, never exported; triggers on tblKamoMail keep it exact whoever writes the mail,
// so it is counted from the mail only when it or one of its triggers is added (AddMissingTables) and
// when it is empty while mail is there (EnsureMonthCounts, the refresh's step).
inline constexpr const char* kMonthCountTable = "tblMonthCount";
// Counts every month again from the mail, in the caller's transaction.
void RecountMonths(SQLite::Database& db);
// No counts to read: no table, or an empty one while there is mail.
bool MonthCountsMissing(SQLite::Database& db);
// Counts them when the table is empty and the mail table is not; nothing otherwise.
void EnsureMonthCounts(SQLite::Database& db);

// The trash (db/Trash.h) is added the same way: tblTrash holds deleted mail rows, tblKamoMail's
// columns after the batch that deleted them (tblTrash_Batch, tblTrash_Time), and each table kept
// beside a mail has a twin, tblTrash + its name without "tbl", with its columns after tblTrash_Batch.
// Each pair below: tblKamoMail with tblTrash first, then each kept table with its twin.
struct TrashTwin {
    const TableDef* kept;
    const TableDef* trash;
};
const std::vector<TrashTwin>& TrashTwins();

// Triggers that keep the added tables in step with tblKamoMail, whichever command changes it:
// deleting a mail deletes its attachments, kept names, header fields and original, and a mail whose
// key columns change takes its attachments, header fields and original along. And those that mark
// derived data owed when a table it is made from changes (TableKind::madeFrom).
struct TriggerDef {
    std::string name;
    std::string sql; // the whole CREATE TRIGGER statement
};
const std::vector<TriggerDef>& ArchiveTriggers();

// CREATE TABLE statement of one table.
std::string CreateTableSql(const TableDef& table);

// Creates all six tables, the added tables, their indexes and the triggers in an open, empty database.
void CreateTables(SQLite::Database& db);

// Creates the added tables, their indexes and the triggers where the archive lacks them, and the
// declared indexes of the tables it has (MadeAfterFill), in one transaction. Writes nothing, and
// returns false, when all are there.
bool AddMissingTables(SQLite::Database& db);

// CREATE INDEX statement of one of a table's declared indexes.
std::string CreateIndexSql(const TableDef& table, const IndexDef& index);

// A bulk write into empty tables (a first read) without what keeps derived data in step row by row:
// - the declared indexes of the six and the added tables that hold no row when it begins;
// - with the mail table empty, its insert triggers that mark rebuilds owed and count the months
//   (the rebuilds are marked owed once, as the first insert would).
// They are dropped in a transaction of their own (so only outside one) and Made again afterwards in
// one transaction: each index from one sort of the rows, the months counted from the mail, which
// costs less than keeping them in step row by row. Queries in between find the same rows, more
// slowly. An archive left in between (the program killed, the making failed) gets them back, and
// its months counted, when it is next opened (AddMissingTables). What cannot be dropped stays.
class MadeAfterFill {
public:
    explicit MadeAfterFill(SQLite::Database& db);
    // Makes them again, and any other declared index the archive lacks, running `pump` while each
    // statement runs; the destructor does when it was not called, leaving a failure to the next open.
    void Make(const std::function<void()>& pump = {});
    ~MadeAfterFill();
    MadeAfterFill(const MadeAfterFill&) = delete;
    MadeAfterFill& operator=(const MadeAfterFill&) = delete;
    size_t DroppedIndexes() const { return dropped_.size(); }
    size_t DroppedTriggers() const { return triggers_.size(); }

private:
    SQLite::Database& db_;
    std::vector<std::pair<const TableDef*, const IndexDef*>> dropped_;
    std::vector<const TriggerDef*> triggers_;
};

// The rebuilds owed in the archive, in the order the refresh runs them; none in an archive without
// the table. Pay marks one done; its caller holds the transaction of the rebuilt data.
std::vector<Rebuild> OwedRebuilds(SQLite::Database& db);
void PayOwed(SQLite::Database& db, Rebuild done);

// Opens an existing archive (or creates the file when `create`), with the connection settings every
// part relies on. Throws SQLite::Exception on failure.
std::unique_ptr<SQLite::Database> OpenArchive(const std::filesystem::path& path, bool create = false);

// The process's SQLite settings, made once before its first connection (at the start of main):
// SQLite's memory statistics off. They take one lock around every allocation of every connection,
// and the read's two connections (its own and the search index's beside it) would wait for each
// other there at every row. False when SQLite was already in use (the settings stay).
bool ConfigureSqliteForProcess();

} // namespace kamo
