#include "import/MailStore.h"

#include "common/AsciiText.h"
#include "import/MailDecode.h"

#include <algorithm>
#include <sqlite3.h>

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

bool SameAttachmentList(const std::vector<const Attachment*>& a, const std::vector<const Attachment*>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Attachment* x, const Attachment* y) {
        return x->name == y->name && x->contentType == y->contentType && x->bytes == y->bytes;
    });
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string BodyCutNote(std::size_t originalBytes) {
    return "\r\n\r\n（本文が長すぎるため、ここで切りました。元の長さ " + std::to_string(originalBytes) + " バイト）";
}

bool CutBody(std::string& body, std::size_t maxBytes) {
    if (body.size() <= maxBytes)
        return false;
    const std::string note = BodyCutNote(body.size());
    std::size_t keep = maxBytes > note.size() ? maxBytes - note.size() : 0;
    while (keep > 0 && IsContinuationByte(body[keep]))
        --keep; // never half a character
    body.resize(keep);
    body += note;
    return true;
}

std::string AttachmentTooLargeNote(const std::string& name, std::size_t bytes) {
    return "\r\n（添付ファイル「" + name + "」は大きすぎるため保存できませんでした。" + std::to_string(bytes) +
           " バイト）";
}

MailStore::MailStore(SQLite::Database& db, Claims claims)
    : db_(db), probe_(db, ProbeSql()), sameBody_(db, SameBodySql(false)), sameText_(db, SameBodySql(true)),
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
                            MailColumn::kRcvName + ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
      attachments_(db), headerFields_(db), originals_(db), originalReader_(db), trash_(db),
      claimed_(std::move(claims)) {}

bool MailStore::SameAttachments(const MailRecord& mail, const std::vector<const Attachment*>& attachments,
                                bool exactType) {
    attachmentCount_.reset();
    BindMailKey(attachmentCount_, 1, KeyOf(mail));
    const bool sameCount = attachmentCount_.executeStep() &&
                           attachmentCount_.getColumn(0).getInt64() == static_cast<int64_t>(attachments.size());
    attachmentCount_.reset();
    if (!sameCount)
        return false;
    int64_t position = 0;
    for (const auto* attachment : attachments) {
        sameAttachment_.reset();
        BindMailKey(sameAttachment_, 1, KeyOf(mail));
        sameAttachment_.bind(7, ++position);
        sameAttachment_.bind(8, attachment->name);
        sameAttachment_.bind(9, attachment->contentType);
        // An earlier reading kept a text's media type without its charset: the same attachment.
        sameAttachment_.bind(12, exactType ? attachment->contentType : MediaTypeOf(attachment->contentType));
        sameAttachment_.bind(10, static_cast<int64_t>(attachment->bytes.size()));
        // The bytes are compared by SQLite where they are stored: no copy of them comes out.
        sameAttachment_.bindNoCopy(11, static_cast<const void*>(attachment->bytes.data()),
                                   static_cast<int>(attachment->bytes.size()));
        const bool same = sameAttachment_.executeStep();
        sameAttachment_.reset();
        if (!same)
            return false;
    }
    return true;
}

std::optional<MailStore::StoredRow> MailStore::FindSameBody(const MailRecord& mail, const BodyPieces& pieces,
                                                            const std::vector<const Attachment*>& attachments,
                                                            bool exact) {
    SQLite::Statement& st = exact ? sameText_ : sameBody_;
    st.reset();
    int n = 1;
    for (const auto* v : {&mail.ymd, &mail.hms, &mail.sndAdd, &mail.rcvAdd, &mail.subject})
        st.bind(n++, *v);
    BindBody(st, n, pieces);
    std::vector<StoredRow> rows;
    while (st.executeStep())
        rows.push_back({st.getColumn(0).getInt64(), st.getColumn(1).getInt() != 0, st.getColumn(2).getString(),
                        st.getColumn(3).getString()});
    st.reset();
    for (const auto& row : rows) {
        // The same text with other attachments is another mail.
        MailRecord stored = mail;
        stored.subKey = row.subKey;
        stored.sent = row.sent;
        if (SameAttachments(stored, attachments))
            return row;
    }
    return std::nullopt;
}

