// The main window against an archive file and a settings file in a temporary folder.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <array>
#include <sqlite3.h>

#include <SQLiteCpp/Transaction.h>

#include "browse/frmKamoMail.h"
#include "browse/frmOption.h"
#include "browse/frmWait.h"
#include "db/ArchiveSession.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

const char* const kMemNames[] = {"memFile",
                                 "memDBSupport",
                                 "memExport",
                                 "memInport",
                                 "memDBEdit",
                                 "memBackUp",
                                 "memBackUp_FileEdit",
                                 "memBackUp_FileSelect",
                                 "memNomalDisp",
                                 "memOption",
                                 "memEnv",
                                 "memFriend_A",
                                 "memFriend_F",
                                 "memFriend_P",
                                 "memFriendEd",
                                 "memAddressAdd",
                                 "memFilter",
                                 "memFilterGo",
                                 "memNameOrAddr",
                                 "memHelp",
                                 "memHelp_Top",
                                 "memVar",
                                 "memMailRead",
                                 "memEnd"};

using test::Mail;

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

// A settings file, a data folder with an archive, and the window over them.
struct Fixture {
    explicit Fixture(const std::string& ini, bool withMail = true) {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        test::WriteFile(dir / "config" / "KAMOMAIL.ini", ini);
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        folders.helpPath = dir / "help.html";
        folders.libraryPath = test::BuildLibraryPath();
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        if (withMail) {
            test::InsertTestMail(*db, Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "おはよう",
                                           "おはよう。\r\n> 昨日の件\r\nまたね"));
            test::InsertTestMail(*db,
                                 Mail("2002/03/01", "08:00:00", true, "太郎", "taro@example.jp", "早起き", "本文"));
            test::InsertTestMail(
                *db, Mail("2001/12/24", "20:00:00", false, "花子", "hana@example.jp", "メリークリスマス", "メリー"));
            db->exec("INSERT INTO tblFilter VALUES (10, 2, 0, 'たろう', 'taro@example.jp')");
            RebuildNameList(*db);
            RebuildAddressList(*db);
            test::MarkDerivedDataMade(*db); // filter results made by hand in the tests
        }
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
    }
    template <typename T> T* Find(const char* name) const { return window->findChild<T*>(name); }
    QListView* Keys() const { return Find<QListView>("lstNameOrAddr"); }
    QListView* Subjects() const { return Find<QListView>("lstSubject"); }
    QString Label() const { return Find<QLabel>("lblNameOrAddr")->text(); }
    std::string Ini() const { return test::ReadFile(dir / "config" / "KAMOMAIL.ini"); }

    test::TempDir dir;
    Settings settings;
    AppFolders folders;
    ScriptedPrompter prompter;
    std::unique_ptr<ArchiveSession> session; // outlives the window
    std::unique_ptr<frmKamoMail> window;
};

const std::string kIni = "[PostPet Mail Option]\nPostPet Dir=/tmp\nMy Mail Addr=kamo@example.jp\n"
                         "Display Type=0\n[Form Position]\nForm Top    Position=1500\nForm Left   Position=1500\n"
                         "Form Width  Position=11745\nForm Height Position=7404\n";

} // namespace

class frmKamoMailTest : public QObject {
    Q_OBJECT
private slots:
    void everyControlAndMenuItemIsThereAndEveryCommandIsOn();
    void fourClicksOnTheModeLabelReturnToTheFirstModeRefillingEachTime();
    void aDisplayTypeOutsideZeroToTwoShowsTheFilterMode();
    void choosingAKeyListsItsMailAndMovingTheSelectionShowsEachMail();
    void theFilterModeListsAFiltersMail();
    void anEmptyArchiveGivesEmptyListsAndNoError();
    void whatAStoppedCommandLeftOwedIsMadeAtLoad();
    void aLongListShowsItsFirstLinesAtOnceAndTakesInTheRest();
    void controlsAreEnabledAgainAfterAFailingCommand();
    void theWaitWindowShowsLinesAndProgressWhileTheControlsAreLocked();
    void unloadWritesTheSettingsOnceAndDeletesTheTemporaryFiles();
    void aMinimizedWindowKeepsTheStoredGeometry();
    void aBlankPostPetFolderOpensTheOptionDialogAtLoad();
    void theOptionDialogWritesOnOkAndChangesNothingOnCancel();
    void replyVersionHelpAndClock();
    void listsAndMailFollowTheWindowSize();
    void ctrlEndShowsTheLastLineWholeAtEveryHeight();
    void aFileThatIsNoFriendFileIsRefusedAndADamagedRecordNamed();
};

