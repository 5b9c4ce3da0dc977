#include "startup/ReadCommand.h"

#include <chrono>
#include <exception>
#include <iostream>

#include "common/CommandTable.h"
#include "common/Messages.h"
#include "common/WaitReporter.h"
#include "import/MailRead.h"
#include "import/MailReadCommand.h"
#include "startup/ReadWatch.h"
#include "startup/TerminalOutput.h"
#include "startup/TerminalPrompter.h"
#include "startup/TerminalSession.h"

namespace kamo {
namespace {

// A settle time in milliseconds: digits only, 0 to one minute.
bool ParseSettle(const std::string& text, std::chrono::milliseconds& settle) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long value = std::stol(text);
    if (value > 60000)
        return false;
    settle = std::chrono::milliseconds(value);
    return true;
}

} // namespace

int RunReadCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown) {
    std::string postPetDir;
    bool all = false;
    bool watch = false;
    bool settleGiven = false;
    std::chrono::milliseconds settle = WatchOptions{}.settle;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--all") {
            all = true;
        } else if (args[i] == "--watch") {
            watch = true;
        } else if (args[i] == "--settle-ms" && i + 1 < args.size() && ParseSettle(args[i + 1], settle)) {
            settleGiven = true;
            ++i;
        } else if (args[i] == "--postpet-dir" && i + 1 < args.size() && !args[i + 1].empty()) {
            postPetDir = args[++i];
        } else if (args[i].rfind("--postpet-dir=", 0) == 0 && args[i].size() > 14) {
            postPetDir = args[i].substr(14);
        } else {
            err << "kamomail read: 不明な引数です: " << args[i] << '\n' << UsageText("read") << '\n';
            return 2;
        }
    }
    if (settleGiven && !watch) {
        err << "kamomail read: --settle-ms は --watch と一緒に使います。\n" << UsageText("read") << '\n';
        return 2;
    }
    if (watch)
        return RunReadWatch({postPetDir, all, settle}, out, err);

    // Messages go to standard error; a question is answered No (nothing is deleted unasked).
    TerminalPrompter prompter(err, err);
    try {
        const auto session = StartTerminalSession(prompter, err, "read");
        if (!session)
            return 1;

        const ReadRequest request = MakeReadRequest(session->AppSettings(), session->Folders(), all, postPetDir);
        ReadSummary summary;
        {
            TerminalProgress progress(err, progressShown);
            summary = ReadPostPetMail(*session, request, progress);
        }
        TellReadFailures(summary, prompter);
        if (summary.error) {
            err << "kamomail read: メールの読み込み中にエラーが発生しました。" << MessageOf(*summary.error) << '\n';
            return 1;
        }
        if (!summary.completed)
            return 1;
        out << SummaryHeadline(summary) << "(" << request.postPetDir.string() << ")\n" << FormatSummary(summary);
        out.flush();
        return ReadExitStatus(summary);
    } catch (const std::exception& e) {
        err << "kamomail read: メールの読み込み中にエラーが発生しました。" << ErrorText(e) << '\n';
        return 1;
    }
}

int ReadCommand(const std::vector<std::string>& args) {
    return RunReadCommand(args, std::cout, std::cerr, TerminalProgress::ErrorIsTerminal());
}

} // namespace kamo
