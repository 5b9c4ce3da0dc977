#include "db/MailStoreRows.h"

namespace kamo {
namespace {

// One look-up answers both questions: is there a copy, and which sub-keys are taken. The unary "+"
// keeps the planner on the primary index (date and time are nearly unique); the single-column
// address indexes would make every look-up scan all mail of one correspondent.
std::string ProbeSql() {
    using namespace MailColumn;
    return "SELECT MAX(CASE WHEN " + kSubject + " = ?1 THEN 1 ELSE 0 END), MAX(CASE WHEN " + kFlag + " = ?2 THEN " +
           kSubKey + " END), COUNT(*) FROM tblKamoMail WHERE ( " + kYmd + " = ?3 AND " + kHms + " = ?4 AND +" +
           kSndAdd + " = ?5 AND +" + kRcvAdd + " = ?6 )";
}

// `exact`: the addresses and the subject byte for byte too, not by the archive's text equality.
std::string SameBodySql(bool exact) {
    const std::string equal = exact ? " = ? COLLATE BINARY" : " = ?";
    using namespace MailColumn;
    std::string sql = "SELECT " + kSubKey + ", " + kFlag + ", " + kSndName + ", " + kRcvName +
                      " FROM tblKamoMail WHERE ( " + kYmd + " = ? AND " + kHms + " = ? AND +" + kSndAdd + equal +
                      " AND +" + kRcvAdd + equal + " AND +" + kSubject + equal;
    return sql + " AND " + MailBodyColumns("", " = ? COLLATE BINARY", " AND ") + " )";
}

const std::string kAttachmentKey = MailKeyCondition("tblAttachment");

// What a reading can change besides the key: the names, the subject and the body.
constexpr int kUpdateKeyFirst = 3 + kBodyPieces + 1;
std::string UpdateTextSql() {
    using namespace MailColumn;
    return "UPDATE tblKamoMail SET " + kSndName + " = ?1, " + kRcvName + " = ?2, " + kSubject + " = ?3, " +
           MailBodyColumns("", " = ?", ", ") + " WHERE " + MailKeyCondition("tblKamoMail", kUpdateKeyFirst);
}

// Every column of the row set anew, key columns included, for the row under the key after them.
std::string RekeySql() {
    std::string set;
    const std::string columns = MailColumns();
    size_t start = 0;
    while (start < columns.size()) {
        size_t end = columns.find(", ", start);
        if (end == std::string::npos)
            end = columns.size();
        set += (set.empty() ? "" : ", ") + columns.substr(start, end - start) + " = ?";
        start = end + 2;
    }
    return "UPDATE tblKamoMail SET " + set + " WHERE " + MailKeyCondition("tblKamoMail", kMailColumnCount + 1);
}

// The row under the key (?1 to ?6) holds these names, subject (?7 to ?9) and body pieces (?10 on),
// byte for byte.
std::string HoldsTextSql() {
    using namespace MailColumn;
    return "SELECT 1 FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail") + " AND " + kSndName +
           " = ?7 COLLATE BINARY AND " + kRcvName + " = ?8 COLLATE BINARY AND " + kSubject +
           " = ?9 COLLATE BINARY AND " + MailBodyColumns("", " = ? COLLATE BINARY", " AND ");
}
constexpr int kHoldsBodyFirst = 10;

// tblOriginalNames carries tblKamoMail's column names.
const std::string kKeptNamesKey = MailKeyCondition("tblKamoMail");

} // namespace

MailStoreRows::MailStoreRows(SQLite::Database& db)
    : probe_(db, ProbeSql()), sameBody_(db, SameBodySql(false)), sameText_(db, SameBodySql(true)),
      insert_(db, InsertMailSql()), updateText_(db, UpdateTextSql()), holdsText_(db, HoldsTextSql()),
      dropAttachments_(db, "DELETE FROM tblAttachment WHERE " + kAttachmentKey),
      attachmentCount_(db, "SELECT COUNT(*) FROM tblAttachment WHERE " + kAttachmentKey),
      sameAttachment_(db, "SELECT 1 FROM tblAttachment WHERE " + kAttachmentKey +
                              " AND tblAttachment_No = ?7 AND tblAttachment_Name = ?8 COLLATE BINARY AND "
                              "(tblAttachment_Type = ?9 COLLATE BINARY OR tblAttachment_Type = ?12 COLLATE BINARY) "
                              "AND tblAttachment_Size = ?10 AND tblAttachment_Data = ?11"),
      rekey_(db, RekeySql()),
      rowNames_(db, "SELECT " + MailColumn::kSndName + ", " + MailColumn::kRcvName + ", " + MailColumn::kInclude +
                        " FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail")),
      keptNames_(db, "SELECT " + MailColumn::kSndName + ", " + MailColumn::kRcvName + " FROM tblOriginalNames WHERE " +
                         kKeptNamesKey),
      dropKeptNames_(db, "DELETE FROM tblOriginalNames WHERE " + kKeptNamesKey),
      putKeptNames_(db, "INSERT INTO tblOriginalNames (" + MailKeyColumns() + ", " + MailColumn::kSndName + ", " +
                            MailColumn::kRcvName + ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)") {}

