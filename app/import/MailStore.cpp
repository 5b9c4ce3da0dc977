#include "import/MailStore.h"

#include "common/AsciiText.h"
#include "import/MailDecode.h"

#include <algorithm>
#include <sqlite3.h>

namespace kamo {
namespace {

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
    : db_(db), rows_(db), attachments_(db), headerFields_(db), originals_(db), originalReader_(db), trash_(db),
      claimed_(std::move(claims)) {}

bool MailStore::SameAttachments(const MailRecord& mail, const std::vector<const Attachment*>& attachments,
                                bool exactType) {
    const MailKey key = KeyOf(mail);
    if (rows_.AttachmentCount(key) != static_cast<int64_t>(attachments.size()))
        return false;
    int64_t position = 0;
    for (const auto* attachment : attachments)
        if (!rows_.SameAttachment(key, ++position, *attachment, exactType))
            return false;
    return true;
}

std::optional<MailStore::StoredRow> MailStore::FindSameBody(const MailRecord& mail, const BodyPieces& pieces,
                                                            const std::vector<const Attachment*>& attachments,
                                                            bool exact) {
    for (const auto& row : rows_.SameBody(mail, pieces, exact)) {
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

std::size_t MailStore::RowKeyHash::operator()(const RowKey& key) const {
    const auto& [ymd, hms, subKey, sent, sndAdd, rcvAdd] = key;
    std::size_t h = std::hash<std::string>{}(ymd);
    for (const std::size_t part : {std::hash<std::string>{}(hms), std::hash<int64_t>{}(subKey), std::hash<bool>{}(sent),
                                   std::hash<std::string>{}(sndAdd), std::hash<std::string>{}(rcvAdd)})
        h ^= part + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
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
    const MailStoreRows::KeyProbe probe = rows_.Probe(mail);
    const bool sameHeader = probe.sameSubject;
    const bool sameKey = probe.any; // a row with this date, time and addresses
    const int64_t subKey = probe.nextSubKey;

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
            rows_.UpdateText(KeyOf(mail), mail, pieces);
            rows_.DropAttachments(KeyOf(mail));
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
    if (trash_.Holds(mail, pieces, fitting))
        return Outcome::InTrash;

    mail.subKey = subKey;
    rows_.Insert(mail, pieces);
    if (beside_)
        beside_->Add(db_.getLastInsertRowid(), mail);
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
    return rows_.HoldsText(row, mail, pieces) && SameAttachments(mail, attachments, true) &&
           headerFields_.Holds(row, headers);
}

std::optional<MailKey> MailStore::Rewrite(const MailKey& row, MailRecord& mail,
                                          const std::vector<Attachment>& attachments, const HeaderFields& headers,
                                          int64_t decoding) {
    std::optional<MailStoreRows::RowNames> names = rows_.NamesOf(row);
    if (!names)
        return std::nullopt;
    const std::string rowSnd = std::move(names->sndName);
    const std::string rowRcv = std::move(names->rcvName);
    mail.include = std::move(names->include);

    MakeStorable(mail);
    mail.sent = row.sent; // the direction came from the mailbox and the user's address, not the mail
    bool cut = false;
    const std::vector<const Attachment*> fitting = Fit(mail, attachments, cut);
    const auto pieces = DivideBody(mail.body);

    // A name the friend book gave stays; the names the mail came with are this reading's now.
    const std::optional<std::pair<std::string, std::string>> kept = rows_.KeptNames(row);
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
        next.subKey = rows_.Probe(mail).nextSubKey;
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
    if (sameBytes)
        rows_.UpdateText(row, mail, pieces);
    else
        rows_.Rekey(row, mail, pieces);
    rows_.DropAttachments(next);
    StoreAttachments(mail, fitting);
    headerFields_.Put(next, headers);
    if (kept) {
        rows_.DropKeptNames(row);
        rows_.PutKeptNames(next, readSnd, readRcv);
    }
    originals_.SetDecoding(next, decoding);
    claimed_.insert(ClaimedKey(next));
    return next;
}

} // namespace kamo
