#include "startup/ExportCommand.h"

#include <exception>
#include <iostream>
#include <optional>
#include <string_view>
#include <utility>

#include <SQLiteCpp/Statement.h>

#include "common/Messages.h"
#include "common/MessagesExport.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"
#include "startup/ArchiveTerminalCommands.h"
#include "startup/CommandSession.h"
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

// mbox, maildir, eml and html: MailExport; pdf: the writer the program set.
int ExportMailFormat(const ExportRequest& request) {
    const ParsedOptions& arguments = request.arguments;
    const std::string format(arguments.mode->name);
    const std::optional<std::string> target = TargetOf(request);
    if (!target)
        return 2;
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
    std::optional<MailSelection> selection;
    if (const auto chosen = arguments.Chosen("selection"))
        for (const auto& f : kFlags)
            if (f.name == *chosen)
                selection = MailSelection::Of(f.kind, *arguments.Value(f.name));
    ExportOptions options;
    options.original = arguments.Has("--original");
    options.folders = arguments.Has("--folders");
    if (const auto value = arguments.Value("--seen")) {
        const auto seen = SeenMailNamed(*value);
        if (!seen)
            return RefuseArguments("export", Say(ExportText::BadSeen, {*value}), request.err);
        options.seen = *seen;
    }
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
        MailSelection chosen = selection.value_or(MailSelection::All());
        if (chosen.kind == MailSelection::Kind::Filter) {
            const auto number = FindFilterNumber(db, chosen.key);
            if (!number) {
                request.err << "kamomail export: " << Say(ExportText::NoSuchFilter, {chosen.key}) << '\n';
                return 1;
            }
            chosen = MailSelection::Filter(*number, chosen.key);
        }
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
};

ExportHandler HandlerOf(std::string_view format) {
    if (MailFormatNamed(std::string(format)))
        return ExportMailFormat;
    for (const auto& [name, run] : kExportFormats)
        if (format == name)
            return run;
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
