#include "export/QtExportCommand.h"

#include <QDir>
#include <QFileDialog>
#include <exception>
#include <filesystem>

#include "common/Prompter.h"
#include "db/ArchiveSession.h"

namespace kamo {
namespace {

QString DefaultTarget(MailFormat format) {
    switch (format) {
    case MailFormat::Mbox:
        return QDir::home().filePath("KamoMail.mbox");
    case MailFormat::Maildir:
        return QDir::home().filePath("KamoMail-Maildir");
    case MailFormat::Eml:
        break;
    }
    return QDir::home().filePath("KamoMail-eml");
}

QString AskTarget(QWidget* parent, MailFormat format, const QString& current) {
    if (InfoOf(format).folder)
        return QFileDialog::getExistingDirectory(parent, QString::fromUtf8("書き出し先のフォルダ"), current);
    // The replace question is ours (it also covers a name typed into the window).
    return QFileDialog::getSaveFileName(parent, QString::fromUtf8("書き出し先の mbox ファイル"), current,
                                        QString::fromUtf8("mbox (*.mbox);;すべてのファイル (*)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

} // namespace

ExportDialogHooks& ExportDialogSeams() {
    static ExportDialogHooks hooks{[](frmExport& dialog) { return dialog.exec(); }, AskTarget};
    return hooks;
}

bool MemMailExport(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
                   const std::vector<MailSelection>& offer) {
    if (offer.empty())
        return false;
    std::vector<ExportChoice> choices;
    for (const auto& selection : offer)
        choices.push_back({selection, selection.Describe()});
    frmExport dialog(choices, choices.size() - 1, DefaultTarget, ExportDialogSeams().chooseTarget, parent);
    if (ExportDialogSeams().run(dialog) != QDialog::Accepted)
        return false;
    const std::filesystem::path target = dialog.Target().toStdString();
    const MailFormat format = dialog.Format();
    const std::string title = "メールの書き出し";
    std::error_code ec;
    if (!InfoOf(format).folder && std::filesystem::is_regular_file(target, ec) &&
        !prompter.AskYesNo(target.string() + "\nは既にあります。置き換えますか？", title))
        return false;
    if (InfoOf(format).folder && std::filesystem::exists(target, ec) && !std::filesystem::is_directory(target, ec)) {
        prompter.Error(target.string() + "\nはフォルダではありません。", title);
        return false;
    }
    try {
        ExportOptions options;
        options.seen = dialog.Seen();
        const ExportResult result =
            ExportMails(session.Database(), dialog.Choice().selection, format, target, wait, options);
        prompter.Message(std::to_string(result.written) + " 通のメールを書き出しました（" + InfoOf(format).caption +
                             "）。\n" + result.target.string(),
                         title);
        return true;
    } catch (const std::exception& e) {
        prompter.Error(std::string("メールを書き出せませんでした。\n") + e.what(), title);
        return false;
    }
}

} // namespace kamo
