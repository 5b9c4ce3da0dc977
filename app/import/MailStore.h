#pragma once
// Storing read mail in tblKamoMail: the duplicate check, the sub-key, the insert. The statements are
// prepared once per store and reused for every mail; the caller holds the transaction.
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "db/Attachments.h"
#include "db/HeaderFields.h"
#include "db/MailOriginals.h"
#include "db/MailRows.h"
#include "db/MailStoreRows.h"
#include "db/Trash.h"
#include "import/MailDecode.h"
#include "search/SearchIndexBeside.h"

namespace kamo {

// A body that would make its row larger than the archive can hold (SQLite's length limit of the
// connection, 1,000,000,000 bytes unless lowered) is cut at a character boundary so that the row
// fits, and this line is added after the cut, with the original length in bytes.
std::string BodyCutNote(std::size_t originalBytes);
// Cuts `body` (with the note) so that it is at most `maxBytes` long; false when it already fits.
bool CutBody(std::string& body, std::size_t maxBytes);

// The line added to a body in place of an attachment too large for the archive.
std::string AttachmentTooLargeNote(const std::string& name, std::size_t bytes);

// A mail's original as the read keeps it with its row: packed (PackOriginal), and the name of the
// mailbox it was read from.
struct KeptOriginal {
    std::string_view packed;
    std::string mailbox;
};

class MailStore {
public:
    // Updated: the mail was stored by an earlier reading (see Store) and now has this reading's
    // text and attachments.
    // InTrash: not stored; the trash holds the mail (db/Trash.h), so what the user deleted stays deleted.
    enum class Outcome { Stored, StoredCut, AlreadyStored, Updated, InTrash };

    // The rows a store has stored, updated or found stored, each for a mail of its read: no other
    // mail of the read takes their place. A store that goes on after another (which gave up) takes
    // over its claims.
    using RowKey = std::tuple<std::string, std::string, int64_t, bool, std::string, std::string>;
    struct RowKeyHash {
        std::size_t operator()(const RowKey& key) const;
    };
    using Claims = std::unordered_set<RowKey, RowKeyHash>;
    explicit MailStore(SQLite::Database& db, Claims claims = {});
    Claims TakeClaims() { return std::move(claimed_); }
    // Each mail Store inserts is handed to `beside` too (may be null; must outlive the store).
    void IndexBeside(SearchIndexBeside* beside) { beside_ = beside; }

    // A mail counts as already stored when a row agrees in date, time, sender address, receiver
    // address and subject (the archive's text equality, letter case ignored), in its body, byte
    // for byte, and in its attachments (names, types and bytes, in order): two different mails sent
    // in one second under one subject, or with one text and other pictures, are both kept. A new mail
    // gets the sub-key one above the highest of the rows that share its date, time, flag and
    // addresses (0 for the first), so it never collides with them in the primary index;
    // mail.subKey is set to it. Its attachments are stored with it, under its key, in the caller's
    // transaction; one too large for the archive is left out and named in the body instead.
    //
    // The mail is made storable first (MakeStorable; mail holds the values stored).
    //
    // `earlier` (may be empty) gives the mail as earlier readings stored it (EarlierReadings); it is
    // called only when a row with this date, time and addresses exists and this reading is not
    // stored yet. The mail as given, before it was made storable, counts as one more. The first of
    // them that differs from this reading and is stored exactly so (its key columns, names and
    // subject byte for byte, its body and attachments) in a row this store has not claimed (see
    // Claims) is brought up to date in place (Updated): that row gets this reading's names,
    // subject, body and attachments under its own key. Reading a mailbox again after the decoding
    // has changed therefore never stores a mail twice, and never puts one mail's text in another's row.
    //
    // A mail not stored in tblKamoMail is looked for in the trash too, by the same header, body
    // and attachments: one found there is not stored (InTrash).
    //
    // `headers` are kept with the mail (tblHeaderFields); a mail already stored gets them when it
    // has none yet (one read by a version that did not keep them).
    //
    // `original` (may be null) is kept with the row, made by this decoding (kDecodingVersion): with
    // a new mail; with a mail found stored or brought up to date only when it has none yet. A row
    // that has an original is never taken for an earlier reading's: it is brought up to date from
    // its own original (Rewrite), so no guess can give it another mail's text.
    Outcome Store(MailRecord& mail, const std::vector<Attachment>& attachments = {},
                  const std::function<std::vector<DecodedMail>()>& earlier = {}, const HeaderFields& headers = {},
                  const KeptOriginal* original = nullptr);

    // Puts `mail`, a new reading of the original kept for the row under `row`, in that row's place:
    // its columns (the send/receive flag and the include column stay), attachments and header fields,
    // and marks the original as made by `decoding`. A reading with other key columns moves the row
    // (the archive's triggers take what is kept beside it along), under the next free sub-key of its
    // new key; it never lands on another mail. Names the friend book gave the row (those differing
    // from the kept names, tblOriginalNames) stay; the kept names become this reading's. A row that
    // holds this reading already, with its attachments, header fields and kept names, is left
    // unwritten; only its original is marked. The row's key afterwards; nothing when there is no
    // such row.
    std::optional<MailKey> Rewrite(const MailKey& row, MailRecord& mail, const std::vector<Attachment>& attachments,
                                   const HeaderFields& headers, int64_t decoding);

private:
    using StoredRow = MailStoreRows::SameRow;
    // A row with mail's header, this body and these attachments; nothing when there is none.
    // With `exact`, the addresses and the subject byte for byte (an earlier reading's row).
    std::optional<StoredRow> FindSameBody(const MailRecord& mail, const BodyPieces& pieces,
                                          const std::vector<const Attachment*>& attachments, bool exact = false);
    // Whether the stored mail under mail's key (its sub-key and flag included) has exactly these
    // attachments, in order, byte for byte.
    // `exactType`: the stored type as given, not also without its charset.
    bool SameAttachments(const MailRecord& mail, const std::vector<const Attachment*>& attachments,
                         bool exactType = false);
    // Whether the row under `row` (mail's key) holds mail's names, subject and body, these
    // attachments and header fields, byte for byte.
    bool HoldsReading(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces,
                      const std::vector<const Attachment*>& attachments, const HeaderFields& headers);
    // The attachments that fit a row; the others are named in mail.body, which is then cut to
    // fit its row (`cut` true when either happened).
    // A mail found stored (AlreadyStored): the row gets `headers` when it has none kept yet.
    // It gets `original` too when it has none.
    Outcome KeepHeaders(const MailRecord& mail, const StoredRow& row, const HeaderFields& headers,
                        const KeptOriginal* original);
    std::vector<const Attachment*> Fit(MailRecord& mail, const std::vector<Attachment>& attachments, bool& cut) const;
    void StoreAttachments(const MailRecord& mail, const std::vector<const Attachment*>& attachments);
    static RowKey ClaimedKey(const MailKey& key);
    // The key of `row`, a row with mail's date, time and addresses.
    static MailKey RowOf(const MailRecord& mail, const StoredRow& row);

    SQLite::Database& db_;
    MailStoreRows rows_;
    AttachmentWriter attachments_;
    HeaderFieldWriter headerFields_;
    OriginalWriter originals_;
    OriginalReader originalReader_;
    TrashLook trash_;
    Claims claimed_;
    SearchIndexBeside* beside_ = nullptr;
};

} // namespace kamo
