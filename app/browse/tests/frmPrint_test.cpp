// ファイル → 印刷… and PDF に書き出し… in the window: they offer the mail on display besides the key's
// and every mail, and what they draw is the chosen mails (read back with pdftotext).
#include <QAction>
#include <QMenu>
#include <QPrinter>
#include <QTest>

#include "browse/frmKamoMail.h"
#include "browse/tests/WindowArchive.h"
#include "db/ArchiveSession.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "export/QtPrintCommand.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

// Received mail, each at nine o'clock of its day.
MailRecord Mail(const char* ymd, const char* friendName, const char* friendAdd, const char* subject, const char* body) {
    return test::MailBuilder().Date(ymd, "09:00:00").With(friendName, friendAdd).Subject(subject).Body(body).Build();
}

struct Fixture : test::WindowArchive {
    Fixture()
        : WindowArchive([](SQLite::Database& db) {
              test::InsertTestMail(db, Mail("2002/03/01", "太郎", "taro@example.jp", "ひとつめ", "ひとつめの本文"));
              test::InsertTestMail(db, Mail("2002/03/02", "太郎", "taro@example.jp", "ふたつめ", "ふたつめの本文"));
              test::InsertTestMail(db, Mail("2001/12/24", "花子", "hana@example.jp", "はなこ", "花子の本文"));
          }) {}
    QAction* Action(const char* name) const { return window->findChild<QAction*>(name); }
    std::string PdfText(const std::filesystem::path& pdf) const {
        const auto run = test::RunTool({"/usr/bin/pdftotext", pdf.string(), "-"});
        return run.status == 0 ? run.out : std::string("(pdftotext failed)");
    }
};

} // namespace

class frmPrintTest : public QObject {
    Q_OBJECT
private slots:
    void pdfOffersTheMailOnDisplayAndWritesTheChoice() {
        Fixture f;
        QVERIFY(f.window->Load());
        QAction* pdf = f.Action("memPdfExport");
        QVERIFY(pdf && pdf->isEnabled());
        QVERIFY(f.window->findChild<QMenu*>("memFileMenu")->actions().contains(pdf));
        std::vector<std::string> offered;
        std::optional<size_t> pick;
        PrintDialogSeams().choose = [&](QWidget*, const std::vector<MailSelection>& offer) {
            offered.clear();
            for (const auto& s : offer)
                offered.push_back(s.Describe());
            return pick ? std::optional<MailSelection>(offer[*pick]) : std::nullopt;
        };
        const auto file = f.dir / "out.pdf";
        PrintDialogSeams().chooseFile = [&](QWidget*) { return QString::fromStdString(file.string()); };
        f.window->ChooseKey(2); // taro@example.jp
        f.window->ChooseSubject(1);
        QVERIFY(f.window->CurrentMail());
        const std::string shown = f.window->CurrentMail()->body;
        const std::string other = shown == "ひとつめの本文" ? "ふたつめの本文" : "ひとつめの本文";
        pdf->trigger(); // cancelled at the choice
        QCOMPARE(offered, (std::vector<std::string>{"すべてのメール", "アドレス taro@example.jp",
                                                    "表示中のメール " + f.window->CurrentMail()->subject}));
        QVERIFY(!std::filesystem::exists(file));
        QVERIFY(f.prompter.shown.empty());

        pick = 2;
        pdf->trigger();
        const std::string text = f.PdfText(file);
        QVERIFY2(text.find(shown) != std::string::npos, text.c_str());
        QVERIFY(text.find(other) == std::string::npos);
        QCOMPARE(f.prompter.shown.back().text.rfind("1 通のメールを PDF に書き出しました。", 0), size_t(0));

        pick = 1;
        pdf->trigger();
        const std::string key = f.PdfText(file);
        QVERIFY(key.find("ひとつめの本文") != std::string::npos && key.find("ふたつめの本文") != std::string::npos);
        QVERIFY(key.find("花子の本文") == std::string::npos);
    }

    void printDrawsTheChosenMailsOnThePrinter() {
        Fixture f;
        QVERIFY(f.window->Load());
        QAction* print = f.Action("memPrint");
        QVERIFY(print && print->isEnabled());
        PrintDialogSeams().choose = [](QWidget*, const std::vector<MailSelection>& offer) {
            return std::optional<MailSelection>(offer.front()); // every mail
        };
        const auto file = f.dir / "printed.pdf";
        bool accept = false;
        PrintDialogSeams().printer = [&](QWidget*, QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat); // the printer stands in as a file
            printer.setOutputFileName(QString::fromStdString(file.string()));
            return accept;
        };
        print->trigger();
        QVERIFY(!std::filesystem::exists(file));
        accept = true;
        print->trigger();
        const std::string text = f.PdfText(file);
        for (const char* body : {"ひとつめの本文", "ふたつめの本文", "花子の本文"})
            QVERIFY2(text.find(body) != std::string::npos, body);
        QCOMPARE(f.prompter.shown.back().text, std::string("3 通のメールを印刷しました。"));
    }
};

QTEST_MAIN(frmPrintTest)
#include "frmPrint_test.moc"
