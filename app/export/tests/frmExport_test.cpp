// The export window's read mark: every mail read unless the user asks otherwise, and the choice
// carried into the export (MemMailExport with the window run by the test).
#include <QComboBox>
#include <QTest>

#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "export/QtExportCommand.h"
#include "export/frmExport.h"
#include "platform/Folders.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

class frmExportTest : public QObject {
    Q_OBJECT
private slots:
    void everyMailIsReadUnlessAskedAndEmlHasNoMark();
    void theChosenMarkGoesIntoTheExport();
};

void frmExportTest::everyMailIsReadUnlessAskedAndEmlHasNoMark() {
    frmExport dialog({{MailSelection::All(), "すべてのメール"}}, 0, {}, {});
    auto* seen = dialog.findChild<QComboBox*>("cmbSeen");
    QVERIFY(seen);
    QCOMPARE(dialog.Seen(), SeenMail::All);
    dialog.SetFormat(MailFormat::Eml);
    QVERIFY(!seen->isEnabled());
    dialog.SetFormat(MailFormat::Maildir);
    QVERIFY(seen->isEnabled());
    seen->setCurrentIndex(seen->findData(static_cast<int>(SeenMail::SentOnly)));
    QCOMPARE(dialog.Seen(), SeenMail::SentOnly);
}

void frmExportTest::theChosenMarkGoesIntoTheExport() {
    test::TempDir dir;
    AppFolders folders;
    folders.settingsDir = dir / "config";
    folders.dataDir = dir / "data";
    std::filesystem::create_directories(folders.settingsDir);
    std::filesystem::create_directories(folders.dataDir);
    Settings settings;
    auto db = OpenArchive(folders.DatabaseFile(), true);
    CreateTables(*db);
    MailRecord received;
    received.ymd = "2002/03/01";
    received.hms = "09:00:00";
    received.sndName = "太郎";
    received.sndAdd = "taro@example.jp";
    received.rcvName = "かも";
    received.rcvAdd = "kamo@example.jp";
    received.subject = "受信";
    received.body = "本文";
    test::InsertTestMail(*db, received);
    ArchiveSession session(folders, nullptr, std::move(db), settings);
    ScriptedPrompter prompter;
    NullWaitReporter quiet;
    for (const SeenMail seen : {SeenMail::SentOnly, SeenMail::All}) {
        const auto target = dir / (seen == SeenMail::All ? "all" : "sent");
        ExportDialogSeams().run = [&](frmExport& dialog) {
            dialog.SetFormat(MailFormat::Maildir);
            dialog.SetTarget(QString::fromStdString(target.string()));
            dialog.SetSeen(seen);
            return int(QDialog::Accepted);
        };
        QVERIFY(MemMailExport(session, prompter, quiet, nullptr, {MailSelection::All()}));
        // The received mail: unread in new/ when only sent mail is marked, read in cur/ otherwise.
        QCOMPARE(std::filesystem::is_empty(target / "new"), seen == SeenMail::All);
        QCOMPARE(std::filesystem::is_empty(target / "cur"), seen != SeenMail::All);
    }
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
}

QTEST_MAIN(frmExportTest)
#include "frmExport_test.moc"
