// The start over 1,000,000 mails, end to end, beside a `cp` of the archive file: the terminal
// commands `search` and `list` as a user runs them (against the same commands on an empty archive),
// the window's start to the first screen of the key list, and the full check and the compaction each
// alone. Budgets are printed, not enforced.
//
// The archive is bench_search's (BenchSearchArchive.h), copied into scratch folders: the cached file
// is never opened for writing.
#include <QApplication>
#include <QListView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "browse/frmKamoMail.h"
#include "db/ArchiveSession.h"
#include "db/ArchiveStartup.h"
#include "db/Compaction.h"
#include "platform/SettingsStore.h"
#include "startup/TerminalPrompter.h"
#include "testsupport/TestSupport.h"

#include "BenchArchive.h"
#include "BenchSearchArchive.h"

extern char** environ;

using namespace kamo;
using namespace kamo::bench;
namespace fs = std::filesystem;

namespace {

constexpr double kCommandBudgetMs = 50.0; // over the same command on an empty archive
constexpr double kWindowBudgetMs = 1500.0;
constexpr double kStartWorkBudget = 2.0; // times the cp of the file
constexpr int kCommandRuns = 3;
constexpr double kKeyListWaitMs = 60000.0;

using EnvList = std::vector<std::pair<std::string, std::string>>;

struct RunResult {
    bool ok = false;
    double ms = 0;
    size_t lines = 0;
    std::string why; // when not ok
};

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// This process's environment with `overrides` put in.
std::vector<std::string> Environment(const EnvList& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (std::none_of(overrides.begin(), overrides.end(), [&](const auto& o) { return o.first == name; }))
            env.push_back(entry);
    }
    for (const auto& [name, value] : overrides)
        env.push_back(name + "=" + value);
    return env;
}

// Runs `args` (the program looked up in PATH), wall-clock from the spawn to its end. Standard output
// is counted in lines and dropped; standard error goes to `errFile`, for a failure's reason.
RunResult Run(const std::vector<std::string>& args, const EnvList& overrides, const fs::path& errFile) {
    RunResult r;
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = Environment(overrides);
    std::vector<char*> envp;
    for (auto& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        r.why = std::strerror(errno);
        return r;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawnError = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawnError != 0) {
        ::close(out[0]);
        r.why = std::string("cannot start ") + args[0] + ": " + std::strerror(spawnError);
        return r;
    }
    char buf[65536];
    ssize_t n = 0;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            r.lines += static_cast<size_t>(std::count(buf, buf + n, '\n'));
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.ms = Ms(start);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        r.ok = true;
    } else {
        r.why = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                  : "ended by signal " + std::to_string(WTERMSIG(status));
        const std::string said = FirstLine(errFile);
        if (!said.empty())
            r.why += ": " + said;
    }
    return r;
}

// Reads the file once, so that the copies start from a warm page cache.
void ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buf(1 << 20);
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
    }
}

// A timed `cp`; the copy is then written out untimed, so that its write-back does not land in the
// next figure.
RunResult Copy(const fs::path& from, const fs::path& to, const fs::path& errFile) {
    RunResult r = Run({"cp", from.string(), to.string()}, {}, errFile);
    ::sync();
    return r;
}

// A terminal command run kCommandRuns times; the best run, or nothing when any run failed.
struct CommandFigure {
    bool ok = false;
    double best = 0;
};

CommandFigure TimeCommand(const fs::path& program, const std::vector<std::string>& args, const EnvList& env,
                          const std::string& label, bool wantLines, const fs::path& errFile) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<double> runs;
    size_t lines = 0;
    for (int i = 0; i < kCommandRuns; ++i) {
        const RunResult r = Run(argv, env, errFile);
        if (!r.ok) {
            std::printf("%-44s FAILED: %s\n", label.c_str(), r.why.c_str());
            return {};
        }
        if (wantLines && r.lines == 0) {
            std::printf("%-44s FAILED: printed no line\n", label.c_str());
            return {};
        }
        runs.push_back(r.ms);
        lines = r.lines;
    }
    std::printf("%-44s runs", label.c_str());
    for (double ms : runs)
        std::printf(" %9.1f", ms);
    const double best = *std::min_element(runs.begin(), runs.end());
    std::printf("  best %9.1f ms  (%zu lines)\n", best, lines);
    return {true, best};
}

