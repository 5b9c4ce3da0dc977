// The main window's filter commands: the editor over the window (memFilter) and the filter run
// (memFilterGo), on the archive session the window works on.
#include <QAction>
#include <QApplication>
#include <QListView>
#include <QTimer>
#include <QtTest>

#include "browse/frmKamoMail.h"
#include "browse/frmWait.h"
#include "common/Prompter.h"
#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "filters/QtFilterCommands.h"
#include "filters/frmFilter.h"
#include "filters/tests/FilterWindowUtil.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
using namespace kamo::test;

namespace {

// The main window over an archive file and a settings file in a temporary folder.
struct MainWindow {
    MainWindow() {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        kamo::test::WriteFile(dir / "config" / "KAMOMAIL.ini",
                              "[PostPet Mail Option]\nPostPet Dir=/tmp\nDisplay Type=3\n");
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        MailRecord m;
        m.ymd = "2002/03/01";
        m.hms = "09:00:00";
        m.sndName = "太郎";
        m.sndAdd = "Taro@Example.JP";
        m.rcvName = "かも";
        m.rcvAdd = "kamo@example.jp";
        m.subject = "ポストペット通信";
        kamo::test::InsertTestMail(*db, m);
        m.hms = "10:00:00";
        m.sndAdd = "hana@example.jp";
        m.subject = "It's spring";
        kamo::test::InsertTestMail(*db, m);
        db->exec("INSERT INTO tblFilter VALUES (10, 3, 0, 'taro', 'taro@')");
        kamo::test::MarkDerivedDataMade(*db); // an archive whose filter has not run yet
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
    }
    kamo::test::TempDir dir;
    Settings settings;
    AppFolders folders;
    ScriptedPrompter prompter;
    std::unique_ptr<ArchiveSession> session; // outlives the window
    std::unique_ptr<frmKamoMail> window;
};

} // namespace

class frmFilterCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void mainWindowLoadsFiltersAndRunsThemAfterOk() {
        MainWindow m;
        QVERIFY(m.window->Load());
        QCOMPARE(m.session->Filters().count, 1); // the start-up routine loaded them
        QVERIFY(m.window->findChild<QAction*>("memFilter")->isEnabled());
        QVERIFY(m.window->findChild<QAction*>("memFilterGo")->isEnabled());

        MemFilter(*m.session, m.prompter, m.window->Wait(), *m.window, m.window.get(), [&](frmFilter& editor) {
            Fill(editor, "spring", 1, 0, "spring");
            Click(&editor, "comAdd");
            Click(&editor, "comOk");
            return editor.result();
        });
        const std::vector<Stored> stored = {{10, 3, 0, "taro"}, {20, 1, 0, "spring"}};
        QCOMPARE(StoredFilters(m.session->Database()), stored);
        const std::vector<std::pair<int, std::string>> data = {{10, "ポストペット通信"}, {20, "It's spring"}};
        QCOMPARE(FilterData(m.session->Database()), data);
        QVERIFY(!m.session->Filters().cancelFlag);
        QVERIFY(!m.window->ControlsLocked());
        QVERIFY(!m.window->WaitWindow().isVisible());
        QVERIFY(m.prompter.shown.empty());
        // The filter view lists both filters again.
        QCOMPARE(m.window->findChild<QListView*>("lstNameOrAddr")->model()->rowCount(), 2);
    }

    void mainWindowCancelStoresAndRunsNothing() {
        MainWindow m;
        QVERIFY(m.window->Load());
        m.session->Database().exec("INSERT INTO tblFilterData (tblFilterDt_Id, tblFilterDt_No, tblFilterDt_Subject) "
                                   "VALUES (1, 10, 'from the last run')");
        MemFilter(*m.session, m.prompter, m.window->Wait(), *m.window, m.window.get(), [&](frmFilter& editor) {
            ClickRow(editor, 0);
            m.prompter.QueueAnswer(true);
            Click(&editor, "comDel");
            Click(&editor, "comCancel");
            return editor.result();
        });
        QCOMPARE(StoredFilters(m.session->Database()).size(), size_t(1));
        QCOMPARE(FilterData(m.session->Database()).size(), size_t(1));
        QCOMPARE(FilterData(m.session->Database())[0].second, std::string("from the last run"));
        QVERIFY(!m.session->Filters().cancelFlag); // cleared for the next time
        QCOMPARE(m.session->Filters().count, 1);
    }

    void mainWindowMenuCommandsRun() {
        MainWindow m;
        QVERIFY(m.window->Load());
        m.window->show();
        m.window->findChild<QAction*>("memFilterGo")->trigger();
        const std::vector<std::pair<int, std::string>> data = {{10, "ポストペット通信"}};
        QCOMPARE(FilterData(m.session->Database()), data);
        QCOMPARE(m.window->WaitWindow().LineText(0), QString("1 / 1  のフィルターデータを"));
        QCOMPARE(m.prompter.shown.back().text, std::string("フィルターを実行しました。\ntaro: 1 件\n"));

        // memFilter opens the editor modally over the window.
        bool sawEditor = false;
        QTimer::singleShot(0, [&] {
            auto* editor = qobject_cast<frmFilter*>(QApplication::activeModalWidget());
            sawEditor = editor != nullptr;
            if (editor)
                Click(editor, "comOk");
        });
        m.window->findChild<QAction*>("memFilter")->trigger();
        QVERIFY(sawEditor);
        QCOMPARE(FilterData(m.session->Database()), data);
    }
};

QTEST_MAIN(frmFilterCommandsTest)
#include "frmFilterCommands_test.moc"
