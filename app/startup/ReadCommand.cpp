#include "startup/ReadCommand.h"

#include <chrono>
#include <exception>
#include <iostream>

#include "common/Messages.h"
#include "common/MessagesRead.h"
#include "common/WaitReporter.h"
#include "import/MailRead.h"
#include "import/MailReadCommand.h"
#include "startup/ReadWatch.h"
#include "startup/TerminalCommands.h"
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
    const auto parsed = ParseArguments("read", args, err);
    if (!parsed)
        return 2;
    const std::string postPetDir = parsed->Value("--postpet-dir").value_or("");
    const bool all = parsed->Has("--all");
    const bool watch = parsed->Has("--watch");
    std::chrono::milliseconds settle = WatchOptions{}.settle;
    if (const auto value = parsed->Value("--settle-ms"); value && !ParseSettle(*value, settle))
        return RefuseArguments("read", {OptionRefusal::Kind::BadValue, "--settle-ms", ""}, err);
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
            err << "kamomail read: " << Say(ReadText::ReadBrokenOffLine, {MessageOf(*summary.error)}) << '\n';
            return 1;
        }
        if (!summary.completed)
            return 1;
        out << SummaryHeadline(summary) << "(" << request.postPetDir.string() << ")\n" << FormatSummary(summary);
        out.flush();
        return ReadExitStatus(summary);
    } catch (const std::exception& e) {
        err << "kamomail read: " << Say(ReadText::ReadBrokenOffLine, {ErrorText(e)}) << '\n';
        return 1;
    }
}

int ReadCommand(const std::vector<std::string>& args) {
    return RunReadCommand(args, std::cout, std::cerr, TerminalProgress::ErrorIsTerminal());
}

} // namespace kamo
