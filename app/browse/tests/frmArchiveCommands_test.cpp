// The main window's upkeep commands as a user works them: deleting mail, backups and the backup
// viewer, database recreation.
#include <QAction>
#include <QDialog>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "browse/frmBackupList.h"
#include "browse/frmKamoMail.h"
#include "browse/frmTrash.h"
#include "common/CommandTable.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "friends/FriendBook.h"
#include "import/PostPetFinder.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

MailRecord Mail(const char* ymd, const char* hms, const char* from, const char* subject) {
    return test::MailBuilder()
        .Date(ymd, hms)
        .With(from, std::string(from) + "@example.jp")
        .Subject(subject)
        .Body(subject)
        .Build();
}

struct Window {
    explicit Window(const std::string& postPetDir = "/tmp", bool load = true) {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        test::WriteFile(dir / "config" / "KAMOMAIL.ini",
                        "[PostPet Mail Option]\nPostPet Dir=" + postPetDir + "\nDisplay Type=2\n");
        AppFolders folders;
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        Settings settings;
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        for (const auto& m :
             {Mail("2002/03/01", "09:00:00", "taro", "一"), Mail("2002/03/01", "10:00:00", "taro", "二"),
              Mail("2002/03/01", "11:00:00", "hana", "三"), Mail("2002/02/01", "09:00:00", "hana", "四")})
            test::InsertTestMail(*db, m);
        RebuildNameList(*db);
        RebuildAddressList(*db);
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
        if (load && !window->Load())
            qFatal("load failed");
    }
    template <typename T> T* Find(const char* name) const { return window->findChild<T*>(name); }
    int Rows(const char* list) const { return Find<QListView>(list)->model()->rowCount(); }
    int64_t Mails() { return session->Archive().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(); }

    test::TempDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<ArchiveSession> session; // outlives the window
    std::unique_ptr<frmKamoMail> window;
};

} // namespace

class frmArchiveCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void aFirstRunOffersThePostPetFolderOfAWinePrefix() {
        // The first-run setting is a Windows path into a Wine prefix that is not there.
        Window w("C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0", false);
        const auto home = w.dir / "home";
        const auto postPet = home / ".wine" / "drive_c" / "Program Files (x86)" / "So-net" / "PostPet";
        ppw::WriteSampleFolder(postPet);
        std::vector<std::string> offered;
        w.window->SetPostPetSearch([&] { return PostPetSearchRoots(home, w.dir / "no-prefix", {}); },
                                   [&](const std::vector<FoundPostPet>& found) -> std::optional<size_t> {
                                       for (const auto& f : found)
                                           offered.push_back(f.dir.string());
                                       return 0;
                                   });
        QVERIFY(w.window->Load());
        w.window->show(); // the friend file is offered once the window is on screen
        QTest::qWait(0);
        QCOMPARE(offered, std::vector<std::string>{postPet.string()});
        QCOMPARE(w.session->AppSettings().postPetDir, postPet.string());
        QVERIFY(test::ReadFile(w.dir / "config" / "KAMOMAIL.ini").find("PostPet Dir=" + postPet.string()) !=
                std::string::npos);
        QCOMPARE(w.session->AppSettings().recievReadOptions[0], int16_t(1)); // the inbox holds mail
        // The one question: the friend file found beside the mailboxes.
        QCOMPARE(w.prompter.shown.size(), size_t(1));
        QVERIFY(w.prompter.shown[0].text.find("PostPet のおともだちファイルが見つかりました。") == 0);
    }

    void deletingTheChosenMailKeepsTheUsersPlace() {
        Window w;
        QCOMPARE(w.Rows("lstNameOrAddr"), 2); // newest date first
        w.window->ChooseKey(0);
        QCOMPARE(w.Rows("lstSubject"), 3);
        w.window->ChooseSubject(1);
        QCOMPARE(w.window->CurrentMail()->subject, std::string("二"));
        w.prompter.QueueAnswer(true);
        w.Find<QPushButton>("comMailDel")->click();
        QCOMPARE(w.Mails(), int64_t(3));
        QCOMPARE(w.Find<QListView>("lstNameOrAddr")->currentIndex().row(), 0);
        QCOMPARE(w.Rows("lstSubject"), 2);
        QVERIFY(w.window->CurrentMail());
        QCOMPARE(w.window->CurrentMail()->subject, std::string("三")); // the mail that took its row

        // The date's button deletes the whole day, after saying how many mails go.
        w.prompter.QueueAnswer(true);
        w.Find<QPushButton>("cmdAddrDel")->click();
        QVERIFY(w.prompter.shown.back().question);
        QVERIFY(w.prompter.shown.back().text.find("2002/03/01 のメール 2 件を削除します。") == 0);
        QCOMPARE(w.Mails(), int64_t(1));
        QCOMPARE(w.Rows("lstNameOrAddr"), 1);
    }

    void theTrashColumnsKeepTheWidthsTheUserDragged() {
        Window w;
        w.prompter.QueueAnswer(true);
        w.Find<QPushButton>("cmdAddrDel")->click(); // the newest day to the trash
        std::vector<int> widths;
        bool interactive = false;
        const auto open = [&](const std::function<void(QHeaderView&)>& use) {
            TrashRun() = [&](frmTrash& trash) {
                QHeaderView& header = *trash.lstTrash->header();
                interactive = header.sectionResizeMode(2) == QHeaderView::Interactive;
                widths.clear();
                for (int column = 0; column < header.count(); ++column)
                    widths.push_back(header.sectionSize(column));
                use(header);
                return 0;
            };
            w.Find<QAction>("memTrash")->trigger();
        };
        // Widths fitted to the contents are not stored; a dragged edge keeps every width.
        open([](QHeaderView&) {});
        QVERIFY(interactive);
        QVERIFY(w.session->AppSettings().trashColumns.empty());
        open([](QHeaderView& header) { header.resizeSection(2, 222); });
        const std::string kept = w.session->AppSettings().trashColumns;
        QCOMPARE(std::count(kept.begin(), kept.end(), ','), 4);
        open([](QHeaderView&) {});
        QCOMPARE(widths[2], 222);
        // Written with the rest of the window layout.
        QVERIFY(w.window->close());
        QVERIFY(test::ReadFile(w.dir / "config" / "KAMOMAIL.ini").find("Trash Columns=" + kept) != std::string::npos);
    }

    void undoBringsTheDeletedMailBackChosenAndTheTrashWindowEmptiesForGood() {
        Window w;
        w.window->ChooseKey(0);
        w.window->ChooseSubject(1);
        w.prompter.QueueAnswer(true);
        w.Find<QPushButton>("comMailDel")->click();
        QVERIFY(w.prompter.shown.back().text.find("ゴミ箱") != std::string::npos);
        QCOMPARE(w.Mails(), int64_t(3));
        auto* undo = w.Find<QAction>("memUndo");
        QCOMPARE(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
        undo->trigger();
        QCOMPARE(w.Mails(), int64_t(4));
        QVERIFY(w.window->CurrentMail());
        QCOMPARE(w.window->CurrentMail()->subject, std::string("二"));
        undo->trigger(); // nothing left to undo: told, nothing changes
        QCOMPARE(w.prompter.shown.back().text, std::string("元に戻す削除がありません。"));
        QCOMPARE(w.Mails(), int64_t(4));

        // The day goes to the trash; the trash window lists it and empties it after its question.
        w.prompter.QueueAnswer(true);
        w.Find<QPushButton>("cmdAddrDel")->click();
        QCOMPARE(w.Mails(), int64_t(1));
        int listed = -1;
        TrashRun() = [&](frmTrash& trash) {
            listed = trash.lstTrash->topLevelItemCount();
            w.prompter.QueueAnswer(true);
            trash.cmdEmpty->click();
            return 0;
        };
        w.Find<QAction>("memTrash")->trigger();
        QCOMPARE(listed, 3);
        QVERIFY(w.prompter.shown.back().text.find("次の読み込みで再び保存されます") != std::string::npos);
        undo->trigger();
        QCOMPARE(w.Mails(), int64_t(1)); // emptied for good
    }

    void aBackupIsShownReadOnlyWithTheWritingCommandsOff() {
        Window w;
        w.Find<QAction>("memBackUp_Make")->trigger();
        const auto backups = ListBackups(w.session->Folders().dataDir);
        QCOMPARE(backups.size(), size_t(1));
        const std::string bytes = test::ReadFile(backups[0].path);
        test::InsertTestMail(w.session->Archive(), Mail("2003/01/01", "09:00:00", "jiro", "後から"));
        QVERIFY(!w.Find<QAction>("memNomalDisp")->isEnabled());

        w.window->SetBackupListRunner([](frmBackupList& list) {
            list.findChild<QTableWidget*>("grdBackup")->selectRow(0);
            list.findChild<QPushButton*>("cmdShow")->click();
            return list.result();
        });
        w.Find<QAction>("memBackUp_FileSelect")->trigger();
        QVERIFY(w.session->ViewingBackup());
        QVERIFY(w.window->windowTitle().contains(QString::fromUtf8("読み取り専用")));
        QCOMPARE(w.Rows("lstNameOrAddr"), 2); // the backup's dates, without the later mail
        for (const char* name : {"comMailRead", "comMailDel", "cmdAddrDel"})
            QVERIFY2(!w.Find<QPushButton>(name)->isEnabled(), name);
        for (const char* name : {"memInport", "memDBEdit", "memBackUp_Make", "memFilterGo", "memFilter", "memFriend_A"})
            QVERIFY2(!w.Find<QAction>(name)->isEnabled(), name);
        QVERIFY(w.Find<QAction>("memNomalDisp")->isEnabled());
        w.window->ChooseKey(0);
        w.window->ChooseSubject(0);
        QVERIFY(w.window->CurrentMail());
        w.window->LockControls(); // a lock and unlock must not turn them back on
        w.window->UnlockControls();
        QVERIFY(!w.Find<QPushButton>("comMailRead")->isEnabled());

        w.Find<QAction>("memNomalDisp")->trigger();
        QVERIFY(!w.session->ViewingBackup());
        QCOMPARE(w.Rows("lstNameOrAddr"), 3);
        QVERIFY(w.Find<QPushButton>("comMailRead")->isEnabled());
        QVERIFY(!w.Find<QAction>("memNomalDisp")->isEnabled());
        QCOMPARE(test::ReadFile(backups[0].path), bytes);
    }

    void everyWritingCommandOfTheTableIsRefusedOnADisplayedBackup() {
        Window w;
        w.Find<QAction>("memBackUp_Make")->trigger();
        const auto backup = ListBackups(w.session->Folders().dataDir).at(0).path;
        const std::string bytes = test::ReadFile(backup);
        w.window->ShowBackup(backup);
        QVERIFY(w.session->ViewingBackup());
        int writing = 0;
        for (const CommandDef& command : Commands()) {
            if (command.control.empty())
                continue;
            const std::string name(command.control);
            QObject* control = w.window->findChild<QObject*>(QString::fromStdString(name));
            QVERIFY2(control, name.c_str());
            auto* action = qobject_cast<QAction*>(control);
            auto* button = qobject_cast<QPushButton*>(control);
            QVERIFY2(action || button, name.c_str());
            const bool enabled = action ? action->isEnabled() : button->isEnabled();
            QCOMPARE(enabled, !command.writes);
            if (!command.writes)
                continue;
            ++writing;
            // Whatever a user or a shortcut tries, nothing runs.
            w.prompter.QueueAnswer(true);
            if (action)
                action->trigger();
            else
                button->click();
        }
        QVERIFY(writing >= 15);
        QVERIFY(w.session->ViewingBackup());
        QCOMPARE(test::ReadFile(backup), bytes);
        QCOMPARE(ListBackups(w.session->Folders().dataDir).size(), size_t(1));
        // And no control of the window that looks like a command is missing from the table (dialogs
        // have their own buttons).
        auto inDialog = [](QObject* object) {
            for (QObject* o = object->parent(); o; o = o->parent())
                if (qobject_cast<QDialog*>(o))
                    return true;
            return false;
        };
        for (QObject* object : w.window->findChildren<QObject*>()) {
            if (inDialog(object))
                continue;
            const QString name = object->objectName();
            const bool commandLike = (qobject_cast<QAction*>(object) || qobject_cast<QPushButton*>(object)) &&
                                     QRegularExpression("^(com|cmd|mem)").match(name).hasMatch();
            auto* action = qobject_cast<QAction*>(object);
            if (commandLike && !(action && action->menu()))
                QVERIFY2(FindWindowCommand(name.toStdString()), qPrintable(name));
        }
    }

    void theStartsUpkeepPutsTheCompactedArchiveInPlaceWhereTheUserIs() {
        Window w;
        // Free pages to gain: a long mail read and deleted again.
        MailRecord big = Mail("2001/01/01", "09:00:00", "jiro", "長い");
        big.body = std::string(400000, 'x');
        test::InsertTestMail(w.session->Archive(), big);
        w.session->Archive().exec("DELETE FROM tblKamoMail WHERE tblKamoMail_Subject = '長い'");
        w.window->ChooseKey(0);
        w.window->ChooseSubject(1);
        QCOMPARE(w.window->CurrentMail()->subject, std::string("二"));
        w.session->StartUpkeep();
        w.session->Upkeep()->Wait();
        QCOMPARE(w.session->Upkeep()->Result(), ArchiveUpkeep::Outcome::CopyReady);
        QTRY_COMPARE_WITH_TIMEOUT(w.session->Upkeep()->Result(), ArchiveUpkeep::Outcome::Placed, 5000);
        QCOMPARE(w.session->Archive().execAndGet("PRAGMA freelist_count").getInt64(), int64_t(0));
        QCOMPARE(w.Mails(), int64_t(4));
        QVERIFY(w.window->CurrentMail());
        QCOMPARE(w.window->CurrentMail()->subject, std::string("二")); // back where the user was
        QVERIFY(std::filesystem::exists(w.session->Folders().DatabaseFile().string() + ".Bak"));
        QVERIFY(w.prompter.shown.empty());
    }

    void recreationKeepsEveryMailAndBacksUpFirst() {
        Window w;
        w.prompter.QueueAnswer(true);
        w.Find<QAction>("memDBEdit")->trigger();
        QCOMPARE(w.Mails(), int64_t(4));
        QCOMPARE(ListBackups(w.session->Folders().dataDir).size(), size_t(1));
        QCOMPARE(w.prompter.shown.back().text, std::string("データベースを再作成しました。"));
        QCOMPARE(w.Rows("lstNameOrAddr"), 2);
        QVERIFY(!w.window->ControlsLocked());
    }

    void friendNamesAreAppliedAndTakenBackFromTheMenu() {
        Window w;
        w.session->AppSettings().displayType = 1; // the name view
        w.window->ShowViewMode();
        w.window->ChooseKey(0);
        w.window->ChooseSubject(0);
        QVERIFY(w.window->CurrentMail());
        w.Find<QAction>("memAddressAdd")->trigger(); // the chosen mail's sender
        const auto book = LoadFriends(w.session->Archive());
        QCOMPARE(book.size(), size_t(1));
        SaveFriends(w.session->Archive(), {{"3", "ポチ", "ハナコさん", book[0].address, 0}});

        auto names = [&] {
            QStringList list;
            auto* model = w.Find<QListView>("lstNameOrAddr")->model();
            for (int r = 0; r < model->rowCount(); ++r)
                list << model->index(r, 0).data().toString();
            return list;
        };
        const QStringList before = names();
        w.Find<QAction>("memFriend_A")->trigger();
        QVERIFY(names().contains(QString::fromUtf8("ハナコさん")));
        w.Find<QAction>("memFriend_P")->trigger();
        QVERIFY(names().contains(QString::fromUtf8("ポチ")));
        w.Find<QAction>("memFriend_M")->trigger();
        QCOMPARE(names(), before);
    }

    void tablesGoOutAndComeBackThroughTheFolderChooser() {
        Window w;
        const auto folder = w.dir / "csv";
        w.window->SetFolderChooser(
            [&](const QString&) { return std::optional<QString>(QString::fromStdString(folder.string())); });
        w.Find<QAction>("memExport")->trigger();
        QVERIFY(std::filesystem::exists(folder / "tblKamoMail.csv"));
        w.session->Archive().exec("DELETE FROM tblKamoMail WHERE tblKamoMail_YMD = '2002/02/01'");
        w.Find<QAction>("memInport")->trigger();
        QCOMPARE(w.Mails(), int64_t(4));
        QVERIFY(w.prompter.shown.back().text.find("tblKamoMail: 追加 1 行 / 保存済み 3 行") != std::string::npos);
        QCOMPARE(w.Rows("lstNameOrAddr"), 2);
    }

    void organizingBackupsDeletesTheChosenOnesAfterAsking() {
        Window w;
        MakeBackup(w.session->Archive(), w.session->Folders().dataDir, "2026-12-01");
        MakeBackup(w.session->Archive(), w.session->Folders().dataDir, "2026-12-02");
        QStringList shown;
        int rowsAfter = -1;
        w.window->SetBackupListRunner([&](frmBackupList& list) -> int {
            auto* grid = list.findChild<QTableWidget*>("grdBackup");
            for (int r = 0; r < grid->rowCount(); ++r)
                shown << grid->item(r, 0)->text() + " " + grid->item(r, 2)->text();
            grid->selectRow(1);
            w.prompter.QueueAnswer(true);
            list.findChild<QPushButton*>("cmdDelete")->click();
            rowsAfter = grid->rowCount();
            return QDialog::Rejected;
        });
        w.Find<QAction>("memBackUp_FileEdit")->trigger();
        QCOMPARE(shown, QStringList({QString::fromUtf8("2026-12-02 4 通"), QString::fromUtf8("2026-12-01 4 通")}));
        QCOMPARE(rowsAfter, 1);
        const auto left = ListBackups(w.session->Folders().dataDir);
        QCOMPARE(left.size(), size_t(1));
        QCOMPARE(left[0].day, std::string("2026-12-02"));
    }
};

QTEST_MAIN(frmArchiveCommandsTest)
#include "frmArchiveCommands_test.moc"
