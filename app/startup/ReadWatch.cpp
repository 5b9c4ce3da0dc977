#include "startup/ReadWatch.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <exception>
#include <ostream>

#include <poll.h>
#include <unistd.h>

#include "common/Messages.h"
#include "common/MessagesRead.h"
#include "db/ArchiveSession.h"
#include "import/MailRead.h"
#include "import/MailReadCommand.h"
#include "import/MailboxWatch.h"
#include "platform/KamoLibrary.h"
#include "startup/EndSignals.h"
#include "startup/TerminalPrompter.h"
#include "startup/TerminalSession.h"

namespace kamo {
namespace {

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// `item` after the items in `list`.
void Append(std::string& list, const std::string& item) {
    list = list.empty() ? item : Say(ReadText::ListJoin, {list, item});
}

std::string Names(const std::vector<MailboxChoice>& boxes) {
    std::string names;
    for (const auto& choice : boxes)
        Append(names, choice.box->name);
    return names;
}

// A line of the watch's output: the time, then what happened.
std::string Stamped(const std::string& text) {
    return Now() + " " + text + "\n";
}

// One line per read: when, which mailboxes, and the counts that matter.
std::string ReadLine(const ReadSummary& summary) {
    std::string names;
    for (const auto& box : summary.mailboxes)
        Append(names, box.name);
    const MailboxSummary t = summary.Totals();
    std::string line = Now() + " " +
                       Say(ReadText::WatchReadCounts,
                           {names, std::to_string(t.read), std::to_string(t.stored), std::to_string(t.alreadyStored)});
    if (t.trashed > 0)
        line += Say(ReadText::WatchTrashed, {std::to_string(t.trashed)});
    if (t.filtered > 0)
        line += Say(ReadText::WatchFiltered, {std::to_string(t.filtered)});
    if (t.damaged > 0)
        line += Say(ReadText::WatchDamaged, {std::to_string(t.damaged)});
    for (const auto& box : summary.mailboxes)
        if (box.problem)
            line += Say(ReadText::WatchBoxProblem, {box.name, NoteOf(*box.problem)});
    if (!summary.refreshed)
        line += Say(ReadText::WatchRefreshFailed);
    return line;
}

} // namespace

int RunReadWatch(const WatchOptions& options, std::ostream& out, std::ostream& err) {
    EndSignals signals;
    if (signals.Fd() < 0) {
        err << "kamomail read --watch: " << Say(ReadText::WatchNoSignals) << '\n';
        return 1;
    }
    TerminalPrompter prompter(err, err);
    try {
        const auto session = StartTerminalSession(prompter, err, "read");
        if (!session)
            return 1;
        KamoLibrary& library = ProgramLibrary(session->Folders().libraryPath);
        if (!library.Load()) {
            err << "kamomail read --watch: " << MessageOf(*library.Problem()) << '\n';
            return 1;
        }
        const ReadRequest request =
            MakeReadRequest(session->AppSettings(), session->Folders(), options.all, options.postPetDir);
        if (request.mailboxes.empty()) {
            err << "kamomail read --watch: " << Say(ReadText::WatchNothingChosen) << '\n';
            return 1;
        }
        MailboxWatch watch(request.postPetDir, request.mailboxes, options.settle);
        out << Stamped(
            Say(ReadText::WatchStarted, {request.postPetDir.string(), std::to_string(request.mailboxes.size())}));
        if (watch.Waiting())
            out << Stamped(Say(ReadText::WatchFolderMissing));
        out.flush();
        bool wasWaiting = watch.Waiting();
        for (;;) {
            pollfd fds[2] = {{signals.Fd(), POLLIN, 0}, {watch.Fd(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, watch.TimeoutMs());
            if (ready < 0 && errno != EINTR) {
                err << "kamomail read --watch: " << Say(ReadText::WatchCannotWait) << '\n';
                return 1;
            }
            if (fds[0].revents & POLLIN) {
                signals.Take();
                break;
            }
            if (fds[1].revents & POLLIN)
                watch.TakeEvents();
            std::vector<MailboxChoice> due = watch.TakeDue();
            if (watch.Waiting() != wasWaiting) {
                wasWaiting = watch.Waiting();
                out << Stamped(Say(wasWaiting ? ReadText::WatchFolderMissing : ReadText::WatchFolderBack));
                out.flush();
            }
            if (due.empty())
                continue;
            ReadRequest part = request;
            part.mailboxes = std::move(due);
            try {
                NullWaitReporter quiet;
                ReadSummary summary = ReadPostPetMail(*session, part, quiet);
                TellReadFailures(summary, prompter);
                if (summary.error)
                    throw *summary.error;
                if (summary.completed) {
                    const std::string unfinished = SetAsideUnfinished(watch, part.mailboxes, summary);
                    out << ReadLine(summary) << (unfinished.empty() ? "" : Say(ReadText::InParentheses, {unfinished}))
                        << '\n';
                } else {
                    // Told on the error stream; the folder may be back by the next attempt.
                    out << Stamped(Say(ReadText::WatchNotRead,
                                       {Names(part.mailboxes), RetryNote(watch.ReadFailed(part.mailboxes))}));
                }
            } catch (const std::exception& e) {
                // The mailbox being read was rolled back (those before it are stored): all of them
                // are read again, whether or not PostPet writes again.
                out << Stamped(
                    Say(ReadText::WatchReadError, {ErrorText(e), RetryNote(watch.ReadFailed(part.mailboxes))}));
            }
            out.flush();
        }
        out << Stamped(Say(ReadText::WatchEnded));
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "kamomail read --watch: " << ErrorText(e) << '\n';
        return 1;
    }
}

} // namespace kamo
