#include "db/MailOriginals.h"

#include <array>
#include <memory>

#include <zstd.h>

#include "db/MailRows.h"

namespace kamo {
namespace {

constexpr std::string_view kMagic = "KMO1";
constexpr int kFieldCount = 7;
// No original is larger: the mail file's offsets are 32-bit, and a row is capped far below.
constexpr size_t kMaxUnpacked = size_t{1} << 32;
// Fast compression: mail text packs to a third or less at this level, at several hundred MB/s.
constexpr int kLevel = 3;

std::array<const std::string*, kFieldCount> FieldsOf(const MailOriginal& o) {
    return {&o.from, &o.to, &o.cc, &o.subject, &o.date, &o.header, &o.body};
}

std::array<std::string*, kFieldCount> FieldsOf(MailOriginal& o) {
    return {&o.from, &o.to, &o.cc, &o.subject, &o.date, &o.header, &o.body};
}

struct CCtxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct DCtxFree {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

const std::string kKeyWhere = " WHERE " + MailKeyCondition("tblOriginal");

std::string InsertSql(const char* verb) {
    return std::string(verb) +
           " INTO tblOriginal (tblOriginal_YMD, tblOriginal_HMS, tblOriginal_SubKey, tblOriginal_SndRcvFlag, "
           "tblOriginal_SndAdd, tblOriginal_RcvAdd, tblOriginal_Mailbox, tblOriginal_Decoding, tblOriginal_Data) "
           "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";
}

bool HasTable(SQLite::Database& db) {
    SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tblOriginal'");
    return q.executeStep();
}

} // namespace

std::string PackOriginal(const MailOriginal& original) {
    std::string plain(kMagic);
    for (const std::string* field : FieldsOf(original)) {
        const auto n = static_cast<uint32_t>(field->size());
        for (int i = 0; i < 4; ++i)
            plain.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
        plain += *field;
    }
    // One context per thread, reused: a read packs every mail it stores.
    thread_local std::unique_ptr<ZSTD_CCtx, CCtxFree> cctx(ZSTD_createCCtx());
    if (!cctx)
        throw std::bad_alloc();
    std::string packed(ZSTD_compressBound(plain.size()), '\0');
    const size_t n = ZSTD_compressCCtx(cctx.get(), packed.data(), packed.size(), plain.data(), plain.size(), kLevel);
    if (ZSTD_isError(n))
        throw std::bad_alloc(); // only a failed allocation inside zstd gets here
    packed.resize(n);
    return packed;
}

std::optional<MailOriginal> UnpackOriginal(std::string_view packed) {
    std::unique_ptr<ZSTD_DCtx, DCtxFree> dctx(ZSTD_createDCtx());
    if (!dctx)
        throw std::bad_alloc();
    // Grown as the frame really gives bytes, never by what its header claims.
    std::string plain;
    ZSTD_inBuffer in{packed.data(), packed.size(), 0};
    std::array<char, 1 << 16> chunk{};
    size_t left = 1;
    while (left != 0) {
        ZSTD_outBuffer out{chunk.data(), chunk.size(), 0};
        left = ZSTD_decompressStream(dctx.get(), &out, &in);
        if (ZSTD_isError(left))
            return std::nullopt;
        plain.append(chunk.data(), out.pos);
        if (plain.size() > kMaxUnpacked)
            return std::nullopt;
        if (left != 0 && out.pos == 0 && in.pos == in.size)
            return std::nullopt; // the frame breaks off
    }
    if (in.pos != in.size || plain.compare(0, kMagic.size(), kMagic) != 0)
        return std::nullopt;
    MailOriginal original;
    size_t pos = kMagic.size();
    for (std::string* field : FieldsOf(original)) {
        if (plain.size() - pos < 4)
            return std::nullopt;
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n |= static_cast<uint32_t>(static_cast<unsigned char>(plain[pos + static_cast<size_t>(i)])) << (8 * i);
        pos += 4;
        if (plain.size() - pos < n)
            return std::nullopt;
        field->assign(plain, pos, n);
        pos += n;
    }
    if (pos != plain.size())
        return std::nullopt;
    return original;
}

OriginalWriter::OriginalWriter(SQLite::Database& db)
    : replace_(db, InsertSql("INSERT OR REPLACE")), insertNew_(db, InsertSql("INSERT OR IGNORE")),
      decoding_(db, "UPDATE tblOriginal SET tblOriginal_Decoding = ?7" + kKeyWhere) {}

void OriginalWriter::Run(SQLite::Statement& st, const MailKey& key, std::string_view packed, const std::string& mailbox,
                         int64_t decoding) {
    st.reset();
    BindMailKey(st, 1, key);
    st.bind(7, mailbox);
    st.bind(8, decoding);
    st.bindNoCopy(9, packed.data(), static_cast<int>(packed.size()));
    st.exec();
    st.reset();
    st.clearBindings();
}

void OriginalWriter::Put(const MailKey& key, const MailOriginal& original, const std::string& mailbox,
                         int64_t decoding) {
    Run(replace_, key, PackOriginal(original), mailbox, decoding);
}

void OriginalWriter::Keep(const MailKey& key, const MailOriginal& original, const std::string& mailbox,
                          int64_t decoding) {
    Run(insertNew_, key, PackOriginal(original), mailbox, decoding);
}

void OriginalWriter::PutPacked(const MailKey& key, std::string_view packed, const std::string& mailbox,
                               int64_t decoding) {
    Run(replace_, key, packed, mailbox, decoding);
}

void OriginalWriter::KeepPacked(const MailKey& key, std::string_view packed, const std::string& mailbox,
                                int64_t decoding) {
    Run(insertNew_, key, packed, mailbox, decoding);
}

void OriginalWriter::SetDecoding(const MailKey& key, int64_t decoding) {
    decoding_.reset();
    BindMailKey(decoding_, 1, key);
    decoding_.bind(7, decoding);
    decoding_.exec();
    decoding_.reset();
}

OriginalReader::OriginalReader(SQLite::Database& db) {
    if (!HasTable(db))
        return;
    select_.emplace(db,
                    "SELECT tblOriginal_Mailbox, tblOriginal_Decoding, tblOriginal_Data FROM tblOriginal" + kKeyWhere);
    has_.emplace(db, "SELECT 1 FROM tblOriginal" + kKeyWhere);
}

std::optional<StoredOriginal> OriginalReader::Read(const MailKey& key) {
    if (!select_)
        return std::nullopt;
    SQLite::Statement& st = *select_;
    st.reset();
    BindMailKey(st, 1, key);
    std::optional<StoredOriginal> stored;
    if (st.executeStep()) {
        const SQLite::Column data = st.getColumn(2);
        auto original = UnpackOriginal(
            std::string_view(static_cast<const char*>(data.getBlob()), static_cast<size_t>(data.getBytes())));
        if (original)
            stored = StoredOriginal{std::move(*original), st.getColumn(0).getString(), st.getColumn(1).getInt64()};
    }
    st.reset();
    return stored;
}

bool OriginalReader::Has(const MailKey& key) {
    if (!has_)
        return false;
    has_->reset();
    BindMailKey(*has_, 1, key);
    const bool found = has_->executeStep();
    has_->reset();
    return found;
}

} // namespace kamo