void frmKamoMailTest::everyControlAndMenuItemIsThereAndEveryCommandIsOn() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    for (const char* name : {"lblNameOrAddr", "lblHead", "lblRecCount", "lblDate"})
        QVERIFY2(f.Find<QLabel>(name), name);
    QVERIFY(f.Keys() && f.Subjects() && f.Find<QPlainTextEdit>("txtMail") && f.Find<QTimer>("Timer1"));
    for (const char* name : {"comMailRead", "comMailDel", "cmdAddrDel", "comSendMail", "comEnd"})
        QVERIFY2(f.Find<QPushButton>(name), name);
    QCOMPARE(f.Find<QPushButton>("comMailRead")->text(), QString("PostPet Mail Read"));
    QVERIFY(f.Find<QPushButton>("comMailRead")->toolTip().startsWith(Q("PostPetからメールを読み込みます")));
    QVERIFY(f.Find<QPlainTextEdit>("txtMail")->isReadOnly());
    QVERIFY(f.Keys()->uniformItemSizes() && f.Subjects()->uniformItemSizes());

    for (const char* name : kMemNames) {
        auto* action = f.Find<QAction>(name);
        QVERIFY2(action, name);
        QVERIFY2(!action->text().isEmpty(), name);
    }
    // Each menu as it was laid out by hand, "|" a separator: the command table places every entry so.
    const std::pair<const char*, const char*> layouts[] = {
        {"memFileMenu", "memDBSupport memBackUp memMailRead | memMailExport memPrint memPdfExport | memEnd"},
        {"memDBSupportMenu", "memExport memInport | memDBEdit"},
        {"memBackUpMenu", "memBackUp_Make | memBackUp_FileEdit memBackUp_FileSelect memNomalDisp"},
        {"mnuEdit", "memUndo | memCopy memSelectAll | memSearch | memReply memMailDel"},
        {"mnuView", "memNameOrAddr memYears memOriginalHeader memConversation | memTrash"},
        {"mnuFriend", "memFriendEd memAddressAdd | memFriend_F memFriend_A memFriend_P memFriend_M"},
        {"mnuFilter", "memFilter memFilterGo"},
        {"memEnvMenu", "memOption"},
        {"memHelpMenu", "memHelp_Top | memVar"},
    };
    for (const auto& [menuName, layout] : layouts) {
        auto* menu = f.Find<QMenu>(menuName);
        QVERIFY2(menu, menuName);
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << (action->isSeparator() ? QString("|") : action->objectName());
        QCOMPARE(entries.join(' '), QString(layout));
    }
    QCOMPARE(f.window->menuBar()->actions().size(), 7);
    // The keys, as they were given by hand.
    const std::pair<const char*, QKeySequence> keys[] = {
        {"memEnd", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"memCopy", QKeySequence(QKeySequence::Copy)},
        {"memSelectAll", QKeySequence(QKeySequence::SelectAll)},
        {"memSearch", QKeySequence(QKeySequence::Find)},
        {"memReply", QKeySequence(Qt::CTRL | Qt::Key_R)},
        {"memMailDel", QKeySequence(QKeySequence::Delete)},
        {"memUndo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {"memNameOrAddr", QKeySequence(Qt::Key_F5)},
        {"memYears", QKeySequence(Qt::Key_F6)},
        {"memHelp_Top", QKeySequence(QKeySequence::HelpContents)},
        {"memPrint", QKeySequence(QKeySequence::Print)},
        {"memMailRead", QKeySequence(Qt::Key_F9)},
    };
    for (const auto& [name, key] : keys)
        QVERIFY2(f.Find<QAction>(name)->shortcut() == key, name);
    QVERIFY(f.Find<QAction>("memYears")->isCheckable());
    QCOMPARE(f.Find<QAction>("memEnd")->text(), Q("終了(&X)"));
    QCOMPARE(f.Find<QAction>("memMailExport")->text(), Q("メールを書き出す(&M)..."));
    // Grouped under their parents in the menu bar.
    QCOMPARE(f.Find<QAction>("memExport")->associatedObjects().size() > 0, true);
    QVERIFY(f.Find<QMenu>("memDBSupportMenu")->actions().contains(f.Find<QAction>("memExport")));
    QVERIFY(f.Find<QMenu>("memBackUpMenu")->actions().contains(f.Find<QAction>("memNomalDisp")));
    QVERIFY(f.Find<QMenu>("memHelpMenu")->actions().contains(f.Find<QAction>("memVar")));
    QVERIFY(f.window->menuBar()->actions().contains(f.Find<QAction>("memFile")));

    // Every command is there to be used; only the way back from a backup waits for a backup.
    for (const char* name : kMemNames) {
        if (std::string(name) != "memNomalDisp")
            QVERIFY2(f.Find<QAction>(name)->isEnabled(), name);
    }
    QVERIFY(!f.Find<QAction>("memNomalDisp")->isEnabled());
    for (const char* name : {"comMailRead", "comMailDel", "cmdAddrDel", "comSendMail", "comEnd"})
        QVERIFY2(f.Find<QPushButton>(name)->isEnabled(), name);
    QCOMPARE(f.Find<QPushButton>("comMailRead")->toolTip(), Q("PostPetからメールを読み込みます"));
    f.window->LockControls();
    QVERIFY(!f.Find<QPushButton>("comMailRead")->isEnabled());
    QVERIFY(!f.Find<QAction>("memExport")->isEnabled());
    f.window->UnlockControls();
    QVERIFY(f.Find<QPushButton>("comMailRead")->isEnabled());
    QVERIFY(f.Find<QAction>("memExport")->isEnabled());
    QVERIFY(!f.Find<QAction>("memNomalDisp")->isEnabled());
}

