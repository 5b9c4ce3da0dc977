#pragma once
// Mail on paper and as PDF: each mail with its header lines, its text and its pictures (scaled to the
// page), the archive's title at the head and the page number at the foot of every page, Japanese
// text in IPA Gothic (the PDF embeds the glyphs it uses). Qt lays it out (QTextDocument) and draws it
// on a QPdfWriter or a QPrinter; no PDF is made by hand.
#include <filesystem>
#include <string>

#include <SQLiteCpp/Database.h>

#include "export/MailExport.h"
#include "export/MailSelection.h"

class QPagedPaintDevice;

namespace kamo {

class WaitReporter;

// Draws the selected mails on `device`, which starts on its first page, with progress and 中止 (the
// pages drawn so far stay). `title` heads every page.
ExportResult PrintMails(SQLite::Database& db, const MailSelection& selection, QPagedPaintDevice& device,
                        const std::string& title, WaitReporter& wait);

// Writes the selected mails to the PDF file `target` the one way (a private temporary renamed into
// place; never through a link, over a folder, the archive or its copies). Needs a Qt GUI application
// (the terminal makes an offscreen one). Throws std::runtime_error with a message for the user; the
// target then stays as it was, as it does when the user stops.
ExportResult WriteMailPdf(SQLite::Database& db, const MailSelection& selection, const std::filesystem::path& target,
                          WaitReporter& wait);

// WriteMailPdf for the terminal: an offscreen Qt application (fonts, no display) is made for it when
// the program has none.
ExportResult WriteMailPdfOnTerminal(SQLite::Database& db, const MailSelection& selection,
                                    const std::filesystem::path& target, WaitReporter& wait);

} // namespace kamo
