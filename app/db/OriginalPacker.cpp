#include "db/OriginalPacker.h"

#include <algorithm>
#include <new>

namespace kamo {

OriginalPacker::OriginalPacker(SQLite::Database& db, DictionarySample sample)
    : db_(db), sample_(sample), dictionary_(ArchiveDictionary(db)) {
    gathering_ = !dictionary_ && sample_.mails > 0;
    if (dictionary_)
        made_.emplace(dictionary_->Id(), dictionary_);
}

OriginalPacker::Packed OriginalPacker::Pack(const MailOriginal& original) {
    std::string framed = FramedOriginal(original);
    if (gathering_) {
        const size_t n = std::min(framed.size(), sample_.bytesPerMail);
        try {
            samples_.append(framed, 0, n);
            sizes_.push_back(n);
        } catch (const std::bad_alloc&) {
            gathering_ = false; // no dictionary for this read; the mail itself is packed as ever
        }
        if (gathering_ && (sizes_.size() >= sample_.mails || samples_.size() >= sample_.bytes))
            Train();
    }
    return {PackFramed(framed, dictionary_.get()), dictionary_ ? dictionary_->Id() : 0};
}

void OriginalPacker::Train() {
    gathering_ = false;
    try {
        dictionary_ = PackingDictionary::Make(TrainOriginalDictionary(samples_, sizes_));
    } catch (const std::bad_alloc&) {
        dictionary_.reset();
    }
    samples_ = std::string();
    sizes_ = std::vector<size_t>();
    if (!dictionary_)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    made_.emplace(dictionary_->Id(), dictionary_);
}

void OriginalPacker::Keep(uint32_t dictionary) {
    std::shared_ptr<const PackingDictionary> d;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const auto it = made_.find(dictionary); it != made_.end())
            d = it->second;
    }
    if (d)
        KeepDictionary(db_, *d);
}

} // namespace kamo