void MailStore::StoreAttachments(const MailRecord& mail, const std::vector<const Attachment*>& attachments) {
    const MailKey key = KeyOf(mail);
    int64_t position = 0;
    for (const auto* attachment : attachments)
        attachments_.Add(key, ++position, *attachment);
}

std::vector<const Attachment*> MailStore::Fit(MailRecord& mail, const std::vector<Attachment>& attachments,
                                              bool& cut) const {
    // What the row may hold besides the body; the rest of the connection's limit is the body's.
    const std::size_t limit =
        static_cast<std::size_t>(std::max(0, sqlite3_limit(db_.getHandle(), SQLITE_LIMIT_LENGTH, -1)));
    std::size_t others = 1024;
    for (const auto* v :
         {&mail.ymd, &mail.hms, &mail.sndName, &mail.sndAdd, &mail.rcvName, &mail.rcvAdd, &mail.subject})
        others += v->size() + 16;
    // An attachment is a row of its own, under the same limit.
    std::vector<const Attachment*> fitting;
    cut = false;
    for (const auto& attachment : attachments) {
        if (attachment.bytes.size() + others + attachment.name.size() + attachment.contentType.size() <= limit) {
            fitting.push_back(&attachment);
        } else {
            mail.body += AttachmentTooLargeNote(attachment.name, attachment.bytes.size());
            cut = true;
        }
    }
    const std::size_t bodyLimit = limit > others ? limit - others : 0;
    cut = CutBody(mail.body, bodyLimit) || cut;
    return fitting;
}

MailStore::Outcome MailStore::KeepHeaders(const MailRecord& mail, const StoredRow& row, const HeaderFields& headers,
                                          const KeptOriginal* original) {
    const MailKey key = RowOf(mail, row);
    claimed_.insert(ClaimedKey(key));
    if (!headers.Empty())
        headerFields_.Keep(key, headers);
    if (original)
        originals_.KeepPacked(key, original->packed, original->mailbox, kDecodingVersion);
    return Outcome::AlreadyStored;
}

MailKey MailStore::RowOf(const MailRecord& mail, const StoredRow& row) {
    MailKey key = KeyOf(mail);
    key.subKey = row.subKey;
    key.sent = row.sent;
    return key;
}

MailStore::RowKey MailStore::ClaimedKey(const MailKey& key) {
    // The key columns compare as the primary index does: addresses with letter case ignored.
    return {key.ymd, key.hms, key.subKey, key.sent, ToLowerAscii(key.sndAdd), ToLowerAscii(key.rcvAdd)};
}

