#include "db/Attachments.h"

#include "common/Failure.h"
#include "db/MailRows.h"
#include "db/Schema.h"
#include "db/SqlNames.h"

#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

#include <sqlite3.h>

namespace kamo {
namespace {

const std::string kKeyWhere = " WHERE " + MailKeyCondition("tblAttachment");

bool HasAttachmentTable(SQLite::Database& db) {
    SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tblAttachment'");
    return q.executeStep();
}

constexpr std::string_view kCharsetParam = "; charset=";

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

unsigned Byte(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

// The tables whose rows carry a picture mark: the attachments and their trash twin.
constexpr const char* kMarkedTables[] = {"tblAttachment", "tblTrashAttachment"};
constexpr const char* kPictureColumn = "tblAttachment_Picture";

bool HasColumn(SQLite::Database& db, const std::string& table, const std::string& column) {
    for (const auto& c : TableColumns(db, table))
        if (c.name == column)
            return true;
    return false;
}

// At most the first `maxBytes` of the attachment bytes of row `rowid` of `table`, read without
// loading the rest: SQLite loads only the pages of the bytes asked for, where a SELECT of the column
// (or substr of it) loads the whole value.
std::string HeadOfRow(SQLite::Database& db, const char* table, int64_t rowid, int64_t length, std::size_t maxBytes) {
    std::string head(std::min(static_cast<std::size_t>(std::max<int64_t>(0, length)), maxBytes), '\0');
    if (head.empty())
        return head;
    sqlite3_blob* raw = nullptr;
    const int opened = sqlite3_blob_open(db.getHandle(), "main", table, "tblAttachment_Data", rowid, 0, &raw);
    const std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)> blob(raw, sqlite3_blob_close);
    if (opened != SQLITE_OK ||
        sqlite3_blob_read(blob.get(), head.data(), static_cast<int>(head.size()), 0) != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), opened != SQLITE_OK ? opened : sqlite3_errcode(db.getHandle()));
    return head;
}

// Marks the rows of `table` that have no mark yet: the rowids first, then each row by its name, type
// and first bytes (the marks change while they are found otherwise).
int64_t MarkRows(SQLite::Database& db, const char* table) {
    std::vector<int64_t> rows;
    {
        SQLite::Statement q(db, std::string("SELECT rowid FROM ") + table + " WHERE " + kPictureColumn + " IS NULL");
        while (q.executeStep())
            rows.push_back(q.getColumn(0).getInt64());
    }
    SQLite::Statement read(db, std::string("SELECT tblAttachment_Name, tblAttachment_Type, length(tblAttachment_Data) "
                                           "FROM ") +
                                   table + " WHERE rowid = ?1");
    SQLite::Statement mark(db, std::string("UPDATE ") + table + " SET " + kPictureColumn + " = ?1 WHERE rowid = ?2");
    for (int64_t row : rows) {
        read.bind(1, row);
        if (!read.executeStep()) {
            read.reset();
            continue;
        }
        const std::string name = read.getColumn(0).getString();
        const std::string type = read.getColumn(1).getString();
        const int64_t length = read.getColumn(2).getInt64();
        read.reset();
        mark.bind(1, IsPictureAttachment(name, type, HeadOfRow(db, table, row, length, kPictureHeadBytes)) ? 1 : 0);
        mark.bind(2, row);
        mark.exec();
        mark.reset();
    }
    return static_cast<int64_t>(rows.size());
}

} // namespace

