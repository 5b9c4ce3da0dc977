#include "db/MailQueries.h"

#include "db/MailRows.h"

namespace kamo {
namespace {

// The rows of a group, as the view that lists them selects them.
std::string Where(const MailGroup& group) {
    using namespace MailColumn;
    switch (group.kind) {
    case MailGroup::Kind::Mail:
        return kYmd + " = :ymd AND " + kHms + " = :hms AND " + kSubKey + " = :sub AND " + kFlag + " = :flag AND " +
               kSndAdd + " = :snd AND " + kRcvAdd + " = :rcv";
    case MailGroup::Kind::Address:
        return MailAddressIs(":key");
    case MailGroup::Kind::Name:
        return MailNameIs(":key");
    case MailGroup::Kind::Date:
        return kYmd + " = :key";
    case MailGroup::Kind::Filter:
        return "EXISTS (SELECT 1 FROM tblFilterData WHERE tblFilterDt_No = :no AND tblFilterDt_Date = " + kYmd +
               " AND tblFilterDt_Time = " + kHms + " AND tblFilterDt_SubKey = " + kSubKey +
               " AND tblFilterDt_SndRcvFlag = " + kFlag + " AND tblFilterDt_SendAddr = " + kSndAdd +
               " AND tblFilterDt_RecvAddr = " + kRcvAdd + ")";
    }
    return "0";
}

void Bind(SQLite::Statement& st, const MailGroup& group) {
    switch (group.kind) {
    case MailGroup::Kind::Mail:
        st.bind(":ymd", group.mail.ymd);
        st.bind(":hms", group.mail.hms);
        st.bind(":sub", group.mail.subKey);
        st.bind(":flag", group.mail.sent ? 1 : 0);
        st.bind(":snd", group.mail.sndAdd);
        st.bind(":rcv", group.mail.rcvAdd);
        return;
    case MailGroup::Kind::Filter:
        st.bind(":no", group.filterNo);
        return;
    default:
        st.bind(":key", group.key);
        return;
    }
}

const std::string kOldestFirst = " ORDER BY " + MailKeyColumns();

// An export's rows: the same mail as Where() selects, in the order the export writes them.
struct SelectionSql {
    std::string where; // over tblKamoMail, with ?1 for the key
    std::string from = "tblKamoMail";
    std::string order = kOldestFirst;
};

SelectionSql SqlOf(const std::optional<MailGroup>& group) {
    if (!group)
        return {""};
    switch (group->kind) {
    case MailGroup::Kind::Address:
        return {" WHERE " + MailAddressIs("?1")};
    case MailGroup::Kind::Name:
        return {" WHERE " + MailNameIs("?1")};
    case MailGroup::Kind::Date:
        return {" WHERE " + MailColumn::kYmd + " = ?1"};
    case MailGroup::Kind::Filter:
        // The filter view's rows name mails by their key; a row whose mail is gone names nothing.
        return {" WHERE tblFilterDt_No = ?1",
                "tblFilterData JOIN tblKamoMail ON " + MailColumn::kYmd + " = tblFilterDt_Date AND " +
                    MailColumn::kHms + " = tblFilterDt_Time AND " + MailColumn::kSubKey + " = tblFilterDt_SubKey AND " +
                    MailColumn::kFlag + " = tblFilterDt_SndRcvFlag AND " + MailColumn::kSndAdd +
                    " = tblFilterDt_SendAddr AND " + MailColumn::kRcvAdd + " = tblFilterDt_RecvAddr",
                " ORDER BY tblFilterDt_Date, tblFilterDt_Time, tblFilterDt_Id"};
    case MailGroup::Kind::Mail:
        return {" WHERE " + MailKeyCondition("tblKamoMail")};
    }
    return {""};
}

void BindKey(SQLite::Statement& st, const std::optional<MailGroup>& group) {
    if (!group)
        return;
    if (group->kind == MailGroup::Kind::Filter)
        st.bind(1, group->filterNo);
    else if (group->kind == MailGroup::Kind::Mail)
        BindMailKey(st, 1, group->mail);
    else
        st.bind(1, group->key);
}

} // namespace

int64_t CountMailGroup(SQLite::Database& db, const MailGroup& group) {
    SQLite::Statement st(db, "SELECT COUNT(*) FROM tblKamoMail WHERE " + Where(group));
    Bind(st, group);
    return st.executeStep() ? st.getColumn(0).getInt64() : 0;
}

TrashMove TrashMailGroup(SQLite::Database& db, const MailGroup& group) {
    return MoveToTrash(db, Where(group), [&](SQLite::Statement& st) { Bind(st, group); });
}

GroupRowStream::GroupRowStream(SQLite::Database& db, const std::optional<MailGroup>& group) {
    const SelectionSql sql = SqlOf(group);
    SQLite::Statement count(db, "SELECT COUNT(*) FROM " + sql.from + sql.where);
    BindKey(count, group);
    total_ = count.executeStep() ? count.getColumn(0).getInt64() : 0;
    rows_.emplace(db, "SELECT tblKamoMail.rowid FROM " + sql.from + sql.where + sql.order);
    BindKey(*rows_, group);
}

bool GroupRowStream::Read(std::vector<int64_t>& out, size_t maxRows) {
    for (size_t n = 0; n < maxRows; ++n) {
        if (!rows_->executeStep())
            return false;
        out.push_back(rows_->getColumn(0).getInt64());
    }
    return true;
}

MailRowReader::MailRowReader(SQLite::Database& db)
    : statement_(db, "SELECT " + MailColumns() + " FROM tblKamoMail WHERE rowid = ?1") {}

std::optional<MailRecord> MailRowReader::Read(int64_t rowId) {
    statement_.reset();
    statement_.bind(1, rowId);
    if (!statement_.executeStep())
        return std::nullopt;
    MailRecord mail = ReadMailRow(statement_);
    statement_.reset();
    return mail;
}

int64_t MailCount(SQLite::Database& db) {
    return db.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
}

int64_t NameMailByFriends(SQLite::Database& db, bool petNames) {
    const std::string name = petNames ? "tblFriend_Pet" : "tblFriend_Name";
    // The names the mail came with, before the first renaming touches them.
    using namespace MailColumn;
    db.exec("INSERT OR IGNORE INTO tblOriginalNames SELECT " + MailKeyColumns() + ", " + kSndName + ", " + kRcvName +
            " FROM tblKamoMail WHERE " + kSndAdd + " IN (SELECT tblFriend_Address FROM tblFriend) OR " + kRcvAdd +
            " IN (SELECT tblFriend_Address FROM tblFriend)");
    // The friend's name for the address in column `address`, and whether the friend has one.
    const auto pick = [&](const std::string& address) {
        return "(SELECT " + name + " FROM tblFriend WHERE tblFriend_Address = " + address + ")";
    };
    const auto has = [&](const std::string& address) {
        return "EXISTS (SELECT 1 FROM tblFriend WHERE trim(ifnull(" + name +
               ", '')) <> '' AND tblFriend_Address = " + address + ")";
    };
    int64_t changed = 0;
    for (const auto& [nameColumn, address] : {std::pair{kSndName, kSndAdd}, std::pair{kRcvName, kRcvAdd}})
        changed += db.exec("UPDATE tblKamoMail SET " + nameColumn + " = " + pick(address) + " WHERE " + has(address) +
                           " AND " + nameColumn + " IS NOT " + pick(address));
    return changed;
}

int64_t PutBackKeptNames(SQLite::Database& db) {
    const int64_t changed =
        db.exec("UPDATE tblKamoMail SET " + MailColumn::kSndName + " = o." + MailColumn::kSndName + ", " +
                MailColumn::kRcvName + " = o." + MailColumn::kRcvName +
                // tblOriginalNames names its key columns as tblKamoMail does.
                " FROM tblOriginalNames AS o WHERE " + MailKeyMatch("o.tblKamoMail", "tblKamoMail.tblKamoMail"));
    db.exec("DELETE FROM tblOriginalNames");
    return changed;
}

MailCondition MailRuleCondition(MailRule rule, const std::string& value, const std::string& wide) {
    using namespace MailColumn;
    MailCondition c;
    switch (rule) {
    case MailRule::SubjectIs:
        c.where = kSubject + " = :cond";
        c.params = {{":cond", value}};
        break;
    case MailRule::SubjectContains:
        if (wide == value) {
            c.where = "kamo_contains(" + kSubject + ", :cond)";
            c.params = {{":cond", value}};
        } else {
            c.where = "kamo_contains(" + kSubject + ", :cond, :wide)";
            c.params = {{":cond", value}, {":wide", wide}};
        }
        break;
    case MailRule::AddressIs:
        c.where = MailAddressIs(":cond");
        c.params = {{":cond", value}};
        break;
    case MailRule::AddressContains:
        c.where = "kamo_contains_nocase(" + kSndAdd + ", :folded) or kamo_contains_nocase(" + kRcvAdd + ", :folded)";
        c.params = {{":folded", value}};
        break;
    case MailRule::NameIs:
        c.where = MailNameIs(":cond");
        c.params = {{":cond", value}};
        break;
    case MailRule::NameContains:
        c.where = "kamo_contains_nocase(" + kSndName + ", :folded) or kamo_contains_nocase(" + kRcvName + ", :folded)";
        c.params = {{":folded", value}};
        break;
    }
    return c;
}

namespace {
// The mail's columns in the order of tblFilterData's after its id and number.
std::string FilterDataColumnsOfMail() {
    using namespace MailColumn;
    return kYmd + ", " + kHms + ", " + kSubKey + ", " + kSndName + ", " + kSndAdd + ", " + kRcvName + ", " + kRcvAdd +
           ", " + kFlag + ", " + kSubject;
}
} // namespace

int64_t InsertFilterRows(SQLite::Database& db, int64_t filterNo, const MailCondition& condition) {
    SQLite::Statement insert(
        db, "INSERT INTO tblFilterData ( tblFilterDt_Id, tblFilterDt_No, tblFilterDt_Date, tblFilterDt_Time, "
            "tblFilterDt_SubKey, tblFilterDt_SendName, tblFilterDt_SendAddr, tblFilterDt_RecvName, "
            "tblFilterDt_RecvAddr, tblFilterDt_SndRcvFlag, tblFilterDt_Subject ) "
            "SELECT kamo_filter_serial(), :no, " +
                FilterDataColumnsOfMail() + " FROM tblKamoMail WHERE " + condition.where);
    insert.bind(":no", filterNo);
    for (const auto& [name, value] : condition.params)
        insert.bind(name, value);
    return insert.exec();
}

} // namespace kamo
