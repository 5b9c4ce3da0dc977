// The read command in the main window, and the read options reached from the option dialog.
#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "browse/frmKamoMail.h"
#include "browse/frmOption.h"
#include "browse/frmWait.h"
#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "import/frmMailReadOpt.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

struct Fixture {
    explicit Fixture(const std::string& flags) {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        for (const auto& box : ppw::WriteSampleFolder(dir / "PostPet"))
            written += box.mails;
        test::WriteFile(
            dir / "config" / "KAMOMAIL.ini",
            "[PostPet Mail Option]\nPostPet Dir=" + (dir / "PostPet").string() +
                "\nMy Mail Addr=kamo@example.jp\nDisplay Type=0\n"
                "[Mail Options]\n" +
                flags +
                // The sample's friend file was offered at an earlier start.
                "[Friend Editer]\nFriend File Declined=" + (dir / "PostPet" / ppw::kFriendFileName).string() + "\n");
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        folders.libraryPath = test::BuildLibraryPath();
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
    }
    int64_t Rows() { return session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(); }
    template <typename T> T* Find(const char* name) const { return window->findChild<T*>(name); }

    test::TempDir dir;
    size_t written = 0;
    Settings settings;
    AppFolders folders;
    ScriptedPrompter prompter;
    std::unique_ptr<ArchiveSession> session; // outlives the window
    std::unique_ptr<frmKamoMail> window;
};

const std::string kAllTicked = "Send Mail Read Option=1,1,1,1,0,0,0,0,0,0,0,0,0,0,0,0\n"
                               "Reciev Mail Read Option=1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,0\n";

} // namespace

class frmReadCommandTest : public QObject {
    Q_OBJECT
private slots:
    void ReadButtonFillsTheArchiveAndTheViewOnce() {
        Fixture f(kAllTicked);
        QVERIFY(f.window->Load());
        f.window->show();
        auto* read = f.Find<QPushButton>("comMailRead");
        QVERIFY(read->isEnabled());
        QCOMPARE(f.Find<QListView>("lstNameOrAddr")->model()->rowCount(), 0);
        read->click();
        const int64_t stored = f.Rows();
        QVERIFY(stored > 10);
        QVERIFY(stored < static_cast<int64_t>(f.written)); // the sample keeps some mail in two mailboxes
        QVERIFY(read->isEnabled());                        // unlocked again
        QVERIFY(f.Find<QListView>("lstNameOrAddr")->model()->rowCount() > 0);
        QVERIFY(f.session->Database().execAndGet("SELECT COUNT(*) FROM tblSearch_Addresses").getInt64() > 0);
        QVERIFY(!f.prompter.shown.empty());
        const std::string summary = f.prompter.shown.back().text;
        QVERIFY(summary.find("PostPetのメールを読み込みました。") == 0);
        QVERIFY(summary.find("合計: 読込 " + std::to_string(f.written) + " / 保存 " + std::to_string(stored)) !=
                std::string::npos);
        // Again: nothing new.
        read->click();
        QCOMPARE(f.Rows(), stored);
        QVERIFY(f.prompter.shown.back().text.find("/ 保存 0 /") != std::string::npos);
    }

    void TheMenuEntryAndItsKeyReadAsTheButtonDoes() {
        Fixture f(kAllTicked);
        QVERIFY(f.window->Load());
        f.window->show();
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        auto* entry = f.Find<QAction>("memMailRead");
        QVERIFY(entry);
        entry->trigger();
        const int64_t stored = f.Rows();
        QVERIFY(stored > 10);
        QVERIFY(f.prompter.shown.back().text.find("PostPetのメールを読み込みました。") == 0);
        // F9 reads again: the summary of a read that found nothing new.
        QApplication::setActiveWindow(f.window.get()); // the wait window took it
        const size_t said = f.prompter.shown.size();
        QTest::keyClick(f.window.get(), Qt::Key_F9);
        QCOMPARE(f.prompter.shown.size(), said + 1);
        QVERIFY(f.prompter.shown.back().text.find("/ 保存 0 /") != std::string::npos);
        QCOMPARE(f.Rows(), stored);
        // Kept off with the button while a command runs.
        f.window->LockControls();
        QVERIFY(!entry->isEnabled());
        f.window->UnlockControls();
        QVERIFY(entry->isEnabled());
    }

    void NothingTickedTellsTheUserAndReadsNothing() {
        Fixture f("");
        QVERIFY(f.window->Load());
        f.Find<QPushButton>("comMailRead")->click();
        QCOMPARE(f.Rows(), int64_t(0));
        QVERIFY(f.prompter.shown.back().text.find("読み込むメールボックスが選ばれていません。") == 0);
    }