const char* Verdict(bool within) {
    return within ? "within" : "OVER";
}

void PrintAgainstCp(const char* label, double ms, double cpMs) {
    const double ratio = ms / cpMs;
    std::printf("%-44s %9.1f ms  %5.2fx cp  (budget %.0fx: %s)\n", label, ms, ratio, kStartWorkBudget,
                Verdict(ratio <= kStartWorkBudget));
}

// The window program's start, from the instance lock to the key list's first screen on display.
void TimeWindowStart(const AppFolders& folders, double cpMs) {
    const char* label = "window start to the key list's first screen";
    TerminalPrompter prompter(std::cerr, std::cerr); // outlives the session and the window
    const auto start = Clock::now();
    auto lock = TakeInstanceLock(folders, prompter);
    if (!lock) {
        std::printf("%-44s FAILED: the instance lock was not taken\n", label);
        return;
    }
    // As the window program starts: the .Bak and the compaction wait until the window shows.
    StartupOptions options;
    options.compact = false;
    StartupReport report;
    auto session = OpenSession(folders, std::move(lock), prompter, options, &report);
    if (!session) {
        std::printf("%-44s FAILED: the archive was not opened\n", label);
        return;
    }
    auto window = std::make_unique<frmKamoMail>(*session, prompter);
    if (!window->Load()) {
        std::printf("%-44s FAILED: the window did not load\n", label);
        return;
    }
    window->show();
    auto* keys = window->findChild<QListView*>("lstNameOrAddr");
    const auto shown = Clock::now();
    while (keys->model()->rowCount() == 0 && Ms(shown) < kKeyListWaitMs)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents(); // lay out and paint what the list now shows
    const double ms = Ms(start);
    const int rows = keys->model()->rowCount();
    if (rows == 0)
        std::printf("%-44s FAILED: the key list was still empty %.0f s after show()\n", label, kKeyListWaitMs / 1000);
    else
        std::printf("%-44s %9.1f ms  %5.2fx budget %.0f ms: %s  (%d keys, %s)\n", label, ms, ms / kWindowBudgetMs,
                    kWindowBudgetMs, Verdict(ms <= kWindowBudgetMs), rows,
                    report.fullCheck ? "full check: no seal" : "sealed: header check");
    // What the start leaves to the background: the .Bak, and the compaction when there are free pages.
    const auto upkeepStart = Clock::now();
    session->StartUpkeep();
    session->Upkeep()->Wait();
    const double upkeepMs = Ms(upkeepStart);
    static const char* const kOutcomes[] = {
        "running", "kept (nothing to compact)", "copy ready", "placed", "changed", "broken", "failed"};
    std::printf("%-44s %9.1f ms  %5.2fx cp  (%s; the window is usable meanwhile)\n",
                "  background upkeep after the first screen", upkeepMs, upkeepMs / cpMs,
                kOutcomes[static_cast<int>(session->Upkeep()->Result())]);
    window->close();
}

} // namespace