MailStore::Outcome MailStore::Store(MailRecord& mail, const std::vector<Attachment>& attachments,
                                    const std::function<std::vector<DecodedMail>()>& earlier,
                                    const HeaderFields& headers, const KeptOriginal* original) {
    // An original larger than the archive takes as one value is not kept; the mail is stored as ever.
    if (original && original->packed.size() + 1024 >
                        static_cast<std::size_t>(std::max(0, sqlite3_limit(db_.getHandle(), SQLITE_LIMIT_LENGTH, -1))))
        original = nullptr;
    // What this program stored before values were made storable is an earlier reading, too.
    std::optional<DecodedMail> asDecoded;
    if (!IsStorable(mail)) {
        asDecoded.emplace();
        asDecoded->record = mail;
        MakeStorable(mail);
    }
    probe_.reset();
    probe_.bind(1, mail.subject);
    probe_.bind(2, mail.sent ? 1 : 0);
    probe_.bind(3, mail.ymd);
    probe_.bind(4, mail.hms);
    probe_.bind(5, mail.sndAdd);
    probe_.bind(6, mail.rcvAdd);
    bool sameHeader = false;
    bool sameKey = false; // a row with this date, time and addresses
    int64_t subKey = 0;
    if (probe_.executeStep()) {
        sameHeader = !probe_.getColumn(0).isNull() && probe_.getColumn(0).getInt() == 1;
        if (!probe_.getColumn(1).isNull())
            subKey = probe_.getColumn(1).getInt64() + 1;
        sameKey = probe_.getColumn(2).getInt64() > 0;
    }
    probe_.reset();

    bool cut = false;
    const std::vector<const Attachment*> fitting = Fit(mail, attachments, cut);
    const auto pieces = DivideBody(mail.body);
    std::optional<StoredRow> same;
    if (sameHeader)
        same = FindSameBody(mail, pieces, fitting);
    if (same && same->sndName == mail.sndName && same->rcvName == mail.rcvName)
        return KeepHeaders(mail, *same, headers, original);
    if (sameKey && (earlier || asDecoded)) {
        std::vector<DecodedMail> forms;
        if (asDecoded) {
            asDecoded->attachments = attachments;
            forms.push_back(std::move(*asDecoded));
        }
        if (earlier)
            for (DecodedMail& form : earlier())
                forms.push_back(std::move(form));
        // The row an earlier reading stored gets this reading's text and attachments in place, and
        // only that row: its key columns, subject, names, body and attachments exactly as that
        // reading gives them, and not stored or found by this read for another mail. The key
        // columns stay: a reading that gives other addresses is no earlier form of this mail.
        for (DecodedMail& form : forms) {
            MailRecord& old = form.record;
            if (old.ymd != mail.ymd || old.hms != mail.hms || old.sndAdd != mail.sndAdd || old.rcvAdd != mail.rcvAdd)
                continue;
            bool oldCut = false;
            const std::vector<const Attachment*> oldFitting = Fit(old, form.attachments, oldCut);
            if (old.subject == mail.subject && old.body == mail.body && old.sndName == mail.sndName &&
                old.rcvName == mail.rcvName && SameAttachmentList(oldFitting, fitting))
                continue; // this reading gives the same: nothing to bring up to date
            const auto row = FindSameBody(old, DivideBody(old.body), oldFitting, true);
            if (!row || row->sndName != old.sndName || row->rcvName != old.rcvName)
                continue;
            if (claimed_.contains(ClaimedKey(RowOf(mail, *row))))
                continue; // the row of another mail of this read: never replaced
            if (originalReader_.Has(RowOf(mail, *row)))
                continue; // a row read from its own original is that original's reading
            mail.subKey = row->subKey;
            mail.sent = row->sent;
            updateText_.reset();
            int n = 1;
            for (const auto* v : {&mail.sndName, &mail.rcvName, &mail.subject})
                updateText_.bind(n++, *v);
            BindMailKey(updateText_, BindBody(updateText_, n, pieces), KeyOf(mail));
            updateText_.exec();
            updateText_.reset();
            dropAttachments_.reset();
            BindMailKey(dropAttachments_, 1, KeyOf(mail));
            dropAttachments_.exec();
            dropAttachments_.reset();
            StoreAttachments(mail, fitting);
            headerFields_.Put(KeyOf(mail), headers);
            if (original)
                originals_.KeepPacked(KeyOf(mail), original->packed, original->mailbox, kDecodingVersion);
            claimed_.insert(ClaimedKey(KeyOf(mail)));
            return Outcome::Updated;
        }
    }
    if (same) // stored with other names than this reading's, by no reading known here
        return KeepHeaders(mail, *same, headers, original);
    // The second look: a mail the user deleted is in the trash and is not stored again.
    if (trash_.Holds(mail, fitting))
        return Outcome::InTrash;

    mail.subKey = subKey;
    insert_.reset();
    BindMailRow(insert_, 1, mail, pieces);
    insert_.exec();
    insert_.reset();
    StoreAttachments(mail, fitting);
    if (!headers.Empty())
        headerFields_.Put(KeyOf(mail), headers);
    if (original)
        originals_.PutPacked(KeyOf(mail), original->packed, original->mailbox, kDecodingVersion);
    claimed_.insert(ClaimedKey(KeyOf(mail)));
    return cut ? Outcome::StoredCut : Outcome::Stored;
}

bool MailStore::HoldsReading(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces,
                             const std::vector<const Attachment*>& attachments, const HeaderFields& headers) {
    holdsText_.reset();
    BindMailKey(holdsText_, 1, row);
    int n = 7;
    for (const auto* v : {&mail.sndName, &mail.rcvName, &mail.subject})
        holdsText_.bind(n++, *v);
    BindBody(holdsText_, kHoldsBodyFirst, pieces);
    const bool sameText = holdsText_.executeStep();
    holdsText_.reset();
    return sameText && SameAttachments(mail, attachments, true) && headerFields_.Holds(row, headers);
}

