#pragma once
// ファイル → 印刷… (memPrint) and PDF に書き出し… (memPdfExport): which mails (the choices the export
// window offers, the narrowest first), then the printer dialog or the PDF file, then the mails drawn
// under the wait window (with 中止) and a message with the number printed.
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "export/MailSelection.h"

class QPrinter;
class QWidget;

namespace kamo {

class ArchiveSession;
class Prompter;
class WaitReporter;

// The dialogs; tests replace them.
struct PrintDialogHooks {
    // One of `offer`, or nothing when cancelled.
    std::function<std::optional<MailSelection>(QWidget*, const std::vector<MailSelection>&)> choose;
    std::function<QString(QWidget*)> chooseFile;      // the PDF file; empty when cancelled
    std::function<bool(QWidget*, QPrinter&)> printer; // the printer dialog; false when cancelled
};
PrintDialogHooks& PrintDialogSeams();

// False when cancelled or failed (the user was told).
bool MemPrint(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
              const std::vector<MailSelection>& offer);
bool MemPdfExport(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
                  const std::vector<MailSelection>& offer);

} // namespace kamo
