#include "export/MailSelection.h"

#include "db/MailRows.h"
#include "search/SearchQuery.h"

namespace kamo {
namespace {

const std::string kOldestFirst = " ORDER BY " + MailKeyColumns();

struct SelectionSql {
    std::string where; // over tblKamoMail, with ?1 for the key
    std::string from = "tblKamoMail";
    std::string order = kOldestFirst;
};

SelectionSql SqlOf(MailSelection::Kind kind) {
    switch (kind) {
    case MailSelection::Kind::Address:
        return {" WHERE " + MailAddressIs("?1")};
    case MailSelection::Kind::Name:
        return {" WHERE " + MailNameIs("?1")};
    case MailSelection::Kind::Date:
        return {" WHERE " + MailColumn::kYmd + " = ?1"};
    case MailSelection::Kind::Filter:
        // The filter view's rows name mails by their key; a row whose mail is gone names nothing.
        return {" WHERE tblFilterDt_No = ?1",
                "tblFilterData JOIN tblKamoMail ON " + MailColumn::kYmd + " = tblFilterDt_Date AND " +
                    MailColumn::kHms + " = tblFilterDt_Time AND " + MailColumn::kSubKey + " = tblFilterDt_SubKey AND " +
                    MailColumn::kFlag + " = tblFilterDt_SndRcvFlag AND " + MailColumn::kSndAdd +
                    " = tblFilterDt_SendAddr AND " + MailColumn::kRcvAdd + " = tblFilterDt_RecvAddr",
                " ORDER BY tblFilterDt_Date, tblFilterDt_Time, tblFilterDt_Id"};
    case MailSelection::Kind::Mail:
        return {" WHERE " + MailKeyCondition("tblKamoMail")};
    default:
        return {""};
    }
}

void BindKey(SQLite::Statement& st, const MailSelection& selection) {
    if (selection.kind == MailSelection::Kind::Filter)
        st.bind(1, selection.filterNo);
    else if (selection.kind == MailSelection::Kind::Mail)
        BindMailKey(st, 1, selection.mail);
    else if (selection.kind != MailSelection::Kind::All)
        st.bind(1, selection.key);
}

} // namespace

std::string MailSelection::Describe() const {
    switch (kind) {
    case Kind::All:
        return "すべてのメール";
    case Kind::Address:
        return "アドレス " + key;
    case Kind::Name:
        return "名前 " + key;
    case Kind::Date:
        return "日付 " + key;
    case Kind::Filter:
        return "フィルター " + (key.empty() ? std::to_string(filterNo) : key);
    case Kind::Search:
        return "検索結果 " + key;
    case Kind::Mail:
        return "表示中のメール " + (key.empty() ? std::string("（件名なし）") : key);
    }
    return {};
}

SelectionStream::SelectionStream(SQLite::Database& db, const MailSelection& selection) {
    if (selection.kind == MailSelection::Kind::Search) {
        search_ = std::make_unique<SearchStream>(db, selection.key);
        search_->SetSliceTime(std::chrono::milliseconds(0));
        return;
    }
    const SelectionSql sql = SqlOf(selection.kind);
    SQLite::Statement count(db, "SELECT COUNT(*) FROM " + sql.from + sql.where);
    BindKey(count, selection);
    total_ = count.executeStep() ? count.getColumn(0).getInt64() : 0;
    rows_ =
        std::make_unique<SQLite::Statement>(db, "SELECT tblKamoMail.rowid FROM " + sql.from + sql.where + sql.order);
    BindKey(*rows_, selection);
}

SelectionStream::~SelectionStream() = default;

bool SelectionStream::Read(std::vector<int64_t>& out, size_t maxRows) {
    if (done_)
        return false;
    if (search_) {
        done_ = !search_->Read(out, maxRows);
        return !done_;
    }
    for (size_t n = 0; n < maxRows; ++n) {
        if (!rows_->executeStep()) {
            done_ = true;
            return false;
        }
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

} // namespace kamo
