#include "startup/ReadCommand.h"

#include <exception>
#include <iostream>

#include "common/WaitReporter.h"
#include "import/MailRead.h"
#include "startup/TerminalOutput.h"
#include "startup/TerminalPrompter.h"
#include "startup/TerminalSession.h"

namespace kamo {
namespace {

constexpr const char* kUsage = "使い方: kamomail read [--postpet-dir DIR] [--all]";

} // namespace

int RunReadCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown) {
    std::string postPetDir;
    bool all = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--all") {
            all = true;
        } else if (args[i] == "--postpet-dir" && i + 1 < args.size() && !args[i + 1].empty()) {
            postPetDir = args[++i];
        } else if (args[i].rfind("--postpet-dir=", 0) == 0 && args[i].size() > 14) {
            postPetDir = args[i].substr(14);
        } else {
            err << "kamomail read: 不明な引数です: " << args[i] << '\n' << kUsage << '\n';
            return 2;
        }
    }

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
            summary = ReadPostPetMail(*session, request, prompter, progress);
        }
        if (!summary.completed)
            return 1;
        out << SummaryHeadline(summary) << "(" << request.postPetDir.string() << ")\n" << FormatSummary(summary);
        out.flush();
        return ReadExitStatus(summary);
    } catch (const std::exception& e) {
        err << "kamomail read: メールの読み込み中にエラーが発生しました。" << e.what() << '\n';
        return 1;
    }
}

int ReadCommand(const std::vector<std::string>& args) {
    return RunReadCommand(args, std::cout, std::cerr, TerminalProgress::ErrorIsTerminal());
}

} // namespace kamo
