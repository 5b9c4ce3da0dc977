#include "startup/ArchiveTerminalCommands.h"

#include <exception>
#include <functional>
#include <iostream>

#include "common/ArchiveView.h"
#include "common/CommandTable.h"
#include "common/Messages.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Trash.h"
#include "friends/FriendCommands.h"
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
        err << "kamomail " << name << ": エラーが発生しました。" << ErrorText(e) << '\n';
        return 1;
    }
}

// "--format csv DIR" (or "--format=csv DIR"): the folder, or empty when the arguments are wrong.
std::string CsvFolder(const std::vector<std::string>& args) {
    std::string format, folder;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size())
            format = args[++i];
        else if (args[i].rfind("--format=", 0) == 0)
            format = args[i].substr(9);
        else if (folder.empty() && !args[i].empty() && args[i][0] != '-')
            folder = args[i];
        else
            return {};
    }
    return format == "csv" ? folder : std::string();
}

} // namespace

int RunFriendsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2 || (args[0] != "--read" && args[0] != "--export") || args[1].empty()) {
        err << UsageText("friends") << '\n';
        return 2;
    }
    return WithSession("friends", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        if (args[0] == "--export")
            return ExportFriendCards(LoadFriends(session.Database()), args[1], session.Database().getFilename(),
                                     prompter);
        NullWaitReporter quiet;
        return ReadFriendsCommand(session, prompter, quiet, args[1]);
    });
}

int RunTableExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string folder = CsvFolder(args);
    if (folder.empty()) {
        err << "使い方: kamomail export --format csv DIR\n";
        return 2;
    }
    return WithSession("export", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        NullWaitReporter quiet;
        return ExportCsvCommand(session, prompter, quiet, folder);
    });
}

int RunTableImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string folder = CsvFolder(args);
    if (folder.empty()) {
        err << UsageText("import") << '\n';
        return 2;
    }
    return WithSession("import", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        NullWaitReporter quiet;
        NoArchiveView view;
        return ImportCsvCommand(session, prompter, quiet, view, folder);
    });
}

int RunBackupCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
        err << UsageText("backup") << '\n';
        return 2;
    }
    return WithSession("backup", out, err, [&](ArchiveSession& session, TerminalPrompter& prompter) {
        NullWaitReporter quiet;
        const auto path = kamo::BackupCommand(session, prompter, quiet);
        if (path)
            out << path->string() << '\n';
        return path.has_value();
    });
}

int RunBackupsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
        err << UsageText("backups") << '\n';
        return 2;
    }
    return WithSession("backups", out, err, [&](ArchiveSession& session, TerminalPrompter&) {
        for (const auto& b : ListBackups(session.Folders().dataDir))
            out << b.day << '\t' << b.size << '\t' << (b.mails < 0 ? std::string("?") : std::to_string(b.mails)) << '\t'
                << b.path.string() << '\n';
        return true;
    });
}

int RunTrashCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() > 1 || (args.size() == 1 && args[0] != "--restore" && args[0] != "--empty")) {
        err << UsageText("trash") << '\n';
        return 2;
    }
    const std::string what = args.empty() ? "" : args[0];
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
            out << "ゴミ箱を空にしました（" << outcome.removed << " 通）。\n";
            return true;
        }
        NullWaitReporter quiet;
        const TrashOutcome outcome = RestoreLastBatch(db, session.Filters(), quiet);
        out << "元に戻しました（" << outcome.restored.size() << " 通）。\n";
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
