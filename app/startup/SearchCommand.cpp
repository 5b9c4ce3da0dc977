#include "startup/SearchCommand.h"

#include <exception>
#include <iostream>
#include <optional>

#include "common/CommandTable.h"
#include "common/Messages.h"
#include "common/MessagesSearch.h"
#include "db/MailQueries.h"
#include "export/MailSelection.h"
#include "import/Redecode.h"
#include "platform/KamoLibrary.h"
#include "search/Conversations.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "search/SearchTerms.h"
#include "startup/CommandSession.h"
#include "startup/TerminalCommands.h"
#include "startup/TerminalOutput.h"
#include "startup/TerminalPrompter.h"
#include "startup/TerminalSession.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

// --redecode: every mail that has its original is read again from it, then the derived data is made
// again. Needs the conversion library (quote-safe values) and the filters (the refresh).
int RunRedecode(std::ostream& out, std::ostream& err, bool progressShown) {
    TerminalPrompter prompter(err, err);
    const auto session = StartTerminalSession(prompter, err, "index");
    if (!session)
        return 1;
    KamoLibrary& library = ProgramLibrary(session->Folders().libraryPath);
    if (!library.Load()) {
        err << "kamomail index: " << MessageOf(*library.Problem()) << '\n';
        return 1;
    }
    SQLite::Database& db = session->Database();
    RedecodeCounts counts;
    bool refreshed = false;
    {
        TerminalProgress progress(err, progressShown);
        WaitScope scope(progress);
        progress.ShowPhase(WaitPhase::RedecodingMail);
        MarkOriginalsForRedecoding(db);
        counts = RedecodeOriginals(db, library.StrChange(), progress);
        refreshed = RefreshDerivedData(db, session->Filters(), progress);
    }
    out << Say(SearchWordsText::Redecoded,
               {std::to_string(counts.rewritten), std::to_string(counts.rekeyed), std::to_string(counts.unreadable)})
        << '\n';
    if (!refreshed) {
        err << "kamomail index: " << Say(SearchWordsText::RedecodedNotFiltered) << '\n';
        return 1;
    }
    return 0;
}

} // namespace

int RunSearchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown) {
    const auto arguments = ParseArguments("search", args, err);
    if (!arguments)
        return 2;
    if (arguments->help) {
        out << CommandHelpText("search") << '\n' << SearchSyntaxHelp() << '\n';
        return 0;
    }
    MailOutput output;
    std::string query;
    for (const auto& word : arguments->operands)
        query += (query.empty() ? "" : " ") + word;
    if (std::string error; !output.Take(*arguments, error))
        return RefuseArguments("search", error, err);
    std::string error;
    ParsedSearch parsed = ParseSearch(query);
    if (parsed.error) {
        err << "kamomail search: " << SearchErrorText(*parsed.error) << '\n';
        return 2;
    }
    if (!output.Valid(error) || parsed.terms.empty()) {
        err << "kamomail search: " << (error.empty() ? Say(SearchWordsText::NoSearchWords) : error) << '\n'
            << UsageText("search") << '\n';
        return 2;
    }
    try {
        const auto session = StartCommandSession(err, "search");
        if (!session)
            return 1;
        SQLite::Database& db = session->Database();
        {
            TerminalProgress progress(err, progressShown);
            UpdateSearchIndex(db, progress);
        }
        SearchStream stream(db, std::move(parsed.terms));
        stream.SetSliceTime(std::chrono::milliseconds(0));
        MailRowReader reader(db);
        // JSON names each mail's conversation: read from the whole archive first.
        std::optional<Conversations> conversations;
        if (output.json)
            conversations.emplace(db);
        std::vector<int64_t> rows;
        bool more = true;
        while (more) {
            rows.clear();
            more = stream.Read(rows, 1024);
            for (int64_t row : rows)
                if (const auto mail = reader.Read(row)) {
                    MailThread thread;
                    if (conversations)
                        thread = {conversations->ThreadOf(row), conversations->MessageIdOf(row)};
                    out << output.Of(*mail, conversations ? &thread : nullptr) << '\n';
                }
        }
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "kamomail search: " << Say(SearchWordsText::SearchFailed, {ErrorText(e)}) << '\n';
        return 1;
    }
}

int SearchCommand(const std::vector<std::string>& args) {
    return RunSearchCommand(args, std::cout, std::cerr, TerminalProgress::ErrorIsTerminal());
}

int RunIndexCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown) {
    const auto arguments = ParseArguments("index", args, err);
    if (!arguments)
        return 2;
    const std::string_view chosen = arguments->Chosen("one").value_or("");
    enum class Work { Update, Rebuild, Drop } work = Work::Update;
    if (chosen == "--redecode") {
        try {
            return RunRedecode(out, err, progressShown);
        } catch (const std::exception& e) {
            err << "kamomail index: " << Say(SearchWordsText::RedecodeFailed, {ErrorText(e)}) << '\n';
            return 1;
        }
    }
    if (!chosen.empty())
        work = chosen == "--rebuild" ? Work::Rebuild : Work::Drop;
    try {
        const auto session = StartCommandSession(err, "index");
        if (!session)
            return 1;
        SQLite::Database& db = session->Database();
        if (work == Work::Drop) {
            DropSearchIndex(db);
            out << Say(SearchWordsText::IndexDropped) << '\n';
            return 0;
        }
        const int64_t pending = InspectSearchIndex(db) == SearchIndexState::Ready && work == Work::Update
                                    ? PendingSearchRows(db)
                                    : MailCount(db);
        {
            TerminalProgress progress(err, progressShown);
            if (work == Work::Rebuild)
                RebuildSearchIndex(db, progress);
            else
                UpdateSearchIndex(db, progress);
        }
        out << Say(SearchWordsText::IndexUpToDate, {std::to_string(MailCount(db)), std::to_string(pending)}) << '\n';
        return 0;
    } catch (const std::exception& e) {
        err << "kamomail index: " << Say(SearchWordsText::IndexFailed, {ErrorText(e)}) << '\n';
        return 1;
    }
}

int IndexCommand(const std::vector<std::string>& args) {
    return RunIndexCommand(args, std::cout, std::cerr, TerminalProgress::ErrorIsTerminal());
}

} // namespace kamo