// A mail stored by a command stopped before its refresh: its address is not in the look-up yet, and
// the window's load makes what is owed before the lists are used.
void frmKamoMailTest::whatAStoppedCommandLeftOwedIsMadeAtLoad() {
    Fixture f(kIni);
    test::InsertTestMail(f.session->Database(),
                         Mail("2002/04/01", "09:00:00", false, "次郎", "jiro@example.jp", "はじめまして", "本文"));
    QVERIFY(f.window->Load());
    QCOMPARE(f.Keys()->model()->rowCount(), 4);
    QVERIFY(OwedRebuilds(f.session->Database()).empty());
    QVERIFY(f.prompter.shown.empty());
}

void frmKamoMailTest::fourClicksOnTheModeLabelReturnToTheFirstModeRefillingEachTime() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    f.window->show();
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    auto* label = f.Find<QLabel>("lblNameOrAddr");
    auto* del = f.Find<QPushButton>("cmdAddrDel");
    QCOMPARE(f.Label(), Q("アドレス　表示"));
    QCOMPARE(f.Keys()->model()->rowCount(), 3);

    struct Expect {
        const char* label;
        const char* caption;
        const char* tip;
        int rows;
        const char* first;
    };
    const Expect steps[] = {
        {"送受信者名　表示", "名前　削除", "選択されている名前のメールを削除します", 3, nullptr},
        {"日付　表示", "日付　削除", "選択されている日付のメールを削除します", 2, "2002/03/01"},
        {"フィルター　表示", "フィルター　削除", "選択されている抽出条件のメールを削除します", 1, "たろう"},
        {"アドレス　表示", "アドレス　削除", "選択されているアドレスを削除します", 3, "hana@example.jp"},
    };
    for (const Expect& e : steps) {
        // Leave a key chosen and a mail shown: the switch must clear them.
        f.window->ChooseKey(0);
        f.window->ChooseSubject(0);
        if (f.Subjects()->model()->rowCount() > 0)
            QVERIFY(!f.Find<QPlainTextEdit>("txtMail")->toPlainText().isEmpty());
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(f.Label(), Q(e.label));
        QCOMPARE(del->text(), Q(e.caption));
        QVERIFY(del->toolTip().startsWith(Q(e.tip)));
        QCOMPARE(f.Keys()->model()->rowCount(), e.rows);
        if (e.first)
            QCOMPARE(f.Keys()->model()->index(0, 0).data().toString(), Q(e.first));
        // The key list has the focus; no key is chosen until the user moves in it.
        QVERIFY(f.Keys()->hasFocus());
        QCOMPARE(f.Subjects()->model()->rowCount(), 0);
        QVERIFY(f.Find<QPlainTextEdit>("txtMail")->toPlainText().isEmpty());
        QVERIFY(f.Find<QLabel>("lblHead")->text().isEmpty());
        QVERIFY(f.Find<QPushButton>("comEnd")->isEnabled());
    }
    QCOMPARE(f.session->AppSettings().displayType, int16_t(0));
    // The menu item (F5) advances the same way and leaves the focus in the key list.
    f.Find<QAction>("memNameOrAddr")->trigger();
    QCOMPARE(f.Label(), Q("送受信者名　表示"));
    QVERIFY(f.Keys()->hasFocus());
    QVERIFY(f.prompter.shown.empty());
    // From the keyboard too: the label takes the focus with Tab and switches with Space.
    QVERIFY(f.Find<QLabel>("lblNameOrAddr")->focusPolicy() & Qt::TabFocus);
    const QString before = f.Label();
    QTest::keyClick(f.Find<QLabel>("lblNameOrAddr"), Qt::Key_Space);
    QVERIFY(f.Label() != before);
    QVERIFY(f.Keys()->hasFocus());
    // Moving down in the list chooses the first key and lists its mail.
    QTest::keyClick(f.Keys(), Qt::Key_Down);
    QTRY_VERIFY(f.Subjects()->model()->rowCount() > 0);
    // Typing jumps to the first key that starts with what was typed (the date view here).
    QCOMPARE(f.Label(), Q("日付　表示"));
    QTest::keyClicks(f.Keys(), "2001");
    QCOMPARE(f.Keys()->currentIndex().data().toString(), Q("2001/12/24"));
    QCOMPARE(f.Subjects()->model()->rowCount(), 1);
}

void frmKamoMailTest::aDisplayTypeOutsideZeroToTwoShowsTheFilterMode() {
    std::string ini = kIni;
    ini.replace(ini.find("Display Type=0"), 14, "Display Type=7");
    Fixture f(ini);
    QVERIFY(f.window->Load());
    QCOMPARE(f.session->AppSettings().displayType, int16_t(7));
    QCOMPARE(f.Label(), Q("フィルター　表示"));
    QCOMPARE(f.Find<QPushButton>("cmdAddrDel")->text(), Q("フィルター　削除"));
    QCOMPARE(f.Keys()->model()->rowCount(), 1);
    f.window->AdvanceViewMode();
    QCOMPARE(f.Label(), Q("アドレス　表示"));
}