std::string PictureFormatOf(std::string_view head) {
    if (head.size() >= 3 && Byte(head, 0) == 0xFF && Byte(head, 1) == 0xD8 && Byte(head, 2) == 0xFF)
        return "jpeg";
    if (StartsWith(head, std::string_view("\x89PNG\r\n\x1A\n", 8)))
        return "png";
    if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a"))
        return "gif";
    // "BM" alone starts much text; the size of the header that follows is one of the known few.
    if (StartsWith(head, "BM") && head.size() >= 18) {
        const unsigned headerSize = Byte(head, 14) | Byte(head, 15) << 8 | Byte(head, 16) << 16 | Byte(head, 17) << 24;
        for (unsigned known : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
            if (headerSize == known)
                return "bmp";
    }
    return {};
}

bool NamedAsPicture(std::string_view name, std::string_view contentType) {
    static constexpr std::string_view kTypes[] = {"image/jpeg", "image/pjpeg", "image/jpg",   "image/png",
                                                  "image/gif",  "image/bmp",   "image/x-bmp", "image/x-ms-bmp"};
    const std::string type = MediaTypeOf(contentType);
    for (std::string_view known : kTypes)
        if (type == known)
            return true;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    // The extension in lower case: MediaTypeOf folds as it reads.
    const std::string extension = MediaTypeOf(name.substr(dot));
    for (std::string_view known : {".jpg", ".jpeg", ".jpe", ".png", ".gif", ".bmp"})
        if (extension == known)
            return true;
    return false;
}

bool IsPictureAttachment(std::string_view name, std::string_view contentType, std::string_view head) {
    return !PictureFormatOf(head).empty() || NamedAsPicture(name, contentType);
}

std::string StoredContentType(const std::string& mediaType, const std::string& charset) {
    if (charset.empty() || mediaType.rfind("text/", 0) != 0 || charset.find_first_of("; \t\r\n\"") != std::string::npos)
        return mediaType;
    return mediaType + std::string(kCharsetParam) + charset;
}

std::string MediaTypeOf(std::string_view stored) {
    std::string type(stored.substr(0, stored.find(';')));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.pop_back();
    for (char& c : type)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return type;
}

std::string CharsetOf(std::string_view stored) {
    const size_t at = stored.find(kCharsetParam);
    if (at == std::string_view::npos)
        return {};
    const std::string_view rest = stored.substr(at + kCharsetParam.size());
    return std::string(rest.substr(0, rest.find(';')));
}

AttachmentWriter::AttachmentWriter(SQLite::Database& db)
    : insert_(db, "INSERT INTO tblAttachment (tblAttachment_YMD, tblAttachment_HMS, tblAttachment_SubKey, "
                  "tblAttachment_SndRcvFlag, tblAttachment_SndAdd, tblAttachment_RcvAdd, tblAttachment_No, "
                  "tblAttachment_Name, tblAttachment_Type, tblAttachment_Size, tblAttachment_Data, "
                  "tblAttachment_Picture) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)") {}

void AttachmentWriter::Add(const MailKey& key, int64_t position, const Attachment& attachment) {
    if (attachment.bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw Failure(FailureCode::AttachmentTooLarge, {std::to_string(attachment.bytes.size())});
    insert_.reset();
    BindMailKey(insert_, 1, key);
    insert_.bind(7, position);
    insert_.bind(8, attachment.name);
    insert_.bind(9, attachment.contentType);
    insert_.bind(10, static_cast<int64_t>(attachment.bytes.size()));
    // Bound without a copy: the statement runs before the attachment goes.
    insert_.bindNoCopy(11, static_cast<const void*>(attachment.bytes.data()),
                       static_cast<int>(attachment.bytes.size()));
    insert_.bind(12, IsPictureAttachment(attachment.name, attachment.contentType,
                                         std::string_view(attachment.bytes).substr(0, kPictureHeadBytes))
                         ? 1
                         : 0);
    insert_.exec();
    insert_.reset();
}

AttachmentReader::AttachmentReader(SQLite::Database& db) {
    if (!HasAttachmentTable(db))
        return;
    marked_ = HasPictureMarks(db);
    select_.emplace(db, std::string("SELECT tblAttachment_Name, tblAttachment_Type, tblAttachment_Data, ") +
                            (marked_ ? kPictureColumn : "NULL") + " FROM tblAttachment" + kKeyWhere +
                            " ORDER BY tblAttachment_No");
}

std::vector<StoredAttachment> AttachmentReader::Read(const MailKey& key) {
    std::vector<StoredAttachment> list;
    if (!select_)
        return list;
    SQLite::Statement& st = *select_;
    st.reset();
    BindMailKey(st, 1, key);
    while (st.executeStep()) {
        const SQLite::Column data = st.getColumn(2);
        const auto* bytes = static_cast<const char*>(data.getBlob());
        StoredAttachment& a = list.emplace_back();
        a.name = st.getColumn(0).getString();
        a.contentType = st.getColumn(1).getString();
        a.bytes = bytes ? std::string(bytes, static_cast<std::size_t>(data.getBytes())) : std::string();
        const SQLite::Column mark = st.getColumn(3);
        a.picture = mark.isNull() ? IsPictureAttachment(a.name, a.contentType, a.bytes.substr(0, kPictureHeadBytes))
                                  : mark.getInt() != 0;
    }
    st.reset();
    return list;
}

std::vector<AttachmentEntry> ListAttachments(SQLite::Database& db, const MailKey& key) {
    std::vector<AttachmentEntry> list;
    if (!HasAttachmentTable(db))
        return list;
    SQLite::Statement st(db, std::string("SELECT tblAttachment_No, tblAttachment_Name, tblAttachment_Type, "
                                         "tblAttachment_Size FROM tblAttachment") +
                                 kKeyWhere + " ORDER BY tblAttachment_No");
    BindMailKey(st, 1, key);
    while (st.executeStep())
        // A list shows the media type; the charset matters to the bytes, not to the list.
        list.push_back({st.getColumn(0).getInt64(), st.getColumn(1).getString(),
                        MediaTypeOf(st.getColumn(2).getString()), st.getColumn(3).getInt64()});
    if (list.empty())
        return list;
    if (!HasPictureMarks(db)) {
        // A copy as an older version wrote it: decided here, by the same rule.
        for (AttachmentEntry& entry : list)
            entry.picture =
                IsPictureAttachment(entry, AttachmentHead(db, key, entry.position, kPictureHeadBytes).value_or(""));
        return list;
    }
    // The marks come from their index: the column follows the bytes in the row.
    SQLite::Statement marks(db, std::string("SELECT tblAttachment_No, tblAttachment_Picture FROM tblAttachment") +
                                    kKeyWhere);
    BindMailKey(marks, 1, key);
    while (marks.executeStep())
        for (AttachmentEntry& entry : list)
            if (entry.position == marks.getColumn(0).getInt64())
                entry.picture = marks.getColumn(1).getInt() != 0;
    return list;
}

std::optional<std::string> AttachmentBytes(SQLite::Database& db, const MailKey& key, int64_t position) {
    SQLite::Statement st(db, std::string("SELECT tblAttachment_Data FROM tblAttachment") + kKeyWhere +
                                 " AND tblAttachment_No = ?7");
    BindMailKey(st, 1, key);
    st.bind(7, position);
    if (!st.executeStep())
        return std::nullopt;
    const SQLite::Column data = st.getColumn(0);
    const auto* bytes = static_cast<const char*>(data.getBlob());
    return bytes ? std::string(bytes, static_cast<std::size_t>(data.getBytes())) : std::string();
}

std::optional<std::string> AttachmentHead(SQLite::Database& db, const MailKey& key, int64_t position,
                                          std::size_t maxBytes) {
    SQLite::Statement st(db, std::string("SELECT rowid, length(tblAttachment_Data) FROM tblAttachment") + kKeyWhere +
                                 " AND tblAttachment_No = ?7");
    BindMailKey(st, 1, key);
    st.bind(7, position);
    if (!st.executeStep())
        return std::nullopt;
    const int64_t rowid = st.getColumn(0).getInt64();
    const int64_t length = st.getColumn(1).getInt64();
    st.reset();
    return HeadOfRow(db, "tblAttachment", rowid, length, maxBytes);
}

bool HasPictureMarks(SQLite::Database& db) {
    return HasColumn(db, "tblAttachment", kPictureColumn);
}

bool AddPictureMarks(SQLite::Database& db) {
    // Looked up first: an archive that has the marks is not written at all.
    std::vector<const char*> unmarked;
    for (const char* table : kMarkedTables)
        if (!TableColumns(db, table).empty() && !HasColumn(db, table, kPictureColumn))
            unmarked.push_back(table);
    if (unmarked.empty())
        return false;
    // In the caller's transaction, or one of its own.
    std::optional<SQLite::Transaction> own;
    if (sqlite3_get_autocommit(db.getHandle()))
        own.emplace(db);
    for (const char* table : unmarked) {
        // Added at the end, as the definition has it, so every archive's rows have one column order.
        db.exec(std::string("ALTER TABLE ") + table + " ADD COLUMN " + kPictureColumn + " INTEGER");
        MarkRows(db, table);
    }
    for (const TableDef& table : AddedTables())
        if (table.name == "tblAttachment" && !TableColumns(db, table.name).empty())
            for (const IndexDef& index : table.indexes)
                db.exec("CREATE INDEX IF NOT EXISTS " + index.name + " ON " + table.name + " (" + index.columns + ")");
    if (own)
        own->commit();
    return true;
}

int64_t MarkUnmarkedPictures(SQLite::Database& db) {
    int64_t marked = 0;
    for (const char* table : kMarkedTables)
        if (HasColumn(db, table, kPictureColumn))
            marked += MarkRows(db, table);
    return marked;
}

} // namespace kamo
