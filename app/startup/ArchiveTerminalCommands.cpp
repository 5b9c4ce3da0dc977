#include "startup/ArchiveTerminalCommands.h"

#include <exception>
#include <functional>
#include <iostream>

#include "common/ArchiveView.h"
#include "common/Messages.h"
#include "common/MessagesArchive.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Trash.h"
#include "friends/FriendCommands.h"
#include "startup/TerminalCommands.h"
#include "startup/TerminalPrompter.h"
#include "startup/TerminalSession.h"
#include "upkeep/ArchiveCommands.h"
#include "upkeep/TrashActions.h"

namespace kamo {
namespace {

// Runs `work` on a terminal session; 1 when the session does not start, the work fails or an
// error was told on the way.
int WithSession(const std::string& name, std::ostream& out, std::ostream& err,
                const std::function<bool(ArchiveSession&, TerminalPrompter&)>& work) {
    TerminalPrompter prompter(out, err);
    try {
        auto session = StartTerminalSession(prompter, err, name);
        if (!session)
            return 1;
        const bool ok = work(*session, prompter);
        return ok && !prompter.failed ? 0 : 1;
    } catch (const std::exception& e) {
        err << Say(ArchiveText::TerminalError, {name, ErrorText(e)}) << '\n';
        return 1;
    }
}

} // namespace

int RunFriendsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto arguments = ParseArguments("friends", args, err);
    if (!arguments)
        return 2;
    const std::string_view option = *arguments->Chosen("one");
    const std::string file = *arguments->Value(option);
    return WithSession("friends", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        if (option == "--export")
            return ExportFriendCards(LoadFriends(session.Database()), file, session.Database().getFilename(), prompter);
        NullWaitReporter quiet;
        return ReadFriendsCommand(session, prompter, quiet, file);
    });
}

int RunTableExportCommand(const std::string& folder, std::ostream& out, std::ostream& err) {
    return WithSession("export", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        NullWaitReporter quiet;
        return ExportCsvCommand(session, prompter, quiet, folder);
    });
}

int RunTableImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto arguments = ParseArguments("import", args, err);
    if (!arguments)
        return 2;
    if (arguments->operands.empty() || arguments->operands.front().empty())
        return RefuseArguments("import", std::string(), err);
    const std::string folder = arguments->operands.front();
    return WithSession("import", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        NullWaitReporter quiet;
        NoArchiveView view;
        return ImportCsvCommand(session, prompter, quiet, view, folder);
    });
}

int RunBackupCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!ParseArguments("backup", args, err))
        return 2;
    return WithSession("backup", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        NullWaitReporter quiet;
        const auto path = kamo::BackupCommand(session, prompter, quiet);
        if (path)
            out << path->string() << '\n';
        return path.has_value();
    });
}

int RunBackupsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!ParseArguments("backups", args, err))
        return 2;
    return WithSession("backups", out, err, [&](ArchiveSession& session, TerminalPrompter&) {
        for (const auto& b : ListBackups(session.Folders().dataDir))
            out << b.day << '\t' << b.size << '\t' << (b.mails < 0 ? std::string("?") : std::to_string(b.mails)) << '\t'
                << b.path.string() << '\n';
        return true;
    });
}

int RunTrashCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto arguments = ParseArguments("trash", args, err);
    if (!arguments)
        return 2;
    const std::string_view what = arguments->Chosen("one").value_or("");
    return WithSession("trash", out, err, [&](ArchiveSession& session, TerminalPrompter&) {
        SQLite::Database& db = session.Database();
        if (what.empty()) {
            for (const auto& m : ListTrash(db))
                out << m.batch << '\t' << m.time << '\t' << m.key.ymd << ' ' << m.key.hms << '\t' << m.key.sndAdd
                    << '\t' << m.key.rcvAdd << '\t' << m.subject << '\n';
            return true;
        }
        if (what == "--empty") {
            const TrashOutcome outcome = EmptyWholeTrash(db);
            out << Say(ArchiveText::TrashEmptied, {std::to_string(outcome.removed)}) << '\n';
            return true;
        }
        NullWaitReporter quiet;
        const TrashOutcome outcome = RestoreLastBatch(db, session.Filters(), quiet);
        out << Say(ArchiveText::TrashRestored, {std::to_string(outcome.restored.size())}) << '\n';
        if (outcome.refreshError)
            std::rethrow_exception(outcome.refreshError);
        return outcome.filtered;
    });
}

int TrashCommand(const std::vector<std::string>& args) {
    return RunTrashCommand(args, std::cout, std::cerr);
}

int FriendsCommand(const std::vector<std::string>& args) {
    return RunFriendsCommand(args, std::cout, std::cerr);
}
int ImportCommand(const std::vector<std::string>& args) {
    return RunTableImportCommand(args, std::cout, std::cerr);
}
int BackupCommand(const std::vector<std::string>& args) {
    return RunBackupCommand(args, std::cout, std::cerr);
}
int BackupsCommand(const std::vector<std::string>& args) {
    return RunBackupsCommand(args, std::cout, std::cerr);
}

} // namespace kamo