void frmKamoMailTest::choosingAKeyListsItsMailAndMovingTheSelectionShowsEachMail() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    // Address list: hana, kamo, taro. Click taro.
    QRect rect = f.Keys()->visualRect(f.Keys()->model()->index(2, 0));
    QTest::mouseClick(f.Keys()->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(f.Subjects()->model()->rowCount(), 2);
    QCOMPARE(f.Find<QLabel>("lblRecCount")->text(), Q("表示件数　：　2 件"));
    QString first = f.Subjects()->model()->index(0, 0).data().toString();
    QVERIFY2(first.startsWith(Q("2002/03/01 08:00:00 　送　受取人：太郎 ")), qPrintable(first));
    QString second = f.Subjects()->model()->index(1, 0).data().toString();
    QVERIFY2(second.startsWith(Q("2002/03/01 09:00:00 受　　差出人：太郎 ")), qPrintable(second));

    // Keyboard: focus the list and move down twice.
    f.Subjects()->setFocus();
    f.Subjects()->setCurrentIndex(f.Subjects()->model()->index(0, 0));
    QCOMPARE(f.Find<QPlainTextEdit>("txtMail")->toPlainText(), Q("本文"));
    QTest::keyClick(f.Subjects(), Qt::Key_Down);
    QCOMPARE(f.Subjects()->currentIndex().row(), 1);
    QCOMPARE(f.Find<QPlainTextEdit>("txtMail")->toPlainText(), Q("おはよう。\n> 昨日の件\nまたね"));
    QString head = f.Find<QLabel>("lblHead")->text();
    QVERIFY2(head.contains(Q("送信者：太郎 <taro@example.jp>")), qPrintable(head));
    QVERIFY(head.contains(Q("件　名：おはよう")));
    QVERIFY(head.contains(Q("受信者：かも <kamo@example.jp>")));
    QVERIFY(f.window->CurrentMail().has_value());
    QVERIFY(f.prompter.shown.empty());
}

void frmKamoMailTest::theFilterModeListsAFiltersMail() {
    Fixture f(kIni);
    f.session->Database().exec("INSERT INTO tblFilterData VALUES (1, 10, '2002/03/01', '09:00:00', 0, '太郎',"
                               " 'taro@example.jp', 'かも', 'kamo@example.jp', 0, 'おはよう')");
    f.session->AppSettings().displayType = 3;
    QVERIFY(f.window->Load());
    f.session->AppSettings().displayType = 3;
    f.window->ShowViewMode();
    f.window->ChooseKey(0);
    QCOMPARE(f.Subjects()->model()->rowCount(), 1);
    f.window->ChooseSubject(0);
    QVERIFY(f.Find<QPlainTextEdit>("txtMail")->toPlainText().startsWith(Q("おはよう。")));
}

void frmKamoMailTest::anEmptyArchiveGivesEmptyListsAndNoError() {
    Fixture f(kIni, false);
    QVERIFY(f.window->Load());
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(f.Keys()->model()->rowCount(), 0);
        f.window->ChooseKey(0);
        QCOMPARE(f.Subjects()->model()->rowCount(), 0);
        f.window->AdvanceViewMode();
    }
    QVERIFY(f.prompter.shown.empty());
}

void frmKamoMailTest::aLongListShowsItsFirstLinesAtOnceAndTakesInTheRest() {
    Fixture f(kIni);
    const int kMany = 20000;
    {
        SQLite::Transaction tx(f.session->Database());
        for (int i = 0; i < kMany; ++i) {
            char hms[16];
            std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", i / 3600 % 24, i / 60 % 60, i % 60);
            test::InsertTestMail(f.session->Database(), Mail(i < 86400 ? "2005/05/05" : "2005/05/06", hms, i % 2 == 0,
                                                             "次郎", "jiro@example.jp", "たくさん", "本文"));
        }
        RebuildAddressList(f.session->Database());
        tx.commit();
    }
    QVERIFY(f.window->Load());
    f.window->show();
    QCOMPARE(f.Keys()->model()->index(1, 0).data().toString(), QString("jiro@example.jp"));
    f.window->ChooseKey(1);
    QVERIFY(f.Subjects()->model()->rowCount() > 0);
    QVERIFY(f.Subjects()->model()->rowCount() < kMany);
    QVERIFY(f.Subjects()->model()->index(0, 0).data().toString().startsWith(Q("2005/05/05 00:00:00 ")));
    QTRY_COMPARE(f.Subjects()->model()->rowCount(), kMany);
    QCOMPARE(f.Find<QLabel>("lblRecCount")->text(), Q("表示件数　：　20,000 件"));
    QVERIFY(f.Subjects()->model()->index(kMany - 1, 0).data().toString().startsWith(Q("2005/05/05 05:33:19 ")));

    // A command's lock reads the rest at once: nothing may be reading while it changes the archive.
    f.window->ChooseKey(1);
    QVERIFY(f.Subjects()->model()->rowCount() < kMany);
    f.window->LockControls();
    QCOMPARE(f.Subjects()->model()->rowCount(), kMany);
    f.window->UnlockControls();
    // Switching mode while lines come in drops them.
    f.window->ChooseKey(1);
    f.window->AdvanceViewMode();
    QCOMPARE(f.Subjects()->model()->rowCount(), 0);
    QTest::qWait(50);
    QCOMPARE(f.Subjects()->model()->rowCount(), 0);
    QVERIFY(f.prompter.shown.empty());
}

