#include "import/MailReadCommand.h"

#include <exception>
#include <string>

#include "common/ArchiveView.h"
#include "common/Messages.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "import/MailRead.h"

namespace kamo {

bool ComMailRead(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view) {
    ReadSummary summary;
    try {
        WaitScope busy(wait);
        const ReadRequest request = MakeReadRequest(session.AppSettings(), session.Folders(), false);
        summary = ReadPostPetMail(session, request, prompter, wait);
    } catch (const std::exception& e) {
        // Mailboxes read before the failure stay stored; the one being read was rolled back.
        view.ShowNewMail();
        prompter.Error(std::string("メールの読み込み中にエラーが発生しました。\n") + ErrorText(e), "PostPet Mail Read");
        return false;
    }
    if (!summary.completed)
        return false;
    view.ShowNewMail();
    prompter.ShowTable(SummaryTable(summary), "PostPet Mail Read");
    return summary.refreshed;
}

} // namespace kamo
