#pragma once
// Writing mail for other mail programs, in three forms:
//   mbox     one file; each message after a "From " line (the sender and the mail's time in UTC),
//            lines ending in LF, and every line that starts with ">*From " given one more ">" (the
//            mboxrd form, which a reader can undo). A mail marked read carries "Status: RO".
//            Written beside the target and renamed over it when complete.
//   Maildir  a folder with cur/, new/ and tmp/: each message is written in tmp/ and moved to cur/
//            with the flag ":2,S" (read) or to new/ (unread). The file name
//            "<time>.K<key>.<host>" (the key's whole hash, "-2", "-3", ... after it for a second mail
//            of the same hash: ExportFiles.h) is unique per mail and the same on every export, so exporting
//            again replaces the mail's file, wherever a mail program has moved it and whatever flags
//            it gave it (a file still in new/ moves to cur/ when the export marks it read). Each
//            file's modification time is the mail's own moment, which Maildir readers take for the
//            time the mail arrived.
//   eml      a folder with one "<date>-<time>-<sub-key>-<s|r>-<key>.eml" per mail (MailFileStem, made
//            unique by MailFileNames), lines ending in CR LF, its modification time the mail's;
//            exporting again replaces the same files.
//   html     a folder a browser reads: HtmlArchive.h.
// A file that cannot be written leaves no temporary behind. The messages themselves: MailMessage.h.
// Memory stays flat: one mail at a time.
// Two choices for every form:
//   original  each mail as its original (db/MailOriginals.h) was, its header region and body byte for
//             byte, nothing added (mbox: no Status line; its separator and quoting as always, and a line
//             break after an original that ends without one, as every mbox message ends); a mail
//             without a kept original goes as the message made from its row, and is counted.
//   folders   one mbox file, one Maildir++ folder ("<target>/.<name>/", the target a Maildir of its
//             own) or one eml folder per PostPet mailbox the mails were read from, named by the
//             mailbox ("受信フォルダ", "ピンクの引出し", ...; "/", "." and control characters
//             become "_"); mail with no mailbox kept goes to kUnknownMailbox. The target is a folder.
//   Either way the zone, the receivers and the HTML of a kept original go into the message.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/WaitReporter.h"
#include "export/MailSelection.h"

namespace kamo {

// Imap is not written by ExportMails but uploaded (ImapUpload.h), from the terminal and the window.
enum class MailFormat { Mbox, Maildir, Eml, Html, Imap };

struct MailFormatInfo {
    MailFormat format;
    const char* name;    // as the command line names it
    const char* caption; // as the window shows it
    bool folder;         // the target is a folder (else a file)
    bool hasFlags;       // it marks mail read or unread (ExportOptions::seen)
    bool upload;         // the target is a mail server's address, not a file or folder
};
const std::vector<MailFormatInfo>& MailFormats();
std::optional<MailFormat> MailFormatNamed(const std::string& name);
const MailFormatInfo& InfoOf(MailFormat format);

// Which mails are marked read (mbox's Status, Maildir's cur/ and "S"); eml files have no flags.
enum class SeenMail { All, SentOnly };
struct SeenChoice {
    SeenMail seen;
    const char* name;    // as the command line names it (--seen)
    const char* caption; // as the window shows it
};
// All first: the mail is years old and was read long ago.
const std::vector<SeenChoice>& SeenChoices();
std::optional<SeenMail> SeenMailNamed(const std::string& name);

// The folder of mails whose PostPet mailbox is not kept (read before the archive kept it).
inline constexpr const char* kUnknownMailbox = "メールボックス不明";

struct ExportOptions {
    SeenMail seen = SeenMail::All;
    bool original = false; // each mail's original as it was, where one is kept
    bool folders = false;  // one mbox file or folder per PostPet mailbox
};

struct ExportResult {
    int64_t written = 0;
    std::filesystem::path target;
    // Stopped by the user (the wait window's 中止) between two mails: an mbox file was not written
    // (a file already at the target stays as it was); Maildir and eml keep the `written` mails,
    // each a complete file, for they may replace the files of an earlier export.
    bool stopped = false;
    int64_t withoutOriginal = 0; // `original`: mails written from their rows, for none was kept
    // Mails whose kept original could not be unpacked (damaged, or too large): written from their
    // rows as mails without one (under `original` counted in withoutOriginal too).
    int64_t unreadableOriginals = 0;
    int64_t picturesNotDrawn = 0; // PDF and print: pictures that could not be decoded (their names are listed)
};

// Writes the selected mails to `target` (a file for mbox, a folder for the others, made when
// missing) with progress through `wait` ("メールを書き出しています。", count, bar), offering 中止
// (checked after every mail, so it takes effect at once). A search selection
// brings the search index up to date first. Throws std::runtime_error with a message for the user
// when the target cannot be written (the mbox file then stays as it was), SQLite::Exception on a
// database error. A mail's own Message-ID (kept when it was read) goes out unless another mail of
// the same export has it too; then each of them carries the one made from its key.
ExportResult ExportMails(SQLite::Database& db, const MailSelection& selection, MailFormat format,
                         const std::filesystem::path& target, WaitReporter& wait, const ExportOptions& options = {});

// The name a mailbox's file or folder is given under `folders`.
std::string MailboxFolderName(const std::string& mailbox);

// mbox's quoting of one message: ">" before every line that starts with ">*From ". Append... puts it
// at the end of `out` (the mbox file's buffer), without a copy of its own.
std::string MboxQuoted(std::string_view message);
void AppendMboxQuoted(std::string& out, std::string_view message);

} // namespace kamo
