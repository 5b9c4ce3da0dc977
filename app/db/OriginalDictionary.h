#pragma once
// The dictionaries kept originals are packed with (tblOriginalDictionary, db/Schema.h). Mail are
// small and alike: a dictionary trained from an archive's own mail packs each of them to a fraction
// of what it packs to alone. Each dictionary has an id, named in the header of every frame packed
// with it; a frame naming none (id 0) was packed without one. Dictionaries are only ever added, so
// every original ever kept stays readable, and they travel with the archive in every copy (backups,
// compaction, recreation, the CSV export).
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

struct ZSTD_CDict_s;
struct ZSTD_DDict_s;

namespace kamo {

inline constexpr const char* kOriginalDictionaryTable = "tblOriginalDictionary";

// No dictionary is larger: a row beyond it is damage, never loaded.
inline constexpr size_t kMaxDictionaryBytes = size_t{1} << 20;

// The id a dictionary's bytes carry; 0 when they are no dictionary.
uint32_t DictionaryIdOf(std::string_view bytes);

// A dictionary made ready for packing (zstd's compression form at the originals' level). Read-only
// once made: the threads that pack share it.
class PackingDictionary {
public:
    // Nothing when `bytes` are no dictionary (or larger than kMaxDictionaryBytes).
    static std::shared_ptr<const PackingDictionary> Make(std::string bytes);
    uint32_t Id() const { return id_; }
    const std::string& Bytes() const { return bytes_; }
    const ZSTD_CDict_s* CDict() const { return cdict_.get(); }

private:
    struct Free {
        void operator()(ZSTD_CDict_s* c) const;
    };
    std::string bytes_;
    uint32_t id_ = 0;
    std::unique_ptr<ZSTD_CDict_s, Free> cdict_;
};

// The dictionaries for unpacking, by id: each looked up in the archive at its first use and kept
// (zstd's decompression form, shared read-only, so one set may serve several threads). One not in the
// archive, or damaged, is none: the originals that need it do not unpack.
class OriginalDictionaries {
public:
    OriginalDictionaries() = default; // without an archive: only what Add gives
    explicit OriginalDictionaries(SQLite::Database& db);
    OriginalDictionaries(const OriginalDictionaries&) = delete;
    OriginalDictionaries& operator=(const OriginalDictionaries&) = delete;

    // Adds a dictionary that is not in the archive (yet): a CSV import's. False when `bytes` are no
    // dictionary or not one with the id `id`.
    bool Add(uint32_t id, std::string_view bytes);
    // The dictionary `id`; null when there is none such.
    std::shared_ptr<const ZSTD_DDict_s> Find(uint32_t id);

private:
    std::mutex mutex_;
    std::optional<SQLite::Statement> select_;
    std::map<uint32_t, std::shared_ptr<const ZSTD_DDict_s>> loaded_;
};

// Trains a dictionary from samples (concatenated in `samples`, each sizes[i] bytes long); empty when
// they are too few or too alike for one.
std::string TrainOriginalDictionary(const std::string& samples, const std::vector<size_t>& sizes);

// The dictionary a read packs with, ready: the archive's first by id (it has several only when a CSV
// import brought another archive's); nothing when it has none (or no table).
std::shared_ptr<const PackingDictionary> ArchiveDictionary(SQLite::Database& db);

// Keeps `dictionary` in the archive when it is not there yet, in the caller's transaction.
void KeepDictionary(SQLite::Database& db, const PackingDictionary& dictionary);

} // namespace kamo
