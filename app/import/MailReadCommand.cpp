#include "import/MailReadCommand.h"

#include <exception>
#include <string>

#include "common/ArchiveView.h"
#include "common/Messages.h"
#include "common/MessagesRead.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "import/MailRead.h"

namespace kamo {

void TellReadFailures(const ReadSummary& summary, Prompter& prompter) {
    for (const Failure& failure : summary.failures) {
        // Nothing chosen is a hint, not an error.
        if (failure.Code() == FailureCode::NoMailboxChosen)
            prompter.Message(MessageOf(failure));
        else
            prompter.Error(MessageOf(failure));
    }
}

bool ComMailRead(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view) {
    ReadSummary summary;
    try {
        WaitScope busy(wait);
        const ReadRequest request = MakeReadRequest(session.AppSettings(), session.Folders(), false);
        summary = ReadPostPetMail(session, request, wait);
    } catch (const std::exception& e) {
        summary.error.emplace(FailureCode::ReadBrokenOff, std::vector<std::string>{ErrorText(e)});
    }
    TellReadFailures(summary, prompter);
    if (summary.error) {
        // Mailboxes read before the failure stay stored; the one being read was rolled back.
        view.ShowNewMail();
        prompter.Error(Say(ReadText::ReadBrokenOff, {MessageOf(*summary.error)}), "PostPet Mail Read");
        return false;
    }
    if (!summary.completed)
        return false;
    view.ShowNewMail();
    prompter.ShowTable(SummaryTable(summary), "PostPet Mail Read");
    return summary.refreshed;
}

} // namespace kamo
