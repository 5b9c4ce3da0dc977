#include "db/Attachments.h"

#include "common/Failure.h"
#include "db/MailRows.h"

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

} // namespace

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
                  "tblAttachment_Name, tblAttachment_Type, tblAttachment_Size, tblAttachment_Data) "
                  "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)") {}

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
    insert_.exec();
    insert_.reset();
}

AttachmentReader::AttachmentReader(SQLite::Database& db) {
    if (HasAttachmentTable(db))
        select_.emplace(db, std::string("SELECT tblAttachment_Name, tblAttachment_Type, tblAttachment_Data FROM "
                                        "tblAttachment") +
                                kKeyWhere + " ORDER BY tblAttachment_No");
}

std::vector<Attachment> AttachmentReader::Read(const MailKey& key) {
    std::vector<Attachment> list;
    if (!select_)
        return list;
    SQLite::Statement& st = *select_;
    st.reset();
    BindMailKey(st, 1, key);
    while (st.executeStep()) {
        const SQLite::Column data = st.getColumn(2);
        const auto* bytes = static_cast<const char*>(data.getBlob());
        list.push_back({st.getColumn(0).getString(), st.getColumn(1).getString(),
                        bytes ? std::string(bytes, static_cast<std::size_t>(data.getBytes())) : std::string()});
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
    const auto length = static_cast<std::size_t>(std::max<int64_t>(0, st.getColumn(1).getInt64()));
    st.reset();
    std::string head(std::min(length, maxBytes), '\0');
    if (head.empty())
        return head;
    // Incremental blob reading: SQLite loads only the pages of the bytes asked for, where a SELECT of
    // the column (or substr of it) loads the whole value.
    sqlite3_blob* raw = nullptr;
    const int opened = sqlite3_blob_open(db.getHandle(), "main", "tblAttachment", "tblAttachment_Data", rowid, 0, &raw);
    const std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)> blob(raw, sqlite3_blob_close);
    if (opened != SQLITE_OK ||
        sqlite3_blob_read(blob.get(), head.data(), static_cast<int>(head.size()), 0) != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), opened != SQLITE_OK ? opened : sqlite3_errcode(db.getHandle()));
    return head;
}

} // namespace kamo
