#pragma once
// What PostPet held for a mail, kept byte for byte beside its row (tblOriginal, Schema.h): the list
// record's five strings and the mail's own header region and body, as the conversion library's
// framed file carries them, compressed; and the mailbox it was read from. Every column of
// tblKamoMail is a reading of it, so a better decoding can be redone in place and an export can give
// back what the mail had. The row follows its mail when the mail is deleted or rekeyed (the
// archive's triggers).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"
#include "db/OriginalDictionary.h"

namespace kamo {

// The raw bytes (CP932, ISO-2022-JP, whatever the mail came in), never decoded here.
struct MailOriginal {
    std::string from;
    std::string to;
    std::string cc;
    std::string subject;
    std::string date;
    std::string header; // the mail's own header region
    std::string body;   // its body byte for byte as the mail file holds it
    bool operator==(const MailOriginal&) const = default;
};

// The decoding that made a row from its original. Raised whenever the decoding of any value changes,
// so rows made by an older one are decoded again from their originals.
inline constexpr int64_t kDecodingVersion = 3;

struct StoredOriginal {
    MailOriginal original;
    std::string mailbox;  // the PostPet mailbox's name as the user sees it ("受信フォルダ", ...); may be empty
    int64_t decoding = 0; // the decoding version that made the mail's row from it
};

// No original holds more: its header region and body are kept as values of the mail's row too, and no
// value of a row is larger (the archive's length limit, SQLite's default).
inline constexpr uint64_t kMaxOriginalBytes = 1000000000;

// The compressed form kept in the table, and back: one zstd frame, packed with `dictionary` when
// given (the frame names it by its id) or without one. Unpack gives nothing for bytes that are not a
// packed original (damaged, cut short, put there by another program, or declaring more than
// kMaxOriginalBytes), nor for a frame that names a dictionary `dictionaries` lack (or any, without
// them), and never allocates more than the frame really holds.
std::string PackOriginal(const MailOriginal& original, const PackingDictionary* dictionary = nullptr);
std::optional<MailOriginal> UnpackOriginal(std::string_view packed, OriginalDictionaries* dictionaries = nullptr);
// The two steps of Pack, for a caller that keeps the plain record too (a dictionary's sample): the
// record as it is compressed (the magic, then each field's length and bytes), and its frame.
std::string FramedOriginal(const MailOriginal& original);
std::string PackFramed(std::string_view framed, const PackingDictionary* dictionary = nullptr);
// The dictionary a packed original needs, by the id its frame names; 0 for none (or no frame).
uint32_t DictionaryOfPacked(std::string_view packed);

// Writes originals with prepared statements; the caller holds the transaction of their mail.
class OriginalWriter {
public:
    explicit OriginalWriter(SQLite::Database& db);
    // Keeps `original` for the mail with `key`, replacing what was kept for it.
    void Put(const MailKey& key, const MailOriginal& original, const std::string& mailbox, int64_t decoding);
    // Keeps it only when nothing is kept for the mail yet (a mail read by a version that kept none).
    void Keep(const MailKey& key, const MailOriginal& original, const std::string& mailbox, int64_t decoding);
    // Put and Keep of an original PackOriginal has packed already (on another thread, say).
    void PutPacked(const MailKey& key, std::string_view packed, const std::string& mailbox, int64_t decoding);
    void KeepPacked(const MailKey& key, std::string_view packed, const std::string& mailbox, int64_t decoding);
    // Marks the mail's row as made by `decoding` from its kept original.
    void SetDecoding(const MailKey& key, int64_t decoding);

private:
    void Run(SQLite::Statement& st, const MailKey& key, std::string_view packed, const std::string& mailbox,
             int64_t decoding);
    SQLite::Statement replace_;
    SQLite::Statement insertNew_;
    SQLite::Statement decoding_;
};

// Reads originals with one prepared statement, and the archive's dictionaries each loaded once. An
// archive without the table (a backup written by an older version, opened read-only) has none.
class OriginalReader {
public:
    explicit OriginalReader(SQLite::Database& db);
    // The original kept for the mail with `key`; nothing when none is kept or it cannot be unpacked
    // (damaged, or more than memory allows): then the mail counts as having none.
    std::optional<StoredOriginal> Read(const MailKey& key);
    // Whether an original is kept for the mail, without reading it.
    bool Has(const MailKey& key);
    // How many of the originals Read found kept could not be unpacked.
    int64_t Unreadable() const { return unreadable_; }

private:
    std::optional<SQLite::Statement> select_;
    std::optional<SQLite::Statement> has_;
    OriginalDictionaries dictionaries_;
    int64_t unreadable_ = 0;
};

// The originals a decoding older than `version` made rows from (their tblOriginal_Decoding below it).
bool AnyOriginalBelow(SQLite::Database& db, int64_t version);
int64_t CountOriginalsBelow(SQLite::Database& db, int64_t version);
// Whether any original is marked `decoding`.
bool AnyOriginalMarked(SQLite::Database& db, int64_t decoding);
// Marks every kept original as made by `decoding`; how many.
int64_t MarkEveryOriginal(SQLite::Database& db, int64_t decoding);

// One original as kept: its mail's key and its packed bytes (UnpackOriginal).
struct PackedOriginal {
    MailKey key;
    std::string packed;
};

// Reads the originals below a decoding version a batch at a time, with one prepared statement: at
// most `maxRows` of them, and no more once their packed bytes reach `maxBytes` (the original that
// reaches it is the batch's last, so one larger than `maxBytes` is a batch of its own). Each batch is
// looked up anew: the caller raises the marks of what it has done, or the next batch holds it again.
class OriginalBatchReader {
public:
    OriginalBatchReader(SQLite::Database& db, int64_t below, int maxRows, size_t maxBytes);
    // The next batch; empty once no original is below the version.
    std::vector<PackedOriginal> Next();

private:
    SQLite::Statement next_;
    int64_t below_;
    int maxRows_;
    size_t maxBytes_;
};

} // namespace kamo
