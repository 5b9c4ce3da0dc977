#include "export/QtPrintCommand.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QStringList>
#include <exception>

#include "common/Messages.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "export/QtMailPrint.h"

namespace kamo {
namespace {

std::optional<MailSelection> ChooseSelection(QWidget* parent, const std::vector<MailSelection>& offer) {
    QStringList items;
    for (auto it = offer.rbegin(); it != offer.rend(); ++it) // the narrowest first
        items << QString::fromStdString(it->Describe());
    bool ok = false;
    const QString item = QInputDialog::getItem(parent, QString::fromUtf8("メールの印刷"),
                                               QString::fromUtf8("印刷するメール："), items, 0, false, &ok);
    if (!ok)
        return std::nullopt;
    return offer[offer.size() - 1 - static_cast<size_t>(items.indexOf(item))];
}

QString ChoosePdf(QWidget* parent) {
    return QFileDialog::getSaveFileName(parent, QString::fromUtf8("PDF に書き出し"),
                                        QDir::home().filePath("KamoMail.pdf"), QString::fromUtf8("PDF (*.pdf)"));
}

bool SetUpPrinter(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

const char* const kTitle = "メールの印刷";

// The pictures a print or PDF left out, for they could not be decoded: a line of the summary.
std::string PicturesNotDrawnText(const ExportResult& result) {
    if (result.picturesNotDrawn == 0)
        return {};
    return MessageOf(Failure(FailureCode::PicturesNotDrawn, {WithSeparators(result.picturesNotDrawn)})) + "\n";
}

} // namespace

PrintDialogHooks& PrintDialogSeams() {
    static PrintDialogHooks hooks{ChooseSelection, ChoosePdf, SetUpPrinter};
    return hooks;
}

bool MemPrint(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
              const std::vector<MailSelection>& offer) {
    if (offer.empty())
        return false;
    const auto selection = PrintDialogSeams().choose(parent, offer);
    if (!selection)
        return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString("KamoMail " + selection->Describe()));
    if (!PrintDialogSeams().printer(parent, printer))
        return false;
    try {
        ExportResult result;
        {
            WaitScope busy(wait);
            wait.ShowPhase(WaitPhase::PrintingMail);
            wait.OfferCancelAsking("印刷を中止しますか？\n中止すると、ここまでに用意した分も印刷しません。");
            result = PrintMails(session.Database(), *selection, printer, "KamoMail " + selection->Describe(), wait);
        }
        prompter.Message(
            WithSeparators(result.written) + " 通のメールを印刷しました" +
                (result.stopped ? "（中止しました）。" : "。") +
                (result.stopped || result.picturesNotDrawn == 0 ? std::string() : "\n" + PicturesNotDrawnText(result)),
            kTitle);
        return !result.stopped;
    } catch (const std::exception& e) {
        prompter.Error(std::string("メールを印刷できませんでした。\n") + ErrorText(e), kTitle);
        return false;
    }
}

bool MemPdfExport(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, QWidget* parent,
                  const std::vector<MailSelection>& offer) {
    if (offer.empty())
        return false;
    const auto selection = PrintDialogSeams().choose(parent, offer);
    if (!selection)
        return false;
    const QString file = PrintDialogSeams().chooseFile(parent);
    if (file.isEmpty())
        return false;
    const std::filesystem::path target = file.toStdString();
    try {
        const ExportResult result = WriteMailPdf(session.Database(), *selection, target, wait);
        if (result.stopped) {
            prompter.Message(
                "PDF の書き出しを中止しました。ファイルは作っていません（元のままです）。\n" + target.string(), kTitle);
            return false;
        }
        prompter.Message(WithSeparators(result.written) + " 通のメールを PDF に書き出しました。\n" +
                             PicturesNotDrawnText(result) + target.string(),
                         kTitle);
        return true;
    } catch (const std::exception& e) {
        prompter.Error(std::string("PDF を書き出せませんでした。\n") + ErrorText(e), kTitle);
        return false;
    }
}

} // namespace kamo
