#pragma once
// The loop every mail export shares: each selected mail made into its message (MailMessage.h, or the
// kept original under `original`), the Message-IDs repeated in the selection replaced by the ones made
// from the keys, and handed to a sink that writes it somewhere: a file, a folder, a mail server.
#include <cstdint>
#include <string>
#include <string_view>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "common/WaitReporter.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"

namespace kamo {

// One mail as a sink takes it.
struct SinkMail {
    const MailRecord& mail;
    const std::string& message;
    bool seen;           // marked read
    bool original;       // the message is the original: nothing may be added
    int zoneMinutes;     // of the stored clock time
    std::string mailbox; // the PostPet mailbox it was read from (empty: not kept)
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // The line end of the messages made from rows (an original keeps its own).
    virtual std::string_view LineEnd() const { return "\n"; }
    // Every how many mails the count is shown: a slow sink shows each.
    virtual int64_t CountEvery() const { return 64; }
    virtual void Add(const SinkMail& m) = 0;
    virtual void Finish() = 0;
};

// Hands every mail of `selection` to `sink`, the count through `wait`, and finishes the sink. A stop
// asked for through `wait` (checked before every mail) returns at once with `stopped` set and the sink
// not finished. What the sink throws goes through.
ExportResult WriteMessages(SQLite::Database& db, const MailSelection& selection, MessageSink& sink, WaitReporter& wait,
                           const ExportOptions& options);

} // namespace kamo
