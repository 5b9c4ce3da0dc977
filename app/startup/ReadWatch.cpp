#include "startup/ReadWatch.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <exception>
#include <ostream>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "common/Messages.h"
#include "db/ArchiveSession.h"
#include "import/MailRead.h"
#include "import/MailReadCommand.h"
#include "import/MailboxWatch.h"
#include "platform/KamoLibrary.h"
#include "startup/TerminalPrompter.h"
#include "startup/TerminalSession.h"

namespace kamo {
namespace {

// The ending signals, held from the start: they wait in a signalfd until the loop is between reads.
class EndSignals {
public:
    EndSignals() {
        sigemptyset(&set_);
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set_, sig);
        blocked_ = ::pthread_sigmask(SIG_BLOCK, &set_, &previous_) == 0;
        if (blocked_)
            fd_ = ::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    ~EndSignals() {
        if (fd_ >= 0)
            ::close(fd_);
        if (blocked_)
            ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;
    int Fd() const { return fd_; }
    // The signal that came, or 0.
    int Take() {
        signalfd_siginfo info{};
        if (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            return static_cast<int>(info.ssi_signo);
        return 0;
    }

private:
    sigset_t set_{};
    sigset_t previous_{};
    bool blocked_ = false;
    int fd_ = -1;
};

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string Names(const std::vector<MailboxChoice>& boxes) {
    std::string names;
    for (const auto& choice : boxes)
        names += (names.empty() ? "" : "、") + std::string(choice.box->name);
    return names;
}

// One line per read: when, which mailboxes, and the counts that matter.
std::string ReadLine(const ReadSummary& summary) {
    std::string names;
    for (const auto& box : summary.mailboxes)
        names += (names.empty() ? "" : "、") + box.name;
    const MailboxSummary t = summary.Totals();
    std::string line = Now() + " " + names + ": 読み込み " + std::to_string(t.read) + " 通、保存 " +
                       std::to_string(t.stored) + " 通、保存済み " + std::to_string(t.alreadyStored) + " 通";
    if (t.trashed > 0)
        line += "、削除済み " + std::to_string(t.trashed) + " 通";
    if (t.filtered > 0)
        line += "、除外 " + std::to_string(t.filtered) + " 通";
    if (t.damaged > 0)
        line += "、壊れたメール " + std::to_string(t.damaged) + " 通";
    for (const auto& box : summary.mailboxes)
        if (box.problem)
            line += "（" + box.name + ": " + NoteOf(*box.problem) + "）";
    if (!summary.refreshed)
        line += "（フィルターの実行に失敗しました）";
    return line;
}

} // namespace

int RunReadWatch(const WatchOptions& options, std::ostream& out, std::ostream& err) {
    EndSignals signals;
    if (signals.Fd() < 0) {
        err << "kamomail read --watch: 終了の合図を受け取る準備ができませんでした。\n";
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
            err << "kamomail read --watch: 読み込むメールボックスが選ばれていません。"
                   "オプションの「読み込むメールボックス」で選ぶか、--all を付けて下さい。\n";
            return 1;
        }
        MailboxWatch watch(request.postPetDir, request.mailboxes, options.settle);
        out << Now() << " 見張りを始めました: " << request.postPetDir.string() << "（メールボックス "
            << request.mailboxes.size() << " 個）\n";
        if (watch.Waiting())
            out << Now() << " PostPetのフォルダが見つかりません。現れるのを待ちます。\n";
        out.flush();
        bool wasWaiting = watch.Waiting();
        for (;;) {
            pollfd fds[2] = {{signals.Fd(), POLLIN, 0}, {watch.Fd(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, watch.TimeoutMs());
            if (ready < 0 && errno != EINTR) {
                err << "kamomail read --watch: 変更を待てなくなりました。\n";
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
                out << Now()
                    << (wasWaiting ? " PostPetのフォルダが見つかりません。現れるのを待ちます。\n"
                                   : " PostPetのフォルダが戻りました。\n");
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
                    out << ReadLine(summary) << (unfinished.empty() ? "" : "（" + unfinished + "）") << '\n';
                } else {
                    // Told on the error stream; the folder may be back by the next attempt.
                    out << Now() << " " << Names(part.mailboxes) << ": 読み込めませんでした。"
                        << RetryNote(watch.ReadFailed(part.mailboxes)) << "。\n";
                }
            } catch (const std::exception& e) {
                // The mailbox being read was rolled back (those before it are stored): all of them
                // are read again, whether or not PostPet writes again.
                out << Now() << " 読み込み中にエラーが発生しました: " << ErrorText(e) << "。"
                    << RetryNote(watch.ReadFailed(part.mailboxes)) << "。\n";
            }
            out.flush();
        }
        out << Now() << " 見張りを終えました。\n";
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "kamomail read --watch: " << ErrorText(e) << '\n';
        return 1;
    }
}

} // namespace kamo
