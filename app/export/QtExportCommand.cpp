#include "export/QtExportCommand.h"

#include <QDir>
#include <QFileDialog>
#include <exception>
#include <filesystem>
#include <optional>
#include <variant>

#include "common/Messages.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "db/ArchiveSession.h"
#include "export/ImapUpload.h"
#include "platform/PasswordSource.h"

namespace kamo {
namespace {

// The target a format starts with: its usual name in the folder of the last export (the home
// folder before the first one, or when that folder is gone).
QString DefaultTarget(MailFormat format, const QString& lastFolder) {
    std::error_code ec;
    const QDir folder = !lastFolder.isEmpty() && std::filesystem::is_directory(lastFolder.toStdString(), ec)
                            ? QDir(lastFolder)
                            : QDir::home();
    switch (format) {
    case MailFormat::Mbox:
        return folder.filePath("KamoMail.mbox");
    case MailFormat::Maildir:
        return folder.filePath("KamoMail-Maildir");
    case MailFormat::Html:
        return folder.filePath("KamoMail-HTML");
    case MailFormat::Eml:
    case MailFormat::Imap:
        break;
    }
    return folder.filePath("KamoMail-eml");
}

std::string StoppedText(const ExportResult& result, bool folder, bool mboxWasThere) {
    std::string text = "書き出しを中止しました。\n";
    if (!folder)
        return text +
               (mboxWasThere ? "mbox ファイルは元のままです（書き換えていません）。\n"
                             : "mbox ファイルは作っていません。\n") +
               result.target.string();
    return text + "中止までの " + WithSeparators(result.written) +
           " 通は書き出してあります（1通ずつ完全なメールのファイルです）。\n" + result.target.string();
}

// The mails an export wrote from their rows: their originals unreadable, or (of originals) none kept.
std::string WithoutOriginalText(const ExportResult& result) {
    std::string text;
    if (result.unreadableOriginals > 0)
        text +=
            MessageOf(Failure(FailureCode::OriginalsUnreadable, {WithSeparators(result.unreadableOriginals)})) + "\n";
    if (result.withoutOriginal > 0)
        text += "うち " + WithSeparators(result.withoutOriginal) +
                " 通は元のメールが保存されていないため、通常の形式で書き出しました。\n";
    return text;
}

QString AskTarget(QWidget* parent, MailFormat /*format*/, bool folder, const QString& current) {
    if (folder)
        return QFileDialog::getExistingDirectory(parent, QString::fromUtf8("書き出し先のフォルダ"), current);
    // The replace question is ours (it also covers a name typed into the window).
    return QFileDialog::getSaveFileName(parent, QString::fromUtf8("書き出し先の mbox ファイル"), current,
                                        QString::fromUtf8("mbox (*.mbox);;すべてのファイル (*)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

// The server of the last upload, as the window shows it.
ImapTargetFields RememberedServer(const Settings& settings) {
    ImapTargetFields fields;
    fields.host = settings.imapServer;
    fields.port = settings.imapPort > 0 ? std::to_string(settings.imapPort) : "";
    fields.user = settings.imapUser;
    fields.folder = settings.imapFolder;
    fields.tls = ImapTlsNamed(settings.imapSecurity).value_or(ImapTls::Implicit);
    return fields;
}

void RememberServer(Settings& settings, const ImapTargetFields& fields, const ImapTarget& target) {
    settings.imapServer = fields.host;
    settings.imapPort = fields.port.empty() ? 0 : target.port;
    settings.imapUser = fields.user;
    settings.imapFolder = fields.folder;
    settings.imapSecurity = ImapSchemeOf(fields.tls);
}

// The upload the window asks for. None when the window is to come back (the user was told why):
// the address refused, or a failure before or during the upload that throws; otherwise whether every
// mail is on the server.
std::optional<bool> UploadChosen(ArchiveSession& session, Prompter& prompter, WaitReporter& wait,
                                 const frmExport& dialog, const std::string& title) {
    auto parsed = dialog.UploadTarget();
    if (const auto* refusal = std::get_if<Failure>(&parsed)) {
        prompter.Error(MessageOf(*refusal), title);
        return std::nullopt;
    }
    const ImapTarget target = std::get<ImapTarget>(std::move(parsed));
    RememberServer(session.AppSettings(), dialog.ServerFields(), target);
    ImapUploadOptions options;
    options.mail = dialog.Options();
    options.session = ExportDialogSeams().imapSession;
    const MailSelection& selection = dialog.Choice().selection;
    try {
        const Secret password(dialog.Password().toStdString());
        const ImapUploadResult result =
            UploadMails(session.Database(), selection, target, password.Value(), wait, options);
        const UploadSummary summary = UploadSummaryOf(result, target.host, selection);
        std::string text = summary.done;
        for (const auto& problem : summary.problems)
            text += problem + '\n';
        // A stop the user asked for is no error; a mail refused or an upload ended early is.
        if (result.refused.empty() && !result.endedBy)
            prompter.Message(text, title);
        else
            prompter.Error(text, title);
        return result.Failed() == 0 && !result.endedBy && !result.stopped;
    } catch (const std::exception& e) {
        prompter.Error(ErrorText(e), title);
        return std::nullopt;
    }
}

} // namespace

ExportDialogHooks& ExportDialogSeams() {
    static ExportDialogHooks hooks{[](frmExport& dialog) { return dialog.exec(); }, AskTarget, {}};
    return hooks;
}

bool MemMailExport(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
                   const std::vector<MailSelection>& offer) {
    if (offer.empty())
        return false;
    Settings& settings = session.AppSettings();
    std::vector<ExportChoice> choices;
    for (const auto& selection : offer)
        choices.push_back({selection, selection.Describe()});
    const QString lastFolder = QString::fromStdString(settings.exportFolder);
    frmExport dialog(
        choices, choices.size() - 1, [lastFolder](MailFormat format) { return DefaultTarget(format, lastFolder); },
        ExportDialogSeams().chooseTarget, parent);
    if (const auto remembered = MailFormatNamed(settings.exportFormat))
        dialog.SetFormat(*remembered);
    if (!settings.imapServer.empty())
        dialog.SetServerFields(RememberedServer(settings));
    const std::string title = "メールの書き出し";
    // The window comes back with the user's choices after a failure, until the export is done or
    // stopped, or the window is cancelled.
    while (ExportDialogSeams().run(dialog) == QDialog::Accepted) {
        const MailFormat format = dialog.Format();
        settings.exportFormat = InfoOf(format).name;
        if (InfoOf(format).upload) {
            if (const std::optional<bool> done = UploadChosen(session, prompter, wait, dialog, title))
                return *done;
            continue;
        }
        const std::filesystem::path target = dialog.Target().toStdString();
        const ExportOptions options = dialog.Options();
        const bool folder = InfoOf(format).folder || options.folders;
        if (const std::filesystem::path folder = std::filesystem::absolute(target).parent_path(); !folder.empty())
            settings.exportFolder = folder.string();
        std::error_code ec;
        const bool mboxWasThere = !folder && std::filesystem::is_regular_file(target, ec);
        if (mboxWasThere && !prompter.AskYesNo(target.string() + "\nは既にあります。置き換えますか？", title))
            return false; // the user's answer, not a failure: nothing written, the command ends
        if (folder && std::filesystem::exists(target, ec) && !std::filesystem::is_directory(target, ec)) {
            prompter.Error(target.string() + "\nはフォルダではありません。", title);
            continue;
        }
        try {
            const ExportResult result =
                ExportMails(session.Database(), dialog.Choice().selection, format, target, wait, options);
            if (result.stopped) {
                prompter.Message(StoppedText(result, folder, mboxWasThere), title);
                return false;
            }
            prompter.Message(WithSeparators(result.written) + " 通のメールを書き出しました（" + InfoOf(format).caption +
                                 "）。\n" + WithoutOriginalText(result) + result.target.string(),
                             title);
            return true;
        } catch (const std::exception& e) {
            prompter.Error(std::string("メールを書き出せませんでした。\n") + ErrorText(e), title);
        }
    }
    return false;
}

} // namespace kamo