    void ReadOptionsOpenFromTheOptionDialogAndReachTheSettingsOnOk() {
        Fixture f("Reciev Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
        QVERIFY(f.window->Load());
        bool sawOptions = false;
        f.window->SetOptionDialogRunner([&](frmOption& dialog) {
            auto* button = dialog.findChild<QPushButton*>("cmdReadOpt");
            if (!button || !button->isEnabled())
                return int(QDialog::Rejected);
            // The options window runs modally; answer it from the event loop.
            QTimer::singleShot(0, [&] {
                auto* options = qobject_cast<frmMailReadOpt*>(QApplication::activeModalWidget());
                if (!options)
                    return;
                sawOptions = true;
                options->findChild<QCheckBox*>("Chk_Reciev_Opt_0")->setChecked(false);
                options->findChild<QPushButton*>("cmdOk")->click(); // refused: nothing ticked
                options->findChild<QCheckBox*>("Chk_Send_Opt_0")->setChecked(true);
                options->findChild<QCheckBox*>("Chk_Reciev_Opt_9")->setChecked(true);
                options->findChild<QPushButton*>("cmdOk")->click();
            });
            button->click();
            dialog.accept();
            return dialog.result();
        });
        f.Find<QAction>("memOption")->trigger();
        QVERIFY(sawOptions);
        QCOMPARE(f.prompter.shown.front().text, std::string("最低１ヶ所には、チェックを付けて下さい。"));
        QCOMPARE(f.session->AppSettings().sendReadOptions[0], int16_t(1));
        QCOMPARE(f.session->AppSettings().recievReadOptions[0], int16_t(0));
        QCOMPARE(f.session->AppSettings().recievReadOptions[9], int16_t(1));
        const std::string ini = test::ReadFile(f.dir / "config" / "KAMOMAIL.ini");
        QVERIFY(ini.find("Send Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0") != std::string::npos);
        QVERIFY(ini.find("Reciev Mail Read Option=0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0") != std::string::npos);
    }

    // A read beside the user: what they typed, the result on display, the chosen key and mail and the
    // keyboard stay; the new mail appears in the lists in place; progress went to the status bar.
    void AReadKeepsWhatTheUserIsDoing() {
        struct Case {
            const char* name;
            bool chooseKey;    // a key and its first mail chosen, the keyboard in the mail lines
            const char* typed; // typed into the search field (Enter pressed when `entered`)
            bool entered;
            const char* focus;
        };
        const Case cases[] = {
            {"a search half typed", false, "ケーキ", false, "txtSearch"},
            {"a search result with a mail open", false, "新着", true, "lstSubject"},
            {"a key and its mail chosen", true, "", false, "lstSubject"},
        };
        for (const Case& c : cases) {
            Fixture f("Reciev Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
            QVERIFY(f.window->Load());
            f.window->show();
            f.window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
            auto write = [&](int count, int first) {
                std::vector<ppw::Mail> mails;
                for (int i = first; i < first + count; ++i) {
                    ppw::Mail mail;
                    mail.from = "新しい人 <new@example.jp>";
                    mail.to = "kamo@example.jp";
                    mail.subject = "新着 " + std::to_string(i);
                    mail.date = "Tue, 04 Sep 2001 21:05:" + std::to_string(10 + i) + " +0900";
                    mail.body = "本文\r\n";
                    mails.push_back(mail);
                }
                ppw::WriteMailbox(f.dir / "PostPet" / "受信フォルダ" / "受信リスト.ppl",
                                  f.dir / "PostPet" / "受信フォルダ" / "受信メール.ppm", mails);
            };
            write(2, 0);
            f.Find<QPushButton>("comMailRead")->click();
            auto* keys = f.Find<QListView>("lstNameOrAddr");
            auto* subjects = f.Find<QListView>("lstSubject");
            auto* field = f.Find<QLineEdit>("txtSearch");
            if (c.chooseKey) {
                int row = 0;
                while (row < keys->model()->rowCount() &&
                       keys->model()->index(row, 0).data().toString() != QString("new@example.jp"))
                    ++row;
                f.window->ChooseKey(row);
                f.window->ChooseSubject(0);
                subjects->setFocus();
            } else {
                field->setFocus();
                field->setText(QString::fromUtf8(c.typed));
                if (c.entered) {
                    QTest::keyClick(field, Qt::Key_Return);
                    f.window->ChooseSubject(0);
                    subjects->setFocus();
                }
            }
            const int linesBefore = subjects->model()->rowCount();
            const QString keyBefore = keys->currentIndex().data().toString();
            const std::optional<MailRecord> mailBefore = f.window->CurrentMail();
            write(3, 2);
            QString progressSeen;
            QTimer poll;
            poll.setInterval(0); // runs at every pass of the events the read lets through
            QObject::connect(&poll, &QTimer::timeout, [&] {
                // Every line shown: the read's own lines come before the refresh's.
                if (auto* line = f.Find<QLabel>("lblProgress"); line && !progressSeen.endsWith(line->text()))
                    progressSeen += line->text();
                QVERIFY(!f.window->WaitWindow().isVisible());
            });
            poll.start();
            f.Find<QPushButton>("comMailRead")->click();
            poll.stop();
            QVERIFY2(progressSeen.contains(QString::fromUtf8("読み込んでいます")), c.name);
            QVERIFY2(field->text() == QString::fromUtf8(c.typed), c.name);
            QVERIFY2(QApplication::focusWidget() && QApplication::focusWidget()->objectName() == c.focus, c.name);
            QVERIFY2(keys->currentIndex().data().toString() == keyBefore, c.name);
            QVERIFY2(f.window->CurrentMail().has_value() == mailBefore.has_value(), c.name);
            if (mailBefore) {
                QVERIFY2(f.window->CurrentMail()->subject == mailBefore->subject, c.name);
                QVERIFY2(subjects->currentIndex().isValid(), c.name);
                // The new mail is in the list the user looks at.
                QVERIFY2(subjects->model()->rowCount() == linesBefore + 3, c.name);
            }
        }
    }

    // 自動読み込み: off, nothing is read by itself; on (from the options), what PostPet wrote is read
    // without a summary to close; while a command holds the controls it waits, then reads.
    void AutoReadReadsWrittenMailboxesOnlyWhenTheWindowIsIdle() {
        Fixture f("Reciev Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
        QVERIFY(f.window->Load());
        f.window->show();
        QTest::qWait(3000);
        QCOMPARE(f.Rows(), int64_t(0));

        f.window->SetOptionDialogRunner([&](frmOption& dialog) {
            dialog.findChild<QCheckBox*>("Chk_AutoRead")->setChecked(true);
            dialog.accept();
            return dialog.result();
        });
        f.Find<QAction>("memOption")->trigger();
        QVERIFY(f.session->AppSettings().autoRead);
        QVERIFY(test::ReadFile(f.dir / "config" / "KAMOMAIL.ini").find("Auto Read=1") != std::string::npos);
        QTRY_VERIFY_WITH_TIMEOUT(f.Rows() > 0, 60000);
        const int64_t first = f.Rows();
        QVERIFY(f.prompter.shown.empty()); // no summary for a read nobody asked for
        QVERIFY(f.window->statusBar()->currentMessage().contains(QString::fromUtf8("自動読み込み")));

        std::vector<ppw::Mail> mails;
        for (int i = 0; i < 3; ++i) {
            ppw::Mail mail;
            mail.from = "新しい人 <new@example.jp>";
            mail.to = "kamo@example.jp";
            mail.subject = "新着 " + std::to_string(i);
            mail.date = "Tue, 04 Sep 2001 21:05:3" + std::to_string(i) + " +0900";
            mail.body = "本文\r\n";
            mails.push_back(mail);
        }
        {
            WaitScope busy(f.window->Wait()); // another command runs
            ppw::WriteMailbox(f.dir / "PostPet" / "受信フォルダ" / "受信リスト.ppl",
                              f.dir / "PostPet" / "受信フォルダ" / "受信メール.ppm", mails);
            QTest::qWait(4000); // well past the settle time
            QCOMPARE(f.Rows(), first);
        }
        QTRY_COMPARE_WITH_TIMEOUT(f.Rows(), first + 3, 60000);
        QVERIFY(f.prompter.shown.empty());
    }

    // 自動読み込み while another program holds the archive: the read fails, the status bar says it
    // is tried again (no dialog for a read nobody asked for), and once the archive is free the
    // mail is stored without PostPet writing again.
    void AutoReadTriesAFailedReadAgain() {
        Fixture f("Reciev Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\nAuto Read=1\n");
        QVERIFY(f.window->Load());
        f.window->show();
        QTRY_VERIFY_WITH_TIMEOUT(f.Rows() > 0, 60000);
        const int64_t first = f.Rows();

        SQLite::Database holder(f.folders.DatabaseFile().string(), SQLite::OPEN_READWRITE);
        holder.setBusyTimeout(30000);
        holder.exec("BEGIN IMMEDIATE"); // readers may, writers wait
        std::vector<ppw::Mail> mails;
        for (int i = 0; i < 2; ++i) {
            ppw::Mail mail;
            mail.from = "待たされた人 <late@example.jp>";
            mail.to = "kamo@example.jp";
            mail.subject = "遅れて " + std::to_string(i);
            mail.date = "Wed, 05 Sep 2001 10:00:0" + std::to_string(i) + " +0900";
            mail.body = "本文\r\n";
            mails.push_back(mail);
        }
        ppw::WriteMailbox(f.dir / "PostPet" / "受信フォルダ" / "受信リスト.ppl",
                          f.dir / "PostPet" / "受信フォルダ" / "受信メール.ppm", mails);
        QTRY_VERIFY_WITH_TIMEOUT(
            f.window->statusBar()->currentMessage().contains(QString::fromUtf8("もう一度読みます")), 60000);
        QVERIFY(f.prompter.shown.empty());
        holder.exec("ROLLBACK");
        QTRY_VERIFY_WITH_TIMEOUT(f.Rows() == first + 2, 60000);
        QVERIFY(f.prompter.shown.empty());
    }
};

QTEST_MAIN(frmReadCommandTest)
#include "frmReadCommand_test.moc"