void frmKamoMailTest::controlsAreEnabledAgainAfterAFailingCommand() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    f.session->Database().exec("DROP TABLE tblSearch_Name");
    f.window->AdvanceViewMode(); // the name list cannot be read
    QCOMPARE(f.prompter.shown.size(), size_t(1));
    QVERIFY(f.prompter.shown[0].text.find("エラー") != std::string::npos);
    QVERIFY(!f.window->ControlsLocked());
    for (const char* name : {"lstNameOrAddr", "lstSubject", "lblNameOrAddr"})
        QVERIFY2(f.Find<QWidget>(name)->isEnabled(), name);
    QVERIFY(f.Find<QPushButton>("comEnd")->isEnabled());
    QVERIFY(f.Find<QAction>("memNameOrAddr")->isEnabled());
    QVERIFY(!f.Find<QAction>("memNomalDisp")->isEnabled()); // blocked stays off

    // Long work that throws under the wait window.
    try {
        WaitScope busy(f.window->Wait());
        QVERIFY(f.window->ControlsLocked());
        QVERIFY(!f.Find<QPushButton>("comEnd")->isEnabled());
        throw std::runtime_error("disk full");
    } catch (const std::runtime_error&) {
    }
    QVERIFY(!f.window->ControlsLocked());
    QVERIFY(f.Find<QPushButton>("comEnd")->isEnabled());
    QVERIFY(!f.window->WaitWindow().isVisible());

    // Work that may stop offers 中止 until it ends.
    {
        WaitScope busy(f.window->Wait());
        f.window->Wait().OfferCancel();
        auto* cancel = f.window->WaitWindow().findChild<QPushButton*>("cmdCancel");
        QVERIFY(cancel && cancel->isVisible());
        QVERIFY(!f.window->Wait().CancelRequested());
        cancel->click();
        QVERIFY(f.window->Wait().CancelRequested());
    }
    QVERIFY(!f.window->WaitWindow().findChild<QPushButton*>("cmdCancel")->isVisibleTo(&f.window->WaitWindow()));
}

void frmKamoMailTest::theWaitWindowShowsLinesAndProgressWhileTheControlsAreLocked() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    {
        WaitScope outer(f.window->Wait());
        WaitReporter& wait = outer.Wait();
        wait.SetLines({"ＰｏｓｔＰｅｔ の ", "　Ｍａｉｌを読み込んでいます。", "　少々お待ちください。", "", "", ""});
        wait.SetProgress(25, 100);
        auto& window = f.window->WaitWindow();
        QVERIFY(window.isVisible());
        QCOMPARE(window.LineText(1), Q("　Ｍａｉｌを読み込んでいます。"));
        QCOMPARE(window.findChild<QProgressBar*>("prgWait")->value(), 25);
        {
            WaitScope inner(f.window->Wait()); // nested work keeps the window up
        }
        QVERIFY(window.isVisible());
        QVERIFY(f.window->ControlsLocked());
        // The close box waits for the work.
        QVERIFY(!f.window->close());
        for (int i = 0; i < 1000; ++i)
            wait.Pump();
    }
    QVERIFY(!f.window->WaitWindow().isVisible());
    QVERIFY(!f.window->ControlsLocked());
}

void frmKamoMailTest::unloadWritesTheSettingsOnceAndDeletesTheTemporaryFiles() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    f.window->show();
    test::WriteFile(f.folders.dataDir / "KamoMail.Tmp", "x");
    test::WriteFile(f.folders.dataDir / "other.TMP", "x");
    test::WriteFile(f.folders.dataDir / "keep.txt", "x");
    f.window->AdvanceViewMode();
    QVERIFY(f.window->close());
    std::string ini = f.Ini();
    QVERIFY2(ini.find("Display Type=1") != std::string::npos, ini.c_str());
    // Never moved or resized: the twips that were read go back unchanged.
    QVERIFY(ini.find("Form Width  Position=11745") != std::string::npos);
    QVERIFY(ini.find("Form Height Position=7404") != std::string::npos);
    QVERIFY(ini.find("Form Top    Position=1500") != std::string::npos);
    QVERIFY(!std::filesystem::exists(f.folders.dataDir / "KamoMail.Tmp"));
    QVERIFY(std::filesystem::exists(f.folders.dataDir / "other.TMP")); // the user's own file
    QVERIFY(std::filesystem::exists(f.folders.dataDir / "keep.txt"));
    QCOMPARE(f.window->Flags().ending, int16_t(1));

    // A second close does not write again.
    test::WriteFile(f.dir / "config" / "KAMOMAIL.ini", "[Mine]\nx=1\n");
    f.window->show();
    QVERIFY(f.window->close());
    QCOMPARE(f.Ini(), std::string("[Mine]\nx=1\n"));
}

