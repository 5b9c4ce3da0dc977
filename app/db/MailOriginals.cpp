#include "db/MailOriginals.h"

#include <algorithm>
#include <array>
#include <memory>

#include <zstd.h>

#include "db/MailRows.h"

namespace kamo {
namespace {

constexpr std::string_view kMagic = "KMO1";
constexpr size_t kFieldCount = 7;
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

// The thread's decompression context, reused from original to original: making one costs more than
// unpacking a mail, and an export or a re-decoding unpacks every mail. Each use starts from a fresh
// context's state; one left holding more than kKeptDCtxBytes (a large original's window) is let go, so
// a thread keeps no more than a mail's worth between two originals.
constexpr size_t kKeptDCtxBytes = size_t{4} << 20;

class ReusedDCtx {
public:
    ReusedDCtx() {
        if (!Held())
            Held().reset(ZSTD_createDCtx());
        if (!Held())
            throw std::bad_alloc();
        ZSTD_DCtx_reset(get(), ZSTD_reset_session_and_parameters);
    }
    ~ReusedDCtx() {
        // A dictionary it was given may go once the original is unpacked: the context lets it go now.
        ZSTD_DCtx_reset(get(), ZSTD_reset_session_and_parameters);
        if (ZSTD_sizeof_DCtx(get()) > kKeptDCtxBytes)
            Held().reset();
    }
    ReusedDCtx(const ReusedDCtx&) = delete;
    ReusedDCtx& operator=(const ReusedDCtx&) = delete;
    ZSTD_DCtx* get() const { return Held().get(); }

private:
    static std::unique_ptr<ZSTD_DCtx, DCtxFree>& Held() {
        thread_local std::unique_ptr<ZSTD_DCtx, DCtxFree> held;
        return held;
    }
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

// Takes the unpacked bytes as the frame gives them, straight into the fields: the magic, then each
// field's length and bytes. Every field grows only by bytes really given, and the lengths the fields
// declare may not add up to more than an original holds, so no frame makes it allocate more.
class FieldSink {
public:
    explicit FieldSink(MailOriginal& original) : fields_(FieldsOf(original)) {}

