#include "startup/ExportCommand.h"

#include <exception>
#include <iostream>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

#include <SQLiteCpp/Statement.h>

#include "common/Messages.h"
#include "common/MessagesExport.h"
#include "export/ImapUpload.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"
#include "imap/ImapTarget.h"
#include "platform/PasswordSource.h"
#include "startup/ArchiveTerminalCommands.h"
#include "startup/CommandSession.h"
#include "startup/EndSignals.h"
#include "startup/TerminalCommands.h"
#include "startup/TerminalOutput.h"

namespace kamo {
namespace {

PdfWriterFn& PdfWriter() {
    static PdfWriterFn writer = nullptr;
    return writer;
}

// What a format's handler gets: the arguments parsed by the command's row (the format chosen), the
// streams, and whether a progress line may be drawn on `err`. Returns the exit status.
struct ExportRequest {
    const ParsedOptions& arguments;
    std::ostream& out;
    std::ostream& err;
    bool progressShown;
};
using ExportHandler = int (*)(const ExportRequest& request);

// The target: the one operand.
std::optional<std::string> TargetOf(const ExportRequest& request) {
    const auto& operands = request.arguments.operands;
    if (operands.empty() || operands.front().empty()) {
        RefuseArguments("export", Say(ExportText::NoTarget), request.err);
        return std::nullopt;
    }
    return request.arguments.operands.front();
}

// The selection and the message options of a mail format; false (said on `err`) for a wrong value.
bool ReadMailChoices(const ExportRequest& request, std::optional<MailSelection>& selection, ExportOptions& options) {
    const ParsedOptions& arguments = request.arguments;
    // The selection's options and what each chooses.
    struct Flag {
        std::string_view name;
        MailSelection::Kind kind;
    };
    static constexpr Flag kFlags[] = {{"--address", MailSelection::Kind::Address},
                                      {"--name", MailSelection::Kind::Name},
                                      {"--date", MailSelection::Kind::Date},
                                      {"--filter", MailSelection::Kind::Filter},
                                      {"--search", MailSelection::Kind::Search}};
    if (const auto chosen = arguments.Chosen("selection"))
        for (const auto& f : kFlags)
            if (f.name == *chosen)
                selection = MailSelection::Of(f.kind, *arguments.Value(f.name));
    options.original = arguments.Has("--original");
    options.folders = arguments.Has("--folders");
    if (const auto value = arguments.Value("--seen")) {
        const auto seen = SeenMailNamed(*value);
        if (!seen) {
            RefuseArguments("export", Say(ExportText::BadSeen, {*value}), request.err);
            return false;
        }
        options.seen = *seen;
    }
    return true;
}

// The selection chosen, a filter's name made its number; none (said on `err`) for no such filter.
std::optional<MailSelection> FindSelection(SQLite::Database& db, const std::optional<MailSelection>& selection,
                                           std::ostream& err) {
    MailSelection chosen = selection.value_or(MailSelection::All());
    if (chosen.kind == MailSelection::Kind::Filter) {
        const auto number = FindFilterNumber(db, chosen.key);
        if (!number) {
            err << "kamomail export: " << Say(ExportText::NoSuchFilter, {chosen.key}) << '\n';
            return std::nullopt;
        }
        chosen = MailSelection::Filter(*number, chosen.key);
    }
    return chosen;
}

// mbox, maildir, eml and html: MailExport; pdf: the writer the program set.
int ExportMailFormat(const ExportRequest& request) {
    const ParsedOptions& arguments = request.arguments;
    const std::string format(arguments.mode->name);
    const std::optional<std::string> target = TargetOf(request);
    if (!target)
        return 2;
    std::optional<MailSelection> selection;
    ExportOptions options;
    if (!ReadMailChoices(request, selection, options))
        return 2;
    const std::optional<MailFormat> mailFormat = MailFormatNamed(format); // none: pdf
    if (!mailFormat && !PdfWriter()) {
        request.err << "kamomail export: " << Say(ExportText::NoPdfWriter) << '\n';
        return 1;
    }
    try {
        const auto session = StartCommandSession(request.err, "export");
        if (!session)
            return 1;
        SQLite::Database& db = session->Database();
        const std::optional<MailSelection> found = FindSelection(db, selection, request.err);
        if (!found)
            return 1;
        const MailSelection& chosen = *found;
        ExportResult result;
        {
            TerminalProgress progress(request.err, request.progressShown);
            result = mailFormat ? ExportMails(db, chosen, *mailFormat, *target, progress, options)
                                : PdfWriter()(db, chosen, *target, progress);
        }
        request.out << ExportSummaryText(result, format, chosen, options.original);
        return 0;
    } catch (const std::exception& e) {
        request.err << "kamomail export: " << Say(ExportText::NotWritten, {ErrorText(e)}) << '\n';
        return 1;
    }
}

// The terminal's progress line, and a stop asked for by Ctrl-C (or SIGTERM, SIGHUP) between two mails.
class StoppableProgress : public TerminalProgress {
public:
    StoppableProgress(std::ostream& err, bool shown, EndSignals& signals)
        : TerminalProgress(err, shown), signals_(signals) {}
    bool CancelRequested() const override {
        if (!stopped_ && signals_.Fd() >= 0 && signals_.Take() != 0)
            stopped_ = true;
        return stopped_;
    }

private:
    EndSignals& signals_;
    mutable bool stopped_ = false;
};

// What the upload did (UploadSummaryOf): the summary on `out`, each problem on `err`.
void SayUpload(const ImapUploadResult& result, const ImapTarget& target, const MailSelection& selection,
               const ExportRequest& request) {
    const UploadSummary summary = UploadSummaryOf(result, target.host, selection);
    request.out << summary.done;
    for (const auto& problem : summary.problems)
        request.err << "kamomail export: " << problem << '\n';
}

// imap: the selected mails appended to a mail server's folder (ImapUpload). The password comes from
// --password-file or the terminal, never from the command line.
int ExportImapFormat(const ExportRequest& request) {
    const ParsedOptions& arguments = request.arguments;
    const std::optional<std::string> url = TargetOf(request);
    if (!url)
        return 2;
    auto parsed = ParseImapTarget(*url);
    if (const auto* refusal = std::get_if<Failure>(&parsed))
        return RefuseArguments("export", MessageOf(*refusal), request.err);
    const ImapTarget target = std::get<ImapTarget>(std::move(parsed));
    std::optional<MailSelection> selection;
    ImapUploadOptions options;
    if (!ReadMailChoices(request, selection, options.mail))
        return 2;
    if (const auto caFile = arguments.Value("--cacert"))
        options.session.caFile = *caFile;
    // The password before anything else: a file others may read is refused before a byte is sent.
    const auto passwordFile = arguments.Value("--password-file");
    auto given = passwordFile ? ReadPasswordFile(*passwordFile)
                              : AskPasswordOnTerminal(Say(ExportText::PasswordPrompt, {target.user, target.host}));
    if (const auto* refusal = std::get_if<Failure>(&given)) {
        request.err << "kamomail export: " << MessageOf(*refusal) << '\n';
        return 1;
    }
    const Secret password = std::get<Secret>(std::move(given));
    try {
        const auto session = StartCommandSession(request.err, "export");
        if (!session)
            return 1;
        SQLite::Database& db = session->Database();
        const std::optional<MailSelection> chosen = FindSelection(db, selection, request.err);
        if (!chosen)
            return 1;
        ImapUploadResult result;
        {
            EndSignals signals;
            StoppableProgress progress(request.err, request.progressShown, signals);
            result = UploadMails(db, *chosen, target, password.Value(), progress, options);
        }
        SayUpload(result, target, *chosen, request);
        return result.Failed() > 0 || result.endedBy || result.stopped ? 1 : 0;
    } catch (const Failure& failure) {
        request.err << "kamomail export: " << MessageOf(failure) << '\n';
        return 1;
    } catch (const std::exception& e) {
        request.err << "kamomail export: " << Say(ExportText::NotWritten, {ErrorText(e)}) << '\n';
        return 1;
    }
}

// csv: every table of the archive as text (ArchiveTerminalCommands).
int ExportCsvFormat(const ExportRequest& request) {
    const std::optional<std::string> target = TargetOf(request);
    return target ? RunTableExportCommand(*target, request.out, request.err) : 2;
}

// The writer of each format of `kamomail export` besides the mail formats (MailFormats(), each
// written by ExportMailFormat); what each format takes is its row in the command table.
constexpr std::pair<std::string_view, ExportHandler> kExportFormats[] = {
    {"pdf", ExportMailFormat},
    {"csv", ExportCsvFormat},
    {"imap", ExportImapFormat},
};

ExportHandler HandlerOf(std::string_view format) {
    for (const auto& [name, run] : kExportFormats)
        if (format == name)
            return run;
    if (MailFormatNamed(std::string(format)))
        return ExportMailFormat;
    return nullptr;
}

} // namespace

std::string ExportSummaryText(const ExportResult& result, std::string_view format, const MailSelection& selection,
                              bool original) {
    std::string text = Say(ExportText::Written, {std::to_string(result.written), std::string(format),
                                                 selection.Describe(), result.target.string()}) +
                       '\n';
    if (result.picturesNotDrawn > 0)
        text += MessageOf(Failure(FailureCode::PicturesNotDrawn, {std::to_string(result.picturesNotDrawn)})) + '\n';
    if (result.unreadableOriginals > 0)
        text +=
            MessageOf(Failure(FailureCode::OriginalsUnreadable, {std::to_string(result.unreadableOriginals)})) + '\n';
    if (original && result.withoutOriginal > 0)
        text += Say(ExportText::WrittenWithoutOriginal, {std::to_string(result.withoutOriginal)}) + '\n';
    return text;
}

void SetPdfWriter(PdfWriterFn writer) {
    PdfWriter() = writer;
}

int RunExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown) {
    const auto arguments = ParseArguments("export", args, err);
    if (!arguments)
        return 2;
    if (arguments->help) {
        out << CommandHelpText("export");
        return 0;
    }
    if (const ExportHandler run = HandlerOf(arguments->mode->name))
        return run(ExportRequest{*arguments, out, err, progressShown});
    err << "kamomail export: " << Say(ExportText::FormatNotWritten, {std::string(arguments->mode->name)}) << '\n';
    return 1;
}

int ExportCommand(const std::vector<std::string>& args) {
    return RunExportCommand(args, std::cout, std::cerr, TerminalProgress::ErrorIsTerminal());
}

} // namespace kamo