void frmKamoMailTest::aMinimizedWindowKeepsTheStoredGeometry() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    f.window->show();
    f.window->resize(900, 650);
    f.window->setWindowState(Qt::WindowMinimized);
    QVERIFY(f.window->close());
    std::string ini = f.Ini();
    QVERIFY2(ini.find("Form Width  Position=11745") != std::string::npos, ini.c_str());

    // Resized and not minimized: the new size is stored.
    Fixture g(kIni);
    QVERIFY(g.window->Load());
    g.window->show();
    g.window->resize(900, 650);
    QVERIFY(g.window->close());
    ini = g.Ini();
    QVERIFY2(ini.find("Form Width  Position=13500") != std::string::npos, ini.c_str());
    QVERIFY(ini.find("Form Height Position=9750") != std::string::npos);
}

void frmKamoMailTest::aBlankPostPetFolderOpensTheOptionDialogAtLoad() {
    std::string ini = kIni;
    ini.replace(ini.find("=/tmp") + 1, 4, "　");
    Fixture f(ini);
    const std::string postPet = (f.dir / "PostPet").string();
    ppw::WriteSampleFolder(f.dir / "PostPet");
    int opened = 0;
    f.window->SetOptionDialogRunner([&](frmOption& dialog) {
        ++opened;
        dialog.findChild<QLineEdit*>("txtPostPetDir")->setText(Q(postPet.c_str()));
        dialog.accept();
        return static_cast<int>(dialog.result());
    });
    QVERIFY(f.window->Load());
    QCOMPARE(opened, 1);
    f.window->show();
    QTest::qWait(0);
    // Then, on screen, the folder's friend file is offered (the scripted No leaves the book empty).
    QCOMPARE(f.prompter.shown.size(), size_t(2));
    QCOMPARE(f.prompter.shown[0].text, std::string("あなたのＰＣの環境を設定してください。"));
    QVERIFY(f.prompter.shown[1].question);
    QVERIFY(f.prompter.shown[1].text.starts_with("PostPet のおともだちファイルが見つかりました。"));
    QCOMPARE(f.session->AppSettings().postPetDir, postPet);
    QVERIFY(f.Ini().find("PostPet Dir=" + postPet) != std::string::npos);
    QCOMPARE(f.Keys()->model()->rowCount(), 3); // and the view is filled after it
}

void frmKamoMailTest::theOptionDialogWritesOnOkAndChangesNothingOnCancel() {
    Fixture f(kIni);
    const std::string postPet = (f.dir / "PostPet").string();
    ppw::WriteSampleFolder(f.dir / "PostPet");
    QVERIFY(f.window->Load());
    const std::string before = f.Ini();

    f.window->SetOptionDialogRunner([](frmOption& dialog) {
        dialog.findChild<QLineEdit*>("txtMyPetName")->setText(Q("モモ"));
        dialog.reject();
        return static_cast<int>(dialog.result());
    });
    f.Find<QAction>("memOption")->trigger();
    QCOMPARE(f.session->AppSettings().myPetName, std::string());
    QCOMPARE(f.Ini(), before);

    bool addressImOff = false, nameImOn = false;
    f.window->SetOptionDialogRunner([&](frmOption& dialog) {
        auto* address = dialog.findChild<QLineEdit*>("txtMyMailAddr");
        addressImOff = !address->testAttribute(Qt::WA_InputMethodEnabled);
        nameImOn = dialog.findChild<QLineEdit*>("txtMyPetName")->testAttribute(Qt::WA_InputMethodEnabled);
        dialog.findChild<QLineEdit*>("txtMyPetName")->setText(Q("モモ"));
        dialog.findChild<QLineEdit*>("txtMyMailHandle")->setText(Q("かも"));
        address->setText("kamo2@example.jp");
        dialog.SetFontChooser([](const QFont&) {
            QFont font("IPAGothic", 12);
            font.setBold(true);
            return std::optional<QFont>(font);
        });
        QTest::mouseClick(dialog.findChild<QPushButton*>("cmdFont"), Qt::LeftButton);
        // A blank folder is refused: the next start could not read it back.
        dialog.findChild<QLineEdit*>("txtPostPetDir")->setText("  ");
        dialog.accept();
        if (dialog.result() == QDialog::Accepted)
            return static_cast<int>(QDialog::Accepted);
        // So is a folder that is not there, and one without a mailbox, each saying which.
        for (const std::string& refused : {f.dir.path().string() + "/nowhere", f.dir.path().string()}) {
            dialog.findChild<QLineEdit*>("txtPostPetDir")->setText(Q(refused.c_str()));
            dialog.accept();
            if (dialog.result() == QDialog::Accepted)
                return static_cast<int>(QDialog::Accepted);
        }
        dialog.findChild<QLineEdit*>("txtPostPetDir")->setText(Q(postPet.c_str()));
        dialog.accept();
        return static_cast<int>(dialog.result());
    });
    f.Find<QAction>("memOption")->trigger();
    QVERIFY(addressImOff && nameImOn);
    QCOMPARE(f.prompter.shown.size(), size_t(3)); // the blank, missing and empty folder refusals
    QVERIFY(f.prompter.shown[1].text.find("フォルダが見つかりません") != std::string::npos);
    QVERIFY(f.prompter.shown[2].text.find("メールボックスがありません") != std::string::npos);
    QCOMPARE(f.session->AppSettings().postPetDir, postPet);
    std::string ini = f.Ini();
    QVERIFY2(ini.find("My Pet Name=モモ") != std::string::npos, ini.c_str());
    QVERIFY(ini.find("My Mail Addr=kamo2@example.jp") != std::string::npos);
    QVERIFY(ini.find("Mail Text Font Size=12") != std::string::npos);
    QVERIFY(ini.find("Mail Text Font Style=1,0") != std::string::npos);
    QFont mailFont = f.Find<QPlainTextEdit>("txtMail")->font();
    QVERIFY(mailFont.bold());
    QCOMPARE(mailFont.pointSize(), 12);
}

