#include "db/OriginalDictionary.h"

#define ZDICT_STATIC_LINKING_ONLY
#include <zdict.h>
#include <zstd.h>

namespace kamo {
namespace {

// The level originals are packed at with a dictionary, as without one (MailOriginals.cpp). Measured
// on the benchmark's 100,000 mails: level 9 packs them 2% smaller at five times the time, level 1
// 1% larger at hardly less.
constexpr int kLevel = 3;
// What the dictionary may hold. On the same mail, dictionaries of 16 to 112 KiB trained from 500 to
// 4,000 mails pack within 1% of each other (to 70% of what they pack to alone); 32 KiB is small to
// keep and quick to load.
constexpr size_t kDictionaryBytes = size_t{32} << 10;

struct DDictFree {
    void operator()(const ZSTD_DDict* d) const { ZSTD_freeDDict(const_cast<ZSTD_DDict*>(d)); }
};

bool HasTable(SQLite::Database& db) {
    SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
    q.bind(1, kOriginalDictionaryTable);
    return q.executeStep();
}

} // namespace

uint32_t DictionaryIdOf(std::string_view bytes) {
    // A dictionary of zstd's own form (magic, id, entropy tables, content); raw content carries no id.
    return static_cast<uint32_t>(ZDICT_getDictID(bytes.data(), bytes.size()));
}

void PackingDictionary::Free::operator()(ZSTD_CDict_s* c) const {
    ZSTD_freeCDict(c);
}

std::shared_ptr<const PackingDictionary> PackingDictionary::Make(std::string bytes) {
    const uint32_t id = DictionaryIdOf(bytes);
    if (id == 0 || bytes.size() > kMaxDictionaryBytes)
        return nullptr;
    auto d = std::make_shared<PackingDictionary>();
    d->id_ = id;
    d->bytes_ = std::move(bytes);
    d->cdict_.reset(ZSTD_createCDict(d->bytes_.data(), d->bytes_.size(), kLevel));
    if (!d->cdict_)
        return nullptr;
    return d;
}

OriginalDictionaries::OriginalDictionaries(SQLite::Database& db) {
    // An archive written before there were dictionaries (a backup opened read-only) has none.
    if (HasTable(db))
        select_.emplace(db, "SELECT tblOriginalDictionary_Data FROM tblOriginalDictionary WHERE "
                            "tblOriginalDictionary_Id = ?1 AND length(tblOriginalDictionary_Data) <= ?2");
}

namespace {

// zstd's decompression form of `bytes`, when they are the dictionary `id`.
std::shared_ptr<const ZSTD_DDict> MakeDDict(uint32_t id, std::string_view bytes) {
    if (id == 0 || bytes.size() > kMaxDictionaryBytes || DictionaryIdOf(bytes) != id)
        return nullptr;
    std::shared_ptr<const ZSTD_DDict> d(ZSTD_createDDict(bytes.data(), bytes.size()), DDictFree());
    // Damaged entropy tables make no dictionary at all.
    if (!d || ZSTD_getDictID_fromDDict(d.get()) != id)
        return nullptr;
    return d;
}

} // namespace

bool OriginalDictionaries::Add(uint32_t id, std::string_view bytes) {
    auto d = MakeDDict(id, bytes);
    if (!d)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    loaded_.emplace(id, std::move(d));
    return true;
}

std::shared_ptr<const ZSTD_DDict_s> OriginalDictionaries::Find(uint32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = loaded_.find(id); it != loaded_.end())
        return it->second;
    if (!select_ || id == 0)
        return nullptr;
    // Not kept when missing: a later read may add it while this set is in use.
    SQLite::Statement& st = *select_;
    st.reset();
    st.bind(1, static_cast<int64_t>(id));
    st.bind(2, static_cast<int64_t>(kMaxDictionaryBytes));
    std::shared_ptr<const ZSTD_DDict> d;
    if (st.executeStep()) {
        const SQLite::Column data = st.getColumn(0);
        d = MakeDDict(id,
                      std::string_view(static_cast<const char*>(data.getBlob()), static_cast<size_t>(data.getBytes())));
    }
    st.reset();
    if (d)
        loaded_.emplace(id, d);
    return d;
}

std::string TrainOriginalDictionary(const std::string& samples, const std::vector<size_t>& sizes) {
    if (sizes.empty())
        return {};
    std::string dictionary(kDictionaryBytes, '\0');
    // FastCover with fixed parameters, not the search over them of ZDICT_trainFromBuffer: under half
    // a second for the read's sample.
    ZDICT_fastCover_params_t params{};
    params.k = 200;
    params.d = 8;
    params.f = 20;
    params.accel = 1;
    params.zParams.compressionLevel = kLevel;
    const size_t n = ZDICT_trainFromBuffer_fastCover(dictionary.data(), dictionary.size(), samples.data(), sizes.data(),
                                                     static_cast<unsigned>(sizes.size()), params);
    if (ZDICT_isError(n))
        return {};
    dictionary.resize(n);
    return dictionary;
}

std::shared_ptr<const PackingDictionary> ArchiveDictionary(SQLite::Database& db) {
    if (!HasTable(db))
        return nullptr;
    SQLite::Statement q(db, "SELECT tblOriginalDictionary_Data FROM tblOriginalDictionary WHERE "
                            "length(tblOriginalDictionary_Data) <= ?1 ORDER BY tblOriginalDictionary_Id");
    q.bind(1, static_cast<int64_t>(kMaxDictionaryBytes));
    // A damaged row is passed over for the next.
    while (q.executeStep()) {
        const SQLite::Column data = q.getColumn(0);
        if (auto d = PackingDictionary::Make(
                std::string(static_cast<const char*>(data.getBlob()), static_cast<size_t>(data.getBytes()))))
            return d;
    }
    return nullptr;
}

void KeepDictionary(SQLite::Database& db, const PackingDictionary& dictionary) {
    SQLite::Statement q(db, "INSERT OR IGNORE INTO tblOriginalDictionary (tblOriginalDictionary_Id, "
                            "tblOriginalDictionary_Data) VALUES (?1, ?2)");
    q.bind(1, static_cast<int64_t>(dictionary.Id()));
    q.bindNoCopy(2, dictionary.Bytes().data(), static_cast<int>(dictionary.Bytes().size()));
    q.exec();
}

} // namespace kamo
