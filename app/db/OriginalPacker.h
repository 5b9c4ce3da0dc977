#pragma once
// How a read packs the originals it keeps (db/MailOriginals.h): with the archive's dictionary
// (db/OriginalDictionary.h); in an archive without one, without it while the read's first mails are
// gathered as a sample, then with the dictionary trained from that sample. Mail packed before the
// training stays packed without it (still readable). The dictionary is kept in the archive by the
// storing thread, in the transaction of the first mail packed with it, so no original is ever
// committed before the dictionary it needs.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "db/MailOriginals.h"

namespace kamo {

// How much of a read's mail the dictionary is trained from: the first `mails` originals, or fewer
// once they reach `bytes`; of each at most `bytesPerMail` (its list strings and header come first).
// On the benchmark's mail (bench/import.cpp) 1,000 mails are 1.6 MB, trained in under half a second;
// four times as many pack hardly smaller (0.2%). A read of fewer mails trains nothing.
struct DictionarySample {
    size_t mails = 1000;
    size_t bytes = size_t{4} << 20;
    size_t bytesPerMail = size_t{8} << 10;
};

class OriginalPacker {
public:
    // Takes the archive's dictionary, if it has one (the storing thread, before the read).
    explicit OriginalPacker(SQLite::Database& db, DictionarySample sample = {});

    struct Packed {
        std::string bytes;
        uint32_t dictionary = 0; // the dictionary it was packed with; 0 for none
    };
    // One thread at a time (the decoding thread). Training that fails (out of memory, a sample too
    // alike) leaves the read packing without a dictionary.
    Packed Pack(const MailOriginal& original);

    // The storing thread, inside the transaction that stores a mail packed with `dictionary`: keeps
    // it in the archive unless it is there already.
    void Keep(uint32_t dictionary);

private:
    void Train();

    SQLite::Database& db_;
    DictionarySample sample_;
    std::shared_ptr<const PackingDictionary> dictionary_; // the decoding thread's
    bool gathering_ = false;
    std::string samples_;
    std::vector<size_t> sizes_;
    std::mutex mutex_;
    std::map<uint32_t, std::shared_ptr<const PackingDictionary>> made_; // for Keep, by id
};

} // namespace kamo
