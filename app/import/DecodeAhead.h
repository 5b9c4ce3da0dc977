#pragma once
// Decodes a mailbox's framed entries on a second thread, a few mails ahead of the thread that
// stores them: the conversion of one mail overlaps the archive's writing of the one before. The
// entries come out in the file's order, exactly as reading and decoding them one by one gives
// them; what is waiting is bounded in number and in bytes, so memory does not grow with the
// mailbox.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "db/OriginalPacker.h"
#include "import/FramedReader.h"
#include "import/MailDecode.h"

namespace kamo {

struct DecodedEntry {
    FramedEntry entry;       // as the reader gave it
    DecodedMail decoded;     // entry.mail decoded; empty for a damaged entry
    std::string packed;      // PackOriginal of entry.mail when originals are kept; else empty
    uint32_t dictionary = 0; // the dictionary `packed` needs; 0 for none
};

// Decodes one mail: `whole` true for DecodeMail, false for DecodeMailAsText (tests put failures in).
using DecodeFn = std::function<DecodedMail(const TmpMail& raw, Mail_StrChange_Fn strChange, bool whole)>;

// One mail decoded as the read decodes it: DecodeMail, or DecodeMailAsText when that throws
// (std::bad_alloc included); nothing when that throws too. `decode` empty: the real ones.
std::optional<DecodedMail> DecodeReadMail(const TmpMail& raw, Mail_StrChange_Fn strChange, const DecodeFn& decode);

class DecodeAhead {
public:
    // `reader` belongs to the decoding thread until Next has returned false. A mail whose decoding
    // throws (std::bad_alloc included) is read again by DecodeMailAsText; when that throws too, it
    // comes out as a damaged entry at its place in the list file. `decode` empty: the real ones.
    // With `keepOriginals`, each intact mail's original is packed here too (DecodedEntry::packed),
    // off the storing thread; by `packer` when given, whose dictionary Next keeps in the archive (in
    // the taker's transaction) before it hands out the first entry packed with it.
    DecodeAhead(FramedReader& reader, Mail_StrChange_Fn strChange, DecodeFn decode = {}, bool keepOriginals = false,
                OriginalPacker* packer = nullptr);
    ~DecodeAhead(); // stops the decoding thread and waits for it
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // The next entry; false at the end (then the reader's Broken() may be asked). An exception the
    // reader threw comes out here, in its place in the order.
    bool Next(DecodedEntry& out);

private:
    void Run();

    FramedReader& reader_;
    Mail_StrChange_Fn strChange_;
    DecodeFn decode_;
    bool keepOriginals_;
    OriginalPacker* packer_;
    uint32_t keptDictionary_ = 0; // the taker's: kept in the archive by this mailbox's transaction
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<DecodedEntry> ready_;
    std::size_t readyBytes_ = 0;
    bool finished_ = false;        // the thread has put its last entry
    bool stop_ = false;            // the taker has gone
    bool producerWaiting_ = false; // the decoding thread waits for room
    bool consumerWaiting_ = false; // Next waits for an entry
    std::exception_ptr error_;
    std::thread thread_;
};

} // namespace kamo
