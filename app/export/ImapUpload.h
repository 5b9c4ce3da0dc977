#pragma once
// The upload of mail to an IMAP account (kamomail export --format imap URL): each selected mail as
// the eml export writes it (CR LF line ends; an original with bare LF line ends gets CR LF, nothing
// else changed), appended to the target's folder (under `folders`: one folder per PostPet mailbox
// below it, named as the other exports name them) with the mail's moment and zone as its internal
// date and \Seen as the other exports mark it read.
//
// Never twice: before the first append to a folder its messages' keys are read (ImapMessageKey: the
// Message-ID, or Date, From and Subject for a message without one), and a mail already there is
// skipped and counted. Nothing of the upload is kept on this side, so a run killed at any point and
// run again leaves each mail there once.
//
// A lost connection is made again (a few tries, longer waits between them), the folder's keys read
// again, and the upload goes on where it was: a message whose append was never answered is found by
// its key. A message the server refuses (quota, size) is counted and the rest go on. A wrong password,
// an unknown host or a refused certificate stops at once.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/Failure.h"
#include "common/MailRecord.h"
#include "common/WaitReporter.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"
#include "imap/ImapSession.h"

namespace kamo {

struct ImapUploadOptions {
    ExportOptions mail;         // seen, original, folders
    ImapSessionOptions session; // the CA file, the timeout
    // The waits before each try to connect again after the connection was lost.
    std::vector<int> retryDelaysMs = {1000, 2000, 4000};
};

struct FolderUpload {
    std::string folder; // UTF-8, "/" between levels, as the server holds it
    int64_t appended = 0;
    int64_t alreadyThere = 0;
    int64_t failed = 0;
};

struct RefusedMail {
    MailRecord mail;
    Failure why;
};

struct ImapUploadResult {
    std::vector<FolderUpload> folders; // in the order the upload came to them
    std::vector<RefusedMail> refused;  // each mail the server would not store
    int64_t withoutOriginal = 0;       // `original`: mails sent as made from their rows
    bool stopped = false;              // by the user, after the message being appended
    // What ended the upload before its end (the connection lost for good, the password no longer
    // taken): the counts are those up to it.
    std::optional<Failure> endedBy;

    int64_t Appended() const;
    int64_t Failed() const;
};

// What an upload did in the catalogue's words, as the terminal and the export window both say it:
// `done` a line for the server and one per folder (and one for mails sent without their original);
// `problems` one entry per mail the server refused and why, then the stop or what ended the upload
// early, each without its final line end.
struct UploadSummary {
    std::string done;
    std::vector<std::string> problems;
};
UploadSummary UploadSummaryOf(const ImapUploadResult& result, const std::string& host, const MailSelection& selection);

// Connects, logs in (a failure here throws, before anything is sent) and uploads the selected mails,
// with progress "N of M" through `wait`, which may stop it between two messages.
ImapUploadResult UploadMails(SQLite::Database& db, const MailSelection& selection, const ImapTarget& target,
                             const std::string& password, WaitReporter& wait, const ImapUploadOptions& options = {});

// The internal date of a mail: the moment and zone of its Date header (MailDates.h, MessageDate): the
// stored clock time in `zoneMinutes`, a leap second as :59, and 1970-01-01 00:00:00 +0000 for a date
// that could not be read.
ImapInternalDate InternalDateOf(const MailRecord& mail, int zoneMinutes);

// `message` with CR LF for each line end that is a bare LF; a CR LF, a lone CR and all else as it was.
std::string CrlfLineEnds(std::string_view message);

} // namespace kamo
