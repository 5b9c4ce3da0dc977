#pragma once
// メールを書き出す… (memMailExport): the export window, then the export under the wait window (with
// 中止), then a message with the number written (with separators). A failure brings the window back
// with its choices. The format and the folder of the last
// export are kept in the settings and offered the next time.
#include <QString>
#include <functional>
#include <vector>

#include "export/frmExport.h"

class QWidget;

namespace kamo {

class ArchiveSession;
class Prompter;
class WaitReporter;

// How the window is run and the target chosen; tests replace them.
struct ExportDialogHooks {
    std::function<int(frmExport&)> run;   // default: exec()
    frmExport::ChooseTarget chooseTarget; // default: the file or folder dialog
};
ExportDialogHooks& ExportDialogSeams();

// `offer` lists the selections on offer (all mails first); the last one is ticked, being the
// narrowest the user is looking at. An mbox file that exists is replaced only after asking. False
// when cancelled or failed (the user was told).
bool MemMailExport(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
                   const std::vector<MailSelection>& offer);

} // namespace kamo
