#pragma once
// The mail as a folder any browser reads from a USB stick, with no server, no network and no script:
//   index.html          the years at a glance (bars), the mail by friend and by month
//   style.css           the one style sheet
//   friend/NNNN.html    a friend's mail, oldest first (a friend: the other side's address, else name)
//   month/yyyy-mm.html  a month's mail
//   mail/ID.html        one page per mail: header lines, text, pictures shown, attachments linked,
//                       the previous and next mail of the same friend; ID as the eml export names it
//   mail/ID/NAME        the mail's attachments as files
// Nothing from a mail becomes markup: its text and names are escaped, and its attachments are files
// beside it, named inside their folder (no path, no link, no name a FAT stick refuses), a page a
// browser would run (HTML, XHTML, SVG, XML) named ".txt" so it shows as text. Exporting again into
// the same folder replaces the pages and files of the same mails. Files and folders are private
// (0600, 0700) and never written through a link.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <SQLiteCpp/Database.h>

#include "common/WaitReporter.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"

namespace kamo {

// Writes the archive of the selected mails into `folder` (made when missing), files with `mode`, with
// progress and 中止 between mails. ExportMails(..., MailFormat::Html, ...) calls it once it has
// refused the archive as a target and brought a search up to date. Memory grows with the number of
// mails by a line of the lists each (not their text). Throws std::runtime_error with a message for
// the user when a file cannot be written.
ExportResult WriteHtmlArchive(SQLite::Database& db, const MailSelection& selection, const std::filesystem::path& folder,
                              unsigned mode, WaitReporter& wait);

// The name an attachment is saved under in its mail's folder: one file name (the last part of a
// path, "\\" taken as a separator too), no control characters or characters a FAT file system
// refuses, no leading dot, at most ~120 bytes on character boundaries, "添付ファイル<n>" when nothing
// is left, and ".txt" added when a browser would open it as a page.
std::string AttachmentFileName(std::string_view name, std::string_view contentType, size_t number);

// Text for HTML: & < > " ' as character references.
std::string HtmlEscaped(std::string_view text);

} // namespace kamo
