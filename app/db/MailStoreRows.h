#pragma once
// The look-ups and writes of the read's store (import/MailStore) over tblKamoMail, tblAttachment and
// tblOriginalNames, each one statement prepared once per store and reused for every mail. The
// caller holds the transaction.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"
#include "db/Attachments.h"
#include "db/MailRows.h"

namespace kamo {

class MailStoreRows {
public:
    explicit MailStoreRows(SQLite::Database& db);

    // The rows with mail's date, time and addresses: whether one has its subject, the sub-key one
    // above the highest of those with its direction flag (0 for none), whether there is any.
    struct KeyProbe {
        bool sameSubject = false;
        int64_t nextSubKey = 0;
        bool any = false;
    };
    KeyProbe Probe(const MailRecord& mail);

    // A row with mail's date, time, addresses, subject and this body byte for byte.
    struct SameRow {
        int64_t subKey = 0;
        bool sent = false;
        std::string sndName, rcvName;
    };
    // The rows with mail's header (the archive's text equality; with `exact`, the addresses and the
    // subject byte for byte) and this body.
    std::vector<SameRow> SameBody(const MailRecord& mail, const BodyPieces& pieces, bool exact);

    // The number of attachments stored under `key`, and whether the one at `position` (from 1) is
    // this attachment, its name and bytes byte for byte, its type as given or (unless `exactType`)
    // without its charset.
    int64_t AttachmentCount(const MailKey& key);
    bool SameAttachment(const MailKey& key, int64_t position, const Attachment& attachment, bool exactType);
    void DropAttachments(const MailKey& key);

    // A new row for `mail` (InsertMailSql).
    void Insert(const MailRecord& mail, const BodyPieces& pieces);
    // The row under `row` gets mail's names, subject and body.
    void UpdateText(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces);
    // Every column of the row under `row` set from `mail`, its key columns included.
    void Rekey(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces);
    // Whether the row under `row` holds mail's names, subject and body, byte for byte.
    bool HoldsText(const MailKey& row, const MailRecord& mail, const BodyPieces& pieces);

    // The row's names and include column; nothing when there is no such row.
    struct RowNames {
        std::string sndName, rcvName, include;
    };
    std::optional<RowNames> NamesOf(const MailKey& row);

    // The names the mail came with (tblOriginalNames): kept, dropped, put.
    std::optional<std::pair<std::string, std::string>> KeptNames(const MailKey& key);
    void DropKeptNames(const MailKey& key);
    void PutKeptNames(const MailKey& key, const std::string& sndName, const std::string& rcvName);

private:
    SQLite::Statement probe_;
    SQLite::Statement sameBody_;
    SQLite::Statement sameText_;
    SQLite::Statement insert_;
    SQLite::Statement updateText_;
    SQLite::Statement holdsText_;
    SQLite::Statement dropAttachments_;
    SQLite::Statement attachmentCount_;
    SQLite::Statement sameAttachment_;
    SQLite::Statement rekey_;
    SQLite::Statement rowNames_;
    SQLite::Statement keptNames_;
    SQLite::Statement dropKeptNames_;
    SQLite::Statement putKeptNames_;
};

} // namespace kamo