MailStoreRows::KeyProbe MailStoreRows::Probe(const MailRecord& mail) {
    probe_.reset();
    probe_.bind(1, mail.subject);
    probe_.bind(2, mail.sent ? 1 : 0);
    probe_.bind(3, mail.ymd);
    probe_.bind(4, mail.hms);
    probe_.bind(5, mail.sndAdd);
    probe_.bind(6, mail.rcvAdd);
    KeyProbe found;
    if (probe_.executeStep()) {
        found.sameSubject = !probe_.getColumn(0).isNull() && probe_.getColumn(0).getInt() == 1;
        if (!probe_.getColumn(1).isNull())
            found.nextSubKey = probe_.getColumn(1).getInt64() + 1;
        found.any = probe_.getColumn(2).getInt64() > 0;
    }
    probe_.reset();
    return found;
}

std::vector<MailStoreRows::SameRow> MailStoreRows::SameBody(const MailRecord& mail, const BodyPieces& pieces,
                                                            bool exact) {
    SQLite::Statement& st = exact ? sameText_ : sameBody_;
    st.reset();
    int n = 1;
    for (const auto* v : {&mail.ymd, &mail.hms, &mail.sndAdd, &mail.rcvAdd, &mail.subject})
        st.bind(n++, *v);
    BindBody(st, n, pieces);
    std::vector<SameRow> rows;
    while (st.executeStep())
        rows.push_back({st.getColumn(0).getInt64(), st.getColumn(1).getInt() != 0, st.getColumn(2).getString(),
                        st.getColumn(3).getString()});
    st.reset();
    return rows;
}

int64_t MailStoreRows::AttachmentCount(const MailKey& key) {
    attachmentCount_.reset();
    BindMailKey(attachmentCount_, 1, key);
    const int64_t count = attachmentCount_.executeStep() ? attachmentCount_.getColumn(0).getInt64() : 0;
    attachmentCount_.reset();
    return count;
}

bool MailStoreRows::SameAttachment(const MailKey& key, int64_t position, const Attachment& attachment, bool exactType) {
    sameAttachment_.reset();
    BindMailKey(sameAttachment_, 1, key);
    sameAttachment_.bind(7, position);
    sameAttachment_.bind(8, attachment.name);
    sameAttachment_.bind(9, attachment.contentType);
    // An earlier reading kept a text's media type without its charset: the same attachment.
    sameAttachment_.bind(12, exactType ? attachment.contentType : MediaTypeOf(attachment.contentType));
    sameAttachment_.bind(10, static_cast<int64_t>(attachment.bytes.size()));
    // The bytes are compared by SQLite where they are stored: no copy of them comes out.
    sameAttachment_.bindNoCopy(11, static_cast<const void*>(attachment.bytes.data()),
                               static_cast<int>(attachment.bytes.size()));
    const bool same = sameAttachment_.executeStep();
    sameAttachment_.reset();
    return same;
}

void MailStoreRows::DropAttachments(const MailKey& key) {
    dropAttachments_.reset();
    BindMailKey(dropAttachments_, 1, key);
    dropAttachments_.exec();
    dropAttachments_.reset();
}

void MailStoreRows::Insert(const MailRecord& mail, const BodyPieces& pieces) {
    insert_.reset();
    BindMailRow(insert_, 1, mail, pieces);
    insert_.exec();
    insert_.reset();
}

void MailStoreRows::UpdateText(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces) {
    updateText_.reset();
    int n = 1;
    for (const auto* v : {&mail.sndName, &mail.rcvName, &mail.subject})
        updateText_.bind(n++, *v);
    BindMailKey(updateText_, BindBody(updateText_, n, pieces), row);
    updateText_.exec();
    updateText_.reset();
}

void MailStoreRows::Rekey(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces) {
    rekey_.reset();
    BindMailKey(rekey_, BindMailRow(rekey_, 1, mail, pieces), row);
    rekey_.exec();
    rekey_.reset();
}

bool MailStoreRows::HoldsText(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces) {
    holdsText_.reset();
    BindMailKey(holdsText_, 1, row);
    int n = 7;
    for (const auto* v : {&mail.sndName, &mail.rcvName, &mail.subject})
        holdsText_.bind(n++, *v);
    BindBody(holdsText_, kHoldsBodyFirst, pieces);
    const bool sameText = holdsText_.executeStep();
    holdsText_.reset();
    return sameText;
}

std::optional<MailStoreRows::RowNames> MailStoreRows::NamesOf(const MailKey& row) {
    rowNames_.reset();
    BindMailKey(rowNames_, 1, row);
    std::optional<RowNames> names;
    if (rowNames_.executeStep())
        names = RowNames{rowNames_.getColumn(0).getString(), rowNames_.getColumn(1).getString(),
                         rowNames_.getColumn(2).getString()};
    rowNames_.reset();
    return names;
}

std::optional<std::pair<std::string, std::string>> MailStoreRows::KeptNames(const MailKey& key) {
    std::optional<std::pair<std::string, std::string>> kept;
    keptNames_.reset();
    BindMailKey(keptNames_, 1, key);
    if (keptNames_.executeStep())
        kept.emplace(keptNames_.getColumn(0).getString(), keptNames_.getColumn(1).getString());
    keptNames_.reset();
    return kept;
}

void MailStoreRows::DropKeptNames(const MailKey& key) {
    dropKeptNames_.reset();
    BindMailKey(dropKeptNames_, 1, key);
    dropKeptNames_.exec();
    dropKeptNames_.reset();
}

void MailStoreRows::PutKeptNames(const MailKey& key, const std::string& sndName, const std::string& rcvName) {
    putKeptNames_.reset();
    BindMailKey(putKeptNames_, 1, key);
    putKeptNames_.bind(7, sndName);
    putKeptNames_.bind(8, rcvName);
    putKeptNames_.exec();
    putKeptNames_.reset();
}

} // namespace kamo
