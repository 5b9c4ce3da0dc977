#pragma once
// kamomail export --format FORMAT TARGET ...: writes the archive for another program. Each format is
// a mode of `export` in the command table, which says what it takes; the arguments are parsed by that
// row and the format picks its writer: MailExport for a mail format (MailFormats()), the others
// from a table (ExportCommand.cpp, kExportFormats). For mail programs:
//
//   kamomail export --format mbox FILE [selection] [--seen all|sent] [--original] [--folders]
//   kamomail export --format maildir DIR [selection] [--seen all|sent] [--original] [--folders]
//   kamomail export --format eml DIR   [selection] [--original] [--folders]
//   kamomail export --format html DIR  [selection]
//   kamomail export --format pdf FILE  [selection]
//   kamomail export --format imap URL  [selection] [--seen all|sent] [--original] [--folders]
//                                      [--cacert FILE] [--password-file FILE]   (ImapUpload.h)
//   selection: --address A | --name N | --date yyyy/mm/dd | --filter NUMBER-OR-NAME | --search WORDS
//              (default: every mail)
//
// A progress line goes to standard error while the mails are written, when that is a terminal.
// Exit status: 0 written (an upload: every mail there), 1 could not write (an upload: a mail refused,
// the connection lost for good, a wrong password, a stop) (another copy runs, the target cannot be written, no
// such filter), 2 wrong arguments or an unknown format (the known ones are listed).
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "export/MailExport.h"

namespace kamo {

// The PDF is drawn by Qt, which the terminal's commands do not link: the program sets the writer
// (export/QtMailPrint.h) at its start; without one, "pdf" says it cannot.
using PdfWriterFn = ExportResult (*)(SQLite::Database& db, const MailSelection& selection,
                                     const std::filesystem::path& target, WaitReporter& wait);
void SetPdfWriter(PdfWriterFn writer);

// What `kamomail export` prints after the mails are written: how many, in which format (its name on
// the command line), of which selection and where; then a line for each kind of mail written short of
// what was asked (pictures not drawn, originals unreadable, and under `original` mails without one).
std::string ExportSummaryText(const ExportResult& result, std::string_view format, const MailSelection& selection,
                              bool original);

int RunExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown);
int ExportCommand(const std::vector<std::string>& args);

} // namespace kamo
