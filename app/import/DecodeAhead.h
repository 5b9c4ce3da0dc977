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
#include <mutex>
#include <thread>

#include "import/FramedReader.h"
#include "import/MailDecode.h"

namespace kamo {

struct DecodedEntry {
    FramedEntry entry;   // as the reader gave it
    DecodedMail decoded; // entry.mail decoded; empty for a damaged entry
};

class DecodeAhead {
public:
    // `reader` belongs to the decoding thread until Next has returned false.
    DecodeAhead(FramedReader& reader, Mail_StrChange_Fn strChange);
    ~DecodeAhead(); // stops the decoding thread and waits for it
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // The next entry; false at the end (then the reader's Broken() may be asked). An exception the
    // decoding threw comes out here, in its place in the order.
    bool Next(DecodedEntry& out);

private:
    void Run();

    FramedReader& reader_;
    Mail_StrChange_Fn strChange_;
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
