#include "import/DecodeAhead.h"

#include <utility>

namespace kamo {
namespace {

// Enough to keep the taker busy; one mail is always let through, however large.
constexpr std::size_t kMaxEntries = 64;
constexpr std::size_t kMaxBytes = std::size_t{16} << 20;

std::size_t BytesOf(const DecodedEntry& e) {
    const TmpMail& m = e.entry.mail;
    std::size_t n = m.from.size() + m.to.size() + m.subject.size() + m.date.size() + m.body.size() + m.header.size() +
                    m.rawBody.size() + e.decoded.record.body.size() + e.packed.size() + 256;
    for (const auto& a : e.decoded.attachments)
        n += a.bytes.size() + a.name.size();
    return n;
}

} // namespace

// One mail's failure is that mail's own: the others of the mailbox and of the read go on. Each
// attempt starts after the one before has unwound, so what it held is free again.
std::optional<DecodedMail> DecodeReadMail(const TmpMail& raw, Mail_StrChange_Fn strChange, const DecodeFn& decode) {
    for (const bool whole : {true, false}) {
        try {
            if (decode)
                return decode(raw, strChange, whole);
            return whole ? DecodeMail(raw, strChange) : DecodeMailAsText(raw, strChange);
        } catch (...) {
        }
    }
    return std::nullopt;
}

DecodeAhead::DecodeAhead(FramedReader& reader, Mail_StrChange_Fn strChange, DecodeFn decode, bool keepOriginals,
                         OriginalPacker* packer)
    : reader_(reader), strChange_(strChange), decode_(std::move(decode)), keepOriginals_(keepOriginals),
      packer_(packer), thread_([this] { Run(); }) {}

DecodeAhead::~DecodeAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void DecodeAhead::Run() {
    try {
        for (;;) {
            DecodedEntry e;
            if (!reader_.Next(e.entry))
                break;
            if (!e.entry.damaged) {
                if (auto decoded = DecodeReadMail(e.entry.mail, strChange_, decode_)) {
                    e.decoded = std::move(*decoded);
                    if (keepOriginals_ && packer_) {
                        OriginalPacker::Packed p = packer_->Pack(OriginalOf(e.entry.mail));
                        e.packed = std::move(p.bytes);
                        e.dictionary = p.dictionary;
                    } else if (keepOriginals_) {
                        e.packed = PackOriginal(OriginalOf(e.entry.mail));
                    }
                } else {
                    e.entry.damaged = true;
                    e.entry.mail = {};
                }
            }
            const std::size_t bytes = BytesOf(e);
            std::unique_lock<std::mutex> lock(mutex_);
            auto room = [&] {
                return stop_ || ready_.empty() || (ready_.size() < kMaxEntries && readyBytes_ + bytes <= kMaxBytes);
            };
            if (!room()) {
                producerWaiting_ = true;
                changed_.wait(lock, room);
                producerWaiting_ = false;
            }
            if (stop_)
                return;
            ready_.push_back(std::move(e));
            readyBytes_ += bytes;
            // Waking the other thread costs a switch of threads: only when it waits.
            const bool wake = consumerWaiting_;
            lock.unlock();
            if (wake)
                changed_.notify_all();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

bool DecodeAhead::Next(DecodedEntry& out) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto any = [&] { return !ready_.empty() || finished_; };
    if (!any()) {
        consumerWaiting_ = true;
        changed_.wait(lock, any);
        consumerWaiting_ = false;
    }
    if (ready_.empty()) {
        if (error_)
            std::rethrow_exception(std::exchange(error_, nullptr));
        return false;
    }
    out = std::move(ready_.front());
    ready_.pop_front();
    readyBytes_ -= BytesOf(out);
    // The decoding thread waits for room until the queue is half empty, so that it then decodes a
    // run of mails before the next switch.
    const bool wake = producerWaiting_ && ready_.size() <= kMaxEntries / 2 && readyBytes_ <= kMaxBytes / 2;
    lock.unlock();
    if (wake)
        changed_.notify_all();
    if (out.dictionary != 0 && out.dictionary != keptDictionary_ && packer_) {
        packer_->Keep(out.dictionary);
        keptDictionary_ = out.dictionary;
    }
    return true;
}

} // namespace kamo
