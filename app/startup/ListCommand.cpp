#include "startup/ListCommand.h"

#include <exception>
#include <iostream>
#include <optional>

#include <SQLiteCpp/Statement.h>

#include "browse/KeyLists.h"
#include "browse/SubjectCursor.h"
#include "browse/ThreadedLines.h"
#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "export/MailSelection.h"
#include "search/Conversations.h"
#include "startup/CommandSession.h"
#include "startup/TerminalCommands.h"
#include "startup/TerminalOutput.h"

namespace kamo {
namespace {

std::optional<ViewMode> ModeNamed(const std::string& name) {
    if (name == "address")
        return ViewMode::Address;
    if (name == "name")
        return ViewMode::Name;
    if (name == "date")
        return ViewMode::Date;
    if (name == "filter")
        return ViewMode::Filter;
    return std::nullopt;
}

} // namespace

int RunListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = ParseArguments("list", args, err);
    if (!parsed)
        return 2;
    auto wrong = [&](const std::string& what) { return RefuseArguments("list", what, err); };
    std::optional<ViewMode> by;
    if (const auto value = parsed->Value("--by")) {
        by = ModeNamed(*value);
        if (!by)
            return wrong(Say(BrowseText::ListUnknownBy, {*value}));
    }
    // The key: one of --address, --name, --date and --filter.
    std::optional<ViewMode> keyMode;
    std::string key;
    if (const auto option = parsed->Chosen("key")) {
        keyMode = ModeNamed(std::string(option->substr(2)));
        key = *parsed->Value(*option);
    }
    const bool threads = parsed->Has("--threads");
    MailOutput output;
    std::string error;
    if (!output.Take(*parsed, error) || !output.Valid(error))
        return wrong(error);
    if (by && keyMode)
        return wrong(Say(BrowseText::ListByWithKey));
    if (!keyMode && (output.json || output.body || threads))
        return wrong(Say(BrowseText::ListFormatNeedsKey));
    try {
        const auto session = StartCommandSession(err, "list");
        if (!session)
            return 1;
        SQLite::Database& db = session->Database();
        if (!keyMode) {
            const ViewMode mode = by.value_or(ViewMode::Address);
            for (const KeyItem& item : FillKeyList(db, mode)) {
                if (mode == ViewMode::Filter)
                    out << item.filterNo << '\t';
                out << item.text << '\n';
            }
            out.flush();
            return 0;
        }
        std::unique_ptr<SubjectRowStream> stream;
        if (*keyMode == ViewMode::Filter) {
            const auto number = FindFilterNumber(db, key);
            if (!number) {
                err << "kamomail list: " << Say(BrowseText::ListNoSuchFilter, {key}) << '\n';
                return 1;
            }
            stream = std::make_unique<SubjectRowStream>(db, *number);
        } else {
            stream = std::make_unique<SubjectRowStream>(db, *keyMode, key);
        }
        MailRowReader mails(db);
        auto print = [&](int64_t row, bool reply, const Conversations* conversations) {
            const std::optional<MailRecord> mail = mails.Read(row);
            if (!mail)
                return;
            MailThread thread;
            if (conversations)
                thread = {conversations->ThreadOf(row), conversations->MessageIdOf(row)};
            out << (reply && !output.json ? "  " : "") << output.Of(*mail, conversations ? &thread : nullptr) << '\n';
        };
        // Conversations are joined once the whole list is known; without them the lines go out as
        // they come.
        const bool joined = threads || output.json;
        std::vector<int64_t> listed, rows;
        bool more = true;
        while (more) {
            rows.clear();
            more = stream->Read(rows, 1024);
            for (int64_t row : MailRowsOfLines(db, stream->Source(), rows)) {
                if (!joined)
                    print(row, false, nullptr);
                else if (row != 0)
                    listed.push_back(row);
            }
        }
        if (joined) {
            std::optional<Conversations> conversations;
            {
                TerminalProgress progress(err, TerminalProgress::ErrorIsTerminal());
                conversations.emplace(db, listed, progress);
            }
            // --threads: each conversation where its first listed mail stands, its listed mails in the
            // list's order (oldest first), the later ones indented under the first.
            std::vector<std::string> threadOf;
            for (int64_t row : listed)
                threadOf.push_back(threads ? conversations->ThreadOf(row) : std::string());
            for (const ThreadedLine& l : ThreadedOrder(threadOf))
                print(listed[l.line], l.depth > 0, &*conversations);
        }
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "kamomail list: " << Say(BrowseText::ListFailed, {ErrorText(e)}) << '\n';
        return 1;
    }
}

int ListCommand(const std::vector<std::string>& args) {
    return RunListCommand(args, std::cout, std::cerr);
}

} // namespace kamo
