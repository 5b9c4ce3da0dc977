#include "startup/ExportCommand.h"

#include <exception>
#include <iostream>
#include <optional>

#include <SQLiteCpp/Statement.h>

#include "common/Messages.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"
#include "startup/ArchiveTerminalCommands.h"
#include "startup/CommandSession.h"
#include "startup/TerminalOutput.h"

namespace kamo {
namespace {

PdfWriterFn& PdfWriter() {
    static PdfWriterFn writer = nullptr;
    return writer;
}

// What a format's handler gets: the format's name, the arguments other than "--format NAME", the
// streams, and whether a progress line may be drawn on `err`. Returns the exit status.
struct ExportRequest {
    std::string format;
    std::vector<std::string> args;
    std::ostream& out;
    std::ostream& err;
    bool progressShown;
};
using ExportHandler = int (*)(const ExportRequest& request);

int ExportMailFormat(const ExportRequest& request);

// csv: every table of the archive as text (ArchiveTerminalCommands).
int ExportCsvFormat(const ExportRequest& request) {
    std::vector<std::string> args{"--format", "csv"};
    args.insert(args.end(), request.args.begin(), request.args.end());
    return RunTableExportCommand(args, request.out, request.err);
}

struct ExportFormatEntry {
    const char* name;
    const char* usage; // the arguments after "--format NAME"
    ExportHandler run;
};

// The formats of `kamomail export`, one line each.
const ExportFormatEntry kExportFormats[] = {
    {"mbox", "ファイル [選択] [既読]  mbox ファイル 1 つに書き出します（mboxrd 形式）", ExportMailFormat},
    {"maildir", "フォルダ [選択] [既読]  Maildir に書き出します", ExportMailFormat},
    {"eml", "フォルダ [選択]  1 通ずつ .eml ファイルに書き出します", ExportMailFormat},
    {"html", "フォルダ [選択]  ブラウザで読めるフォルダ（index.html、1 通 1 ページ、写真と添付ファイル）に書き出します",
     ExportMailFormat},
    {"pdf", "ファイル [選択]  印刷用の PDF ファイルに書き出します（写真入り、日本語フォント埋め込み）",
     ExportMailFormat},
    {"csv", "フォルダ  すべてのテーブルを表ごとの CSV ファイルに書き出します（kamomail import で戻せます）",
     ExportCsvFormat},
};

constexpr const char* kSelectionUsage = "  選択: --address A | --name N | --date yyyy/mm/dd | --filter 番号か名前 | "
                                        "--search 言葉（なければすべてのメール）";
constexpr const char* kShapeUsage =
    "  mbox・maildir・eml: --original  元のメールをそのまま（ヘッダーと本文を 1 バイトも変えずに）書き出します"
    "（元のメールのないメールは通常どおり）| --folders  PostPet のメールボックスごとに mbox ファイルか "
    "Maildir++ フォルダに分けます（書き出し先はフォルダ、メールボックス不明のメールは「";
constexpr const char* kSeenUsage =
    "  既読: --seen all（既定: すべてのメールを既読に）| --seen sent（送信メールだけ既読に）"
    "  mbox の Status: RO と Maildir の cur/ :2,S";

void PrintFormats(std::ostream& s) {
    s << "使い方: kamomail export --format 形式 ...\n";
    for (const auto& f : kExportFormats)
        s << "  kamomail export --format " << f.name << " " << f.usage << '\n';
    s << kSelectionUsage << '\n' << kSeenUsage << '\n' << kShapeUsage << kUnknownMailbox << "」）\n";
}

std::string FormatNames() {
    std::string names;
    for (const auto& f : kExportFormats)
        names += std::string(names.empty() ? "" : ", ") + f.name;
    return names;
}

// mbox, maildir, eml and html: MailExport; pdf: the writer the program set.
int ExportMailFormat(const ExportRequest& request) {
    const auto wrong = [&](const std::string& what) {
        request.err << "kamomail export: " << what << '\n';
        PrintFormats(request.err);
        return 2;
    };
    std::string target;
    std::optional<MailSelection> selection;
    std::string filterName;
    ExportOptions options;
    for (size_t i = 0; i < request.args.size(); ++i) {
        const std::string& a = request.args[i];
        const bool hasValue = i + 1 < request.args.size();
        struct Flag {
            const char* name;
            MailSelection::Kind kind;
        };
        static const Flag kFlags[] = {{"--address", MailSelection::Kind::Address},
                                      {"--name", MailSelection::Kind::Name},
                                      {"--date", MailSelection::Kind::Date},
                                      {"--filter", MailSelection::Kind::Filter},
                                      {"--search", MailSelection::Kind::Search}};
        const Flag* flag = nullptr;
        for (const auto& f : kFlags)
            if (a == f.name)
                flag = &f;
        const auto mailFormat = MailFormatNamed(request.format);
        const bool mailMessages = mailFormat && InfoOf(*mailFormat).hasFlags;
        if ((a == "--original" || a == "--folders") && mailFormat && *mailFormat != MailFormat::Html) {
            (a == "--original" ? options.original : options.folders) = true;
        } else if (a == "--seen" && hasValue && mailMessages) {
            const auto seen = SeenMailNamed(request.args[++i]);
            if (!seen)
                return wrong("--seen には all か sent を指定して下さい: " + request.args[i]);
            options.seen = *seen;
        } else if (flag && hasValue) {
            if (selection)
                return wrong("選択は 1 つだけ指定して下さい。");
            selection = MailSelection::Of(flag->kind, request.args[++i]);
        } else if (a.rfind("--", 0) == 0 || !target.empty()) {
            return wrong("不明な引数です: " + a);
        } else {
            target = a;
        }
    }
    if (target.empty())
        return wrong("書き出し先を指定して下さい。");
    const std::optional<MailFormat> format = MailFormatNamed(request.format); // none: pdf
    if (!format && !PdfWriter()) {
        request.err << "kamomail export: この kamomail は PDF を書き出せません。\n";
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
                request.err << "kamomail export: そのフィルターはありません: " << chosen.key << '\n';
                return 1;
            }
            chosen = MailSelection::Filter(*number, chosen.key);
        }
        ExportResult result;
        {
            TerminalProgress progress(request.err, request.progressShown);
            result = format ? ExportMails(db, chosen, *format, target, progress, options)
                            : PdfWriter()(db, chosen, target, progress);
        }
        request.out << result.written << " 通のメールを " << request.format << " で書き出しました（"
                    << chosen.Describe() << "）: " << result.target.string() << '\n';
        if (result.picturesNotDrawn > 0)
            request.out << MessageOf(Failure(FailureCode::PicturesNotDrawn, {std::to_string(result.picturesNotDrawn)}))
                        << '\n';
        if (result.unreadableOriginals > 0)
            request.out << MessageOf(
                               Failure(FailureCode::OriginalsUnreadable, {std::to_string(result.unreadableOriginals)}))
                        << '\n';
        if (options.original && result.withoutOriginal > 0)
            request.out << "うち " << result.withoutOriginal
                        << " 通は元のメールが保存されていないため、通常の形式で書き出しました。\n";
        return 0;
    } catch (const std::exception& e) {
        request.err << "kamomail export: 書き出せませんでした。" << ErrorText(e) << '\n';
        return 1;
    }
}

} // namespace

void SetPdfWriter(PdfWriterFn writer) {
    PdfWriter() = writer;
}

int RunExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown) {
    std::string format;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size())
            format = args[++i];
        else if (args[i].rfind("--format=", 0) == 0)
            format = args[i].substr(9);
        else if (args[i] == "--help") {
            PrintFormats(out);
            return 0;
        } else
            rest.push_back(args[i]);
    }
    for (const auto& f : kExportFormats)
        if (format == f.name)
            return f.run(ExportRequest{format, rest, out, err, progressShown});
    err << "kamomail export: "
        << (format.empty() ? std::string("形式を --format で指定して下さい。") : "不明な形式です: " + format)
        << "（使える形式: " << FormatNames() << "）\n";
    PrintFormats(err);
    return 2;
}

int ExportCommand(const std::vector<std::string>& args) {
    return RunExportCommand(args, std::cout, std::cerr, TerminalProgress::ErrorIsTerminal());
}

} // namespace kamo
