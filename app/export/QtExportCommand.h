#pragma once
// メールを書き出す… (memMailExport): the export window, then the export under the wait window (with
// 中止), then a message with the number written (with separators). A failure brings the window back
// with its choices. The format and the folder of the last
// export are kept in the settings and offered the next time.
//
// For the upload to a mail server (IMAP) the same: the upload (ImapUpload.h) under the wait window
// ("N / M", 中止), then what it did in the words the terminal uses (UploadSummaryOf). An address the
// window's fields do not make, a login or connection that fails before anything is sent (a wrong
// password, an unknown host, a refused certificate) and any other failure bring the window back with
// what was typed, the password too. The server, port, user, folder and kind of connection are kept in
// the settings; the password never.
#include <QString>
#include <functional>
#include <vector>

#include "export/frmExport.h"
#include "imap/ImapSession.h"

class QWidget;

namespace kamo {

class ArchiveSession;
class Prompter;
class WaitReporter;

// How the window is run and the target chosen; tests replace them.
struct ExportDialogHooks {
    std::function<int(frmExport&)> run;   // default: exec()
    frmExport::ChooseTarget chooseTarget; // default: the file or folder dialog
    ImapSessionOptions imapSession;       // how an upload connects; default: the system's authorities
};
ExportDialogHooks& ExportDialogSeams();

// `offer` lists the selections on offer (all mails first); the last one is ticked, being the
// narrowest the user is looking at. An mbox file that exists is replaced only after asking. False
// when cancelled or failed (the user was told); an upload is done when every mail is on the server.
bool MemMailExport(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
                   const std::vector<MailSelection>& offer);

} // namespace kamo