void frmKamoMailTest::replyVersionHelpAndClock() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    QList<QUrl> opened;
    f.window->SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    f.Find<QPushButton>("comSendMail")->click();
    QCOMPARE(opened.size(), 0);
    QCOMPARE(f.prompter.shown.size(), size_t(1)); // nothing chosen yet

    f.window->ChooseKey(2);     // taro
    f.window->ChooseSubject(1); // received from taro
    f.Find<QPushButton>("comSendMail")->click();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0].scheme(), QString("mailto"));
    QCOMPARE(opened[0].path(), QString("taro@example.jp"));
    QCOMPARE(opened[0].query(QUrl::FullyDecoded), Q("subject=Re: おはよう"));

    f.Find<QAction>("memVar")->trigger();
    QVERIFY(f.prompter.shown.back().text.find("Version 4.0.0") != std::string::npos);
    QVERIFY(f.prompter.shown.back().text.find("データフォルダ: " + (f.dir / "data").string()) != std::string::npos);
    QVERIFY(f.prompter.shown.back().text.find(std::string("SQLite ") + sqlite3_libversion()) != std::string::npos);

    // Help: a missing page is reported; an existing one opens in a help window.
    f.Find<QAction>("memHelp_Top")->trigger();
    QVERIFY(f.prompter.shown.back().text.find("ヘルプ") != std::string::npos);
    test::WriteFile(f.folders.helpPath, "<html><body><h1>KamoMail</h1></body></html>");
    f.Find<QAction>("memHelp_Top")->trigger();
    auto* help = f.window->findChild<QWidget*>("frmHelp");
    QVERIFY(help && help->isVisible());
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        help->show();
        help->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keySequence(help, key);
        QVERIFY2(!help->isVisible(), qPrintable(key.toString()));
    }

    // The header can be selected and copied; the delete button keeps its width in every mode.
    QVERIFY(f.Find<QLabel>("lblHead")->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    const int width = f.Find<QPushButton>("cmdAddrDel")->width();
    for (int i = 0; i < 4; ++i) {
        f.window->AdvanceViewMode();
        QCOMPARE(f.Find<QPushButton>("cmdAddrDel")->width(), width);
    }

    QRegularExpression clock("^\\d{4}/\\d{2}/\\d{2}  \\d{2}:\\d{2}:\\d{2}$");
    QVERIFY(clock.match(f.Find<QLabel>("lblDate")->text()).hasMatch());
    QCOMPARE(f.Find<QTimer>("Timer1")->interval(), 1000);
    QVERIFY(f.Find<QTimer>("Timer1")->isActive());
}

void frmKamoMailTest::listsAndMailFollowTheWindowSize() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto sizes = [&] {
        return std::array<QSize, 3>{f.Keys()->size(), f.Subjects()->size(), f.Find<QPlainTextEdit>("txtMail")->size()};
    };
    auto before = sizes();
    f.window->resize(f.window->width() + 300, f.window->height() + 200);
    QTRY_VERIFY(sizes()[1].width() > before[1].width());
    auto after = sizes();
    QVERIFY(after[0].height() > before[0].height());
    QVERIFY(after[1].height() > before[1].height());
    QVERIFY(after[2].width() > before[2].width());
    QVERIFY(after[2].height() > before[2].height());
    // The buttons stay inside the window.
    auto* end = f.Find<QPushButton>("comEnd");
    QVERIFY(end->mapTo(f.window.get(), QPoint(end->width(), end->height())).x() <= f.window->width());

    // The folder chooser fills the PostPet folder box.
    const std::string chosen = (f.dir / "old-disk" / "PostPet").string();
    ppw::WriteSampleFolder(chosen);
    f.window->SetOptionDialogRunner([&](frmOption& dialog) {
        dialog.SetFolderChooser([&](const QString&) { return std::optional<QString>(Q(chosen.c_str())); });
        QTest::mouseClick(dialog.findChild<QPushButton*>("cmdFolder"), Qt::LeftButton);
        dialog.accept();
        return static_cast<int>(dialog.result());
    });
    QVERIFY(f.window->RunOptionDialog());
    QCOMPARE(f.session->AppSettings().postPetDir, chosen);
}