int main(int argc, char** argv) {
    double buildSeconds = 0;
    bool cached = false;
    const fs::path archive = StartSearchBench(buildSeconds, cached);
    QApplication app(argc, argv);
    const int mails = kMails + kRareMails;
    std::printf("archive %s: %d mails, %.1f MB\n", archive.c_str(), mails,
                static_cast<double>(fs::file_size(archive)) / 1e6);

    // Scratch folders: settings with a PostPet folder that exists (the start neither searches nor
    // asks) and the current "Ver" (a routine start, no upgrade); the archive's data folder; a data
    // folder the program finds empty; a copy for the compaction alone.
    test::TempDir temp;
    const fs::path config = temp / "config";
    const fs::path postPet = temp / "postpet";
    const fs::path data = temp / "data";
    const fs::path empty = temp / "empty";
    const fs::path compact = temp / "compact";
    const fs::path errFile = temp / "stderr.txt";
    for (const auto& dir : {config, postPet, data, compact})
        fs::create_directories(dir);
    test::WriteFile(config / "KAMOMAIL.ini",
                    "[PostPet Mail Option]\nPostPet Dir=" + postPet.string() + "\nDisplay Type=0\n");
    WriteVersionKey(config / "KAMOMAIL.ini");

    // 1. The physical reference.
    ReadWhole(archive);
    const RunResult cp = Copy(archive, data / "KamoMail.Mdb", errFile);
    if (!cp.ok) {
        std::printf("cp of the archive FAILED: %s\n", cp.why.c_str());
        return 1;
    }
    std::printf("%-44s %9.1f ms  (the reference)\n", "cp of the archive (page cache warm)", cp.ms);

    // 2. Terminal commands, as a user runs them.
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "kamomail";
    if (::access(program.c_str(), X_OK) != 0) {
        std::printf("terminal commands: program %s not found (build the kamomail target); skipped\n", program.c_str());
    } else {
        const EnvList full{{"KAMOMAIL_CONFIG_DIR", config.string()}, {"KAMOMAIL_DATA_DIR", data.string()}};
        const EnvList none{{"KAMOMAIL_CONFIG_DIR", config.string()}, {"KAMOMAIL_DATA_DIR", empty.string()}};
        const std::string count = std::to_string(mails) + " mails";
        struct Command {
            std::vector<std::string> args;
            bool printsOnFull;
        };
        const Command commands[] = {{{"search", kRareWord}, true}, {{"list"}, true}};
        for (const auto& c : commands) {
            std::string name = "kamomail";
            for (const auto& a : c.args)
                name += " " + a;
            const auto onFull = TimeCommand(program, c.args, full, name + ", " + count, c.printsOnFull, errFile);
            const auto onEmpty = TimeCommand(program, c.args, none, name + ", empty archive", false, errFile);
            if (onFull.ok && onEmpty.ok) {
                const double over = onFull.best - onEmpty.best;
                std::printf("%-44s %+9.1f ms  %5.2fx budget ~%.0f ms: %s\n", ("  " + name + ": over the empty").c_str(),
                            over, over / kCommandBudgetMs, kCommandBudgetMs, Verdict(over <= kCommandBudgetMs));
            }
        }
    }

    // 3. The window program's start, in this process, over the same data folder.
    AppFolders folders;
    folders.settingsDir = config;
    folders.dataDir = data;
    TimeWindowStart(folders, cp.ms);

    // 4. What the start does in proportion to the archive, each alone.
    {
        SQLite::Database db((data / "KamoMail.Mdb").string(), SQLite::OPEN_READONLY);
        const auto start = Clock::now();
        SQLite::Statement check(db, "PRAGMA integrity_check");
        const std::string result = check.executeStep() ? check.getColumn(0).getString() : "no answer";
        const double ms = Ms(start);
        if (result == "ok")
            PrintAgainstCp("full check (PRAGMA integrity_check)", ms, cp.ms);
        else
            std::printf("%-44s FAILED: %s\n", "full check (PRAGMA integrity_check)", result.c_str());
    }
    {
        const RunResult again = Copy(archive, compact / "KamoMail.Mdb", errFile);
        if (!again.ok) {
            std::printf("cp for the compaction FAILED: %s\n", again.why.c_str());
        } else {
            std::printf("%-44s %9.1f ms  (%.2fx the reference)\n", "  cp again, for the compaction", again.ms,
                        again.ms / cp.ms);
            const auto start = Clock::now();
            const bool compacted = CompactDatabase(compact / "KamoMail.Mdb");
            const double ms = Ms(start);
            if (compacted)
                PrintAgainstCp("compaction (CompactDatabase)", ms, cp.ms);
            else
                std::printf("%-44s FAILED: not compacted\n", "compaction (CompactDatabase)");
        }
    }
    return 0;
}