    // False once the bytes cannot be an original.
    bool Take(const char* p, size_t n) {
        while (n > 0) {
            if (left_ > 0) {
                const size_t k = static_cast<size_t>(std::min<uint64_t>(n, left_));
                fields_[field_]->append(p, k);
                p += k;
                n -= k;
                left_ -= k;
                field_ += left_ == 0 ? 1 : 0;
                continue;
            }
            if (field_ == kFieldCount)
                return false; // bytes after the last field
            word_.push_back(*p++);
            --n;
            if (word_.size() < 4)
                continue;
            if (!magic_) {
                if (word_ != kMagic)
                    return false;
                magic_ = true;
            } else {
                uint32_t length = 0;
                for (int i = 0; i < 4; ++i)
                    length |= static_cast<uint32_t>(static_cast<unsigned char>(word_[static_cast<size_t>(i)]))
                              << (8 * i);
                declared_ += length;
                if (declared_ > kMaxOriginalBytes)
                    return false;
                left_ = length;
                field_ += length == 0 ? 1 : 0;
            }
            word_.clear();
        }
        return true;
    }
    bool Complete() const { return magic_ && field_ == kFieldCount && word_.empty(); }

private:
    std::array<std::string*, kFieldCount> fields_;
    std::string word_; // the magic or a length, as far as given
    bool magic_ = false;
    size_t field_ = 0;  // the field being filled, or whose length comes next
    uint64_t left_ = 0; // bytes of that field still to come
    uint64_t declared_ = 0;
};

} // namespace

std::string FramedOriginal(const MailOriginal& original) {
    std::string plain(kMagic);
    for (const std::string* field : FieldsOf(original)) {
        const auto n = static_cast<uint32_t>(field->size());
        for (int i = 0; i < 4; ++i)
            plain.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
        plain += *field;
    }
    return plain;
}

std::string PackFramed(std::string_view plain, const PackingDictionary* dictionary) {
    // Contexts per thread, reused: a read packs every mail it stores. The one for dictionaries keeps
    // its setting: a frame packed with a dictionary names it and carries a checksum of its content,
    // so that unpacked with other bytes under the same id it fails instead of giving another original.
    thread_local std::unique_ptr<ZSTD_CCtx, CCtxFree> cctx(ZSTD_createCCtx());
    thread_local std::unique_ptr<ZSTD_CCtx, CCtxFree> withDictionary(ZSTD_createCCtx());
    if (!cctx || !withDictionary)
        throw std::bad_alloc();
    std::string packed(ZSTD_compressBound(plain.size()), '\0');
    size_t n = 0;
    if (dictionary) {
        ZSTD_CCtx* c = withDictionary.get();
        n = ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
        if (!ZSTD_isError(n))
            n = ZSTD_CCtx_refCDict(c, dictionary->CDict());
        if (!ZSTD_isError(n))
            n = ZSTD_compress2(c, packed.data(), packed.size(), plain.data(), plain.size());
        ZSTD_CCtx_refCDict(c, nullptr); // the context outlives the dictionary
    } else {
        n = ZSTD_compressCCtx(cctx.get(), packed.data(), packed.size(), plain.data(), plain.size(), kLevel);
    }
    if (ZSTD_isError(n))
        throw std::bad_alloc(); // only a failed allocation inside zstd gets here
    packed.resize(n);
    return packed;
}

std::string PackOriginal(const MailOriginal& original, const PackingDictionary* dictionary) {
    return PackFramed(FramedOriginal(original), dictionary);
}

uint32_t DictionaryOfPacked(std::string_view packed) {
    return ZSTD_getDictID_fromFrame(packed.data(), packed.size());
}

std::optional<MailOriginal> UnpackOriginal(std::string_view packed, OriginalDictionaries* dictionaries) {
    const ReusedDCtx dctx;
    // Held until the frame is unpacked: the context only refers to it.
    std::shared_ptr<const ZSTD_DDict> dictionary;
    if (const uint32_t id = DictionaryOfPacked(packed); id != 0) {
        dictionary = dictionaries ? dictionaries->Find(id) : nullptr;
        if (!dictionary || ZSTD_isError(ZSTD_DCtx_refDDict(dctx.get(), dictionary.get())))
            return std::nullopt;
    }
    MailOriginal original;
    FieldSink sink(original);
    ZSTD_inBuffer in{packed.data(), packed.size(), 0};
    std::array<char, 1 << 16> chunk{};
    size_t left = 1;
    while (left != 0) {
        ZSTD_outBuffer out{chunk.data(), chunk.size(), 0};
        left = ZSTD_decompressStream(dctx.get(), &out, &in);
        if (ZSTD_isError(left) || !sink.Take(chunk.data(), out.pos))
            return std::nullopt;
        if (left != 0 && out.pos == 0 && in.pos == in.size)
            return std::nullopt; // the frame breaks off
    }
    if (in.pos != in.size || !sink.Complete())
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

OriginalReader::OriginalReader(SQLite::Database& db) : dictionaries_(db) {
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
        try {
            auto original = UnpackOriginal(
                std::string_view(static_cast<const char*>(data.getBlob()), static_cast<size_t>(data.getBytes())),
                &dictionaries_);
            if (original)
                stored = StoredOriginal{std::move(*original), st.getColumn(0).getString(), st.getColumn(1).getInt64()};
        } catch (const std::bad_alloc&) {
            // Too large for this machine's memory now: this mail's original only, as a damaged one.
        }
        unreadable_ += stored ? 0 : 1;
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

bool AnyOriginalBelow(SQLite::Database& db, int64_t version) {
    SQLite::Statement q(db, "SELECT 1 FROM tblOriginal WHERE tblOriginal_Decoding < ?1 LIMIT 1");
    q.bind(1, version);
    return q.executeStep();
}

int64_t CountOriginalsBelow(SQLite::Database& db, int64_t version) {
    SQLite::Statement total(db, "SELECT COUNT(*) FROM tblOriginal WHERE tblOriginal_Decoding < ?1");
    total.bind(1, version);
    total.executeStep();
    return total.getColumn(0).getInt64();
}

bool AnyOriginalMarked(SQLite::Database& db, int64_t decoding) {
    SQLite::Statement left(db, "SELECT 1 FROM tblOriginal WHERE tblOriginal_Decoding = ?1 LIMIT 1");
    left.bind(1, decoding);
    return left.executeStep();
}

int64_t MarkEveryOriginal(SQLite::Database& db, int64_t decoding) {
    SQLite::Statement mark(db, "UPDATE tblOriginal SET tblOriginal_Decoding = ?1");
    mark.bind(1, decoding);
    return mark.exec();
}

OriginalBatchReader::OriginalBatchReader(SQLite::Database& db, int64_t below, int maxRows, size_t maxBytes)
    : next_(db, "SELECT tblOriginal_YMD, tblOriginal_HMS, tblOriginal_SubKey, tblOriginal_SndRcvFlag, "
                "tblOriginal_SndAdd, tblOriginal_RcvAdd, tblOriginal_Data FROM tblOriginal "
                "WHERE tblOriginal_Decoding < ?1 LIMIT ?2"),
      below_(below), maxRows_(maxRows), maxBytes_(maxBytes) {}

std::vector<PackedOriginal> OriginalBatchReader::Next() {
    std::vector<PackedOriginal> batch;
    size_t bytes = 0;
    next_.reset();
    next_.bind(1, below_);
    next_.bind(2, maxRows_);
    while (bytes < maxBytes_ && next_.executeStep()) {
        PackedOriginal p;
        p.key.ymd = next_.getColumn(0).getString();
        p.key.hms = next_.getColumn(1).getString();
        p.key.subKey = next_.getColumn(2).getInt64();
        p.key.sent = next_.getColumn(3).getInt() != 0;
        p.key.sndAdd = next_.getColumn(4).getString();
        p.key.rcvAdd = next_.getColumn(5).getString();
        const SQLite::Column data = next_.getColumn(6);
        p.packed.assign(static_cast<const char*>(data.getBlob()), static_cast<size_t>(data.getBytes()));
        bytes += p.packed.size();
        batch.push_back(std::move(p));
    }
    next_.reset();
    return batch;
}

} // namespace kamo
