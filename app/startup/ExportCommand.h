#pragma once
// kamomail export --format FORMAT TARGET ...: writes the archive for another program. The format
// picks the handler from a table (ExportCommand.cpp, kExportFormats); each handler reads the rest of
// the arguments itself. For mail programs:
//
//   kamomail export --format mbox FILE      [selection]
//   kamomail export --format maildir FOLDER [selection]
//   kamomail export --format eml FOLDER     [selection]
//   kamomail export --format html FOLDER    [selection]
//   kamomail export --format pdf FILE       [selection]
//   selection: --address A | --name N | --date yyyy/mm/dd | --filter NUMBER-OR-NAME | --search WORDS
//              (default: every mail)
//
// A progress line goes to standard error while the mails are written, when that is a terminal.
// Exit status: 0 written, 1 could not write (another copy runs, the target cannot be written, no
// such filter), 2 wrong arguments or an unknown format (the known ones are listed).
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "export/MailExport.h"

namespace kamo {

// The PDF is drawn by Qt, which the terminal's commands do not link: the program sets the writer
// (export/QtMailPrint.h) at its start; without one, "pdf" says it cannot.
using PdfWriterFn = ExportResult (*)(SQLite::Database& db, const MailSelection& selection,
                                     const std::filesystem::path& target, WaitReporter& wait);
void SetPdfWriter(PdfWriterFn writer);

int RunExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown);
int ExportCommand(const std::vector<std::string>& args);

} // namespace kamo