std::optional<MailKey> MailStore::Rewrite(const MailKey& row, MailRecord& mail,
                                          const std::vector<Attachment>& attachments, const HeaderFields& headers,
                                          int64_t decoding) {
    rowNames_.reset();
    BindMailKey(rowNames_, 1, row);
    if (!rowNames_.executeStep()) {
        rowNames_.reset();
        return std::nullopt;
    }
    const std::string rowSnd = rowNames_.getColumn(0).getString();
    const std::string rowRcv = rowNames_.getColumn(1).getString();
    mail.include = rowNames_.getColumn(2).getString();
    rowNames_.reset();

    MakeStorable(mail);
    mail.sent = row.sent; // the direction came from the mailbox and the user's address, not the mail
    bool cut = false;
    const std::vector<const Attachment*> fitting = Fit(mail, attachments, cut);
    const auto pieces = DivideBody(mail.body);

    // A name the friend book gave stays; the names the mail came with are this reading's now.
    std::optional<std::pair<std::string, std::string>> kept;
    keptNames_.reset();
    BindMailKey(keptNames_, 1, row);
    if (keptNames_.executeStep())
        kept.emplace(keptNames_.getColumn(0).getString(), keptNames_.getColumn(1).getString());
    keptNames_.reset();
    const std::string readSnd = mail.sndName;
    const std::string readRcv = mail.rcvName;
    if (kept && rowSnd != kept->first)
        mail.sndName = rowSnd;
    if (kept && rowRcv != kept->second)
        mail.rcvName = rowRcv;

    MailKey next = KeyOf(mail);
    next.subKey = row.subKey;
    if (ClaimedKey(next) != ClaimedKey(row)) {
        // Another key: the next free sub-key there, as a new mail of that key would get.
        probe_.reset();
        probe_.bind(1, mail.subject);
        probe_.bind(2, mail.sent ? 1 : 0);
        probe_.bind(3, mail.ymd);
        probe_.bind(4, mail.hms);
        probe_.bind(5, mail.sndAdd);
        probe_.bind(6, mail.rcvAdd);
        next.subKey = 0;
        if (probe_.executeStep() && !probe_.getColumn(1).isNull())
            next.subKey = probe_.getColumn(1).getInt64() + 1;
        probe_.reset();
    }
    mail.subKey = next.subKey;
    const bool sameBytes = next.ymd == row.ymd && next.hms == row.hms && next.subKey == row.subKey &&
                           next.sndAdd == row.sndAdd && next.rcvAdd == row.rcvAdd;
    // A row that holds this reading already is not written: it, what is kept beside it and the
    // indexes that follow it stay as they are.
    if (sameBytes && (!kept || (kept->first == readSnd && kept->second == readRcv)) &&
        HoldsReading(row, mail, pieces, fitting, headers)) {
        originals_.SetDecoding(next, decoding);
        claimed_.insert(ClaimedKey(next));
        return next;
    }
    if (sameBytes) {
        updateText_.reset();
        int n = 1;
        for (const auto* v : {&mail.sndName, &mail.rcvName, &mail.subject})
            updateText_.bind(n++, *v);
        BindMailKey(updateText_, BindBody(updateText_, n, pieces), row);
        updateText_.exec();
        updateText_.reset();
    } else {
        rekey_.reset();
        BindMailKey(rekey_, BindMailRow(rekey_, 1, mail, pieces), row);
        rekey_.exec();
        rekey_.reset();
    }
    dropAttachments_.reset();
    BindMailKey(dropAttachments_, 1, next);
    dropAttachments_.exec();
    dropAttachments_.reset();
    StoreAttachments(mail, fitting);
    headerFields_.Put(next, headers);
    if (kept) {
        dropKeptNames_.reset();
        BindMailKey(dropKeptNames_, 1, row);
        dropKeptNames_.exec();
        dropKeptNames_.reset();
        putKeptNames_.reset();
        BindMailKey(putKeptNames_, 1, next);
        putKeptNames_.bind(7, readSnd);
        putKeptNames_.bind(8, readRcv);
        putKeptNames_.exec();
        putKeptNames_.reset();
    }
    originals_.SetDecoding(next, decoding);
    claimed_.insert(ClaimedKey(next));
    return next;
}

} // namespace kamo