void frmKamoMailTest::ctrlEndShowsTheLastLineWholeAtEveryHeight() {
    Fixture f(kIni);
    std::string body;
    for (int i = 1; i <= 300; ++i)
        body += "行 " + std::to_string(i) + "\r\n";
    body += "最後の行";
    test::InsertTestMail(f.session->Database(),
                         Mail("2003/01/01", "10:00:00", false, "太郎", "taro@example.jp", "長いメール", body));
    QVERIFY(f.window->Load());
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto* txt = f.Find<QPlainTextEdit>("txtMail");
    bool shown = false;
    for (int k = 0; k < f.Keys()->model()->rowCount() && !shown; ++k) {
        f.window->ChooseKey(k);
        for (int s = 0; s < f.Subjects()->model()->rowCount() && !shown; ++s)
            if (f.Subjects()->model()->index(s, 0).data().toString().contains(Q("長いメール"))) {
                f.window->ChooseSubject(s);
                shown = true;
            }
    }
    QVERIFY(shown);
    QVERIFY(txt->toPlainText().endsWith(Q("最後の行")));
    // Whether a line is cut at the bottom depends on the height left over after whole lines: try
    // every remainder of one line's height.
    const int lineHeight = txt->fontMetrics().lineSpacing();
    const int baseHeight = f.window->height();
    for (int extra = 0; extra <= lineHeight; ++extra) {
        f.window->resize(f.window->width(), baseHeight + extra);
        QTRY_COMPARE(f.window->height(), baseHeight + extra);
        QTest::keyClick(txt, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(txt->verticalScrollBar()->value(), 0);
        QTest::keyClick(txt, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(txt->textCursor().atEnd());
        const QRect last = txt->cursorRect();
        QVERIFY2(last.top() >= 0 && last.bottom() < txt->viewport()->height(),
                 qPrintable(QString("height %1: last line %2..%3 in a view of %4")
                                .arg(f.window->height())
                                .arg(last.top())
                                .arg(last.bottom())
                                .arg(txt->viewport()->height())));
    }
    // The keyboard cursor does not make the text keep Tab: it still moves the focus on.
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    txt->setFocus();
    QVERIFY(txt->hasFocus());
    QTest::keyClick(txt, Qt::Key_Tab);
    QVERIFY(!txt->hasFocus());
    QVERIFY(txt->toPlainText().endsWith(Q("最後の行"))); // and no key changes it
}

QTEST_MAIN(frmKamoMailTest)
// おともだちファイルを読み込む: a picture is refused with the one message and stores nothing; a damaged
// record is named in the summary, and the sound ones are stored.
void frmKamoMailTest::aFileThatIsNoFriendFileIsRefusedAndADamagedRecordNamed() {
    Fixture f(kIni);
    QVERIFY(f.window->Load());
    std::string chosen;
    f.window->SetFriendFileChooser([&](const QString&) { return std::optional<QString>(Q(chosen.c_str())); });
    chosen = (f.dir / "picture.png").string();
    test::WriteFile(chosen, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 29));
    const size_t before = f.prompter.shown.size();
    f.Find<QAction>("memFriend_F")->trigger();
    QCOMPARE(f.prompter.shown.size(), before + 1);
    QCOMPARE(f.prompter.shown.back().text, std::string("おともだちファイルではありません"));
    QCOMPARE(f.session->Database().execAndGet("SELECT COUNT(*) FROM tblFriend").getInt(), 0);

    ppw::Friend sound;
    sound.petKind = 1;
    sound.petName = "ポチ";
    sound.ownerName = "山田";
    sound.address = "yamada@example.jp";
    const std::string record = ppw::FriendFileBytes({sound});
    chosen = (f.dir / "Friend.dat").string();
    test::WriteFile(chosen, record + std::string(3, '\xff'));
    f.Find<QAction>("memFriend_F")->trigger();
    QVERIFY(f.prompter.shown.back().text.find("追加 1 件") != std::string::npos);
    QVERIFY(f.prompter.shown.back().text.find("2 件目（バイト位置 " + std::to_string(record.size()) + "、3 バイト）") !=
            std::string::npos);
    QCOMPARE(f.session->Database().execAndGet("SELECT COUNT(*) FROM tblFriend").getInt(), 1);
}

#include "frmKamoMail_test.moc"
