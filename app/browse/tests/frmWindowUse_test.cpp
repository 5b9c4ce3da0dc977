// The main window used from the keyboard and over a long time: the focus through the lists, the wait
// window around long work, the first run, the names shown, the shortcuts.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <functional>

#include <SQLiteCpp/Transaction.h>

#include "browse/MonthCounts.h"
#include "browse/QtMonthChart.h"
#include "browse/QtSubjectPane.h"
#include "browse/frmKamoMail.h"
#include "browse/frmOption.h"
#include "browse/frmWait.h"
#include "db/ArchiveSession.h"
#include "db/HeaderFields.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "import/PostPetFinder.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

MailRecord Mail(const std::string& ymd, const std::string& hms, bool sent, const std::string& friendName,
                const std::string& friendAdd, const std::string& subject) {
    return test::MailBuilder()
        .Date(ymd, hms)
        .Sent(sent)
        .With(friendName, friendAdd)
        .Subject(subject)
        .Body("本文 " + subject)
        .Build();
}

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

// Five correspondents a..e, `perFriend` mails each (one a day from 2002/01/01), in an archive file.
struct Fixture {
    explicit Fixture(int perFriend = 2, const std::string& extraIni = "") {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        test::WriteFile(dir / "config" / "KAMOMAIL.ini",
                        "[PostPet Mail Option]\nPostPet Dir=/tmp\nMy Mail Addr=kamo@example.jp\nDisplay Type=0\n" +
                            extraIni);
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        folders.helpPath = dir / "help.html";
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        {
            SQLite::Transaction t(*db);
            for (int i = 0; i < perFriend; ++i)
                for (char c = 'a'; c <= 'e'; ++c) {
                    char ymd[16];
                    std::snprintf(ymd, sizeof ymd, "%04d/%02d/%02d", 2002 + i / 336, 1 + (i / 28) % 12, 1 + i % 28);
                    const std::string name(1, c);
                    test::InsertTestMail(*db, Mail(ymd, "10:00:0" + std::to_string(c - 'a'), i % 2 == 0, "友" + name,
                                                   name + "@example.jp", "件名" + name));
                }
            t.commit();
        }
        RebuildNameList(*db);
        RebuildAddressList(*db);
        test::MarkDerivedDataMade(*db); // filter results made by hand in the tests
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
    }
    template <typename T> T* Find(const char* name) const { return window->findChild<T*>(name); }
    QListView* Keys() const { return Find<QListView>("lstNameOrAddr"); }
    QListView* Subjects() const { return Find<QListView>("lstSubject"); }
    QString KeyText(int row) const { return Keys()->model()->index(row, 0).data().toString(); }
    QString SubjectText(int row) const { return Subjects()->model()->index(row, 0).data().toString(); }
    // The window again over the same archive, with another settings file (none: a first run).
    void Reopen(const std::optional<std::string>& ini, bool withLibrary = false) {
        window = nullptr; // before the session it works on
        session = nullptr;
        std::filesystem::remove(dir / "config" / "KAMOMAIL.ini");
        if (ini)
            test::WriteFile(dir / "config" / "KAMOMAIL.ini", *ini);
        if (withLibrary)
            folders.libraryPath = test::BuildLibraryPath();
        session =
            std::make_unique<ArchiveSession>(folders, nullptr, OpenArchive(folders.DatabaseFile(), false), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
    }
    QString Hint() const { return Find<QPlainTextEdit>("txtMail")->placeholderText(); }
    void ShowActive() const {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    test::TempDir dir;
    Settings settings;
    AppFolders folders;
    ScriptedPrompter prompter;
    std::unique_ptr<ArchiveSession> session; // outlives the window
    std::unique_ptr<frmKamoMail> window;
};

} // namespace

class frmWindowUseTest : public QObject {
    Q_OBJECT
private slots:
    void theArrowsWalkTheKeyListAndTheFocusStaysThere();
    void tabWalksTheWindowInReadingOrder();
    void theWaitWindowGoesAfterASearchThatBuiltTheIndex();
    void stopStopsInsideALargeMailboxAndKeepsWhatWasRead();
    void aFirstRunFindsThePostPetFolderInTheHomeFolderAndSaysWhatToDoNext();
    void theOptionDialogStartsAtHomeAndTicksTheMailboxesOfAChosenFolder();
    void aCancelledFirstRunSaysTheFolderIsMissing();
    void aPartyWithoutANameIsShownWithoutThePlaceholder();
    void theKeysOfAMailProgram();
    void deletingFromASearchResultStaysInTheResult();
    void aSavedSizeIsFittedToTheScreen();
    void theDateViewJumpsToAYearAndMonth();
    void theSubjectHeadingSaysTheOrderAndTurnsEveryListRound();
    void theThreadToggleNestsEachConversationUnderItsFirstAndKeepsTheChosenMail();
    void aLongListIsGroupedBesideTheWindowAndStopLeavesItUngrouped();
    void aMonthOfTheYearsPictureListsTheFriendsMailOfThatMonth();
    void theYearsPictureDrawsAnEmptyArchiveAndASingleYear();
    void theListsKeysOfAMailProgram();
    void escOnTheWaitWindowStopsTheWork();
};

void frmWindowUseTest::theArrowsWalkTheKeyListAndTheFocusStaysThere() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.ShowActive();
    // The keyboard starts in the key list.
    QCOMPARE(QApplication::focusWidget(), f.Keys());
    f.window->ChooseKey(0);
    QCOMPARE(QApplication::focusWidget(), f.Keys());
    for (int row = 1; row <= 3; ++row) {
        QTest::keyClick(f.Keys(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), f.Keys());
        QCOMPARE(f.Keys()->currentIndex().row(), row);
        // Each key lists its own mail: every line names the correspondent of that key.
        const QString who = f.KeyText(row).left(1);
        QCOMPARE(f.Subjects()->model()->rowCount(), 2);
        QVERIFY2(f.SubjectText(0).contains(Q("友") + who), qPrintable(f.SubjectText(0)));
    }
    // A mode switch from the label's keys keeps the keyboard in the list as well.
    f.Find<QLabel>("lblNameOrAddr")->setFocus();
    QTest::keyClick(f.Find<QLabel>("lblNameOrAddr"), Qt::Key_Space);
    QCOMPARE(QApplication::focusWidget(), f.Keys());
    // F5 keeps the keyboard in the key list.
    QTest::keyClick(f.window.get(), Qt::Key_F5);
    QCOMPARE(QApplication::focusWidget(), f.Keys());
}

void frmWindowUseTest::tabWalksTheWindowInReadingOrder() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.ShowActive();
    f.window->ChooseKey(1);
    f.window->ChooseSubject(0);
    QCOMPARE(QApplication::focusWidget(), f.Keys());
    QStringList walked;
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(walked, QStringList({"txtSearch", "lstSubject", "txtMail", "comMailRead", "comMailDel", "cmdAddrDel",
                                  "comSendMail", "comEnd", "lblNameOrAddr"}));
}

void frmWindowUseTest::theWaitWindowGoesAfterASearchThatBuiltTheIndex() {
    Fixture f(440); // 2,200 mails waiting for the index: the search shows the wait window
    QVERIFY(f.window->Load());
    f.ShowActive();
    f.window->ChooseKey(0);
    auto* field = f.Find<QLineEdit>("txtSearch");
    field->setFocus();
    field->insert(Q("件名c"));
    QTest::keyClick(field, Qt::Key_Return);
    auto* wait = f.window->findChild<frmWait*>();
    QVERIFY2(wait, "the index build showed no wait window");
    QVERIFY(!wait->isVisible());
    QCOMPARE(f.Subjects()->model()->rowCount(), 440);
    QVERIFY(f.Find<QPushButton>("comMailRead")->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), field); // the keyboard back where it was
}

void frmWindowUseTest::stopStopsInsideALargeMailboxAndKeepsWhatWasRead() {
    test::TempDir postPet;
    const ppw::MailboxName inbox = ppw::PostPetMailboxes().front();
    std::filesystem::create_directories((postPet / inbox.list).parent_path());
    constexpr int64_t kMails = 12000;
    ppw::WriteLargeMailbox(postPet / inbox.list, postPet / inbox.mail, kMails, 7);
    Fixture f(0);
    f.Reopen("[PostPet Mail Option]\nPostPet Dir=" + postPet.path().string() +
                 "\nDisplay Type=0\n[Mail Options]\nReciev Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n",
             true);
    QVERIFY(f.window->Load());
    f.ShowActive();

    // 中止 is pressed once the count passes 1,000 mails; the count on screen then is where it was.
    int64_t shownAtStop = -1;
    QElapsedTimer sinceStop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // A read runs beside the user: its progress and 中止 are in the status bar.
        auto* line = f.Find<QLabel>("lblProgress");
        const auto match = QRegularExpression("([0-9,]+) / ").match(line ? line->text() : QString());
        if (shownAtStop >= 0 || !match.hasMatch())
            return;
        const int64_t done = match.captured(1).remove(',').toLongLong();
        if (done < 1000)
            return;
        auto* cancel = f.Find<QPushButton>("stsStop");
        QVERIFY(cancel && cancel->isVisible());
        shownAtStop = done;
        sinceStop.start();
        cancel->click();
    });
    poll.start();
    f.Find<QPushButton>("comMailRead")->click();
    poll.stop();
    QVERIFY2(shownAtStop >= 0, "the read ended before it could be stopped");
    qInfo("stopped at %lld of %lld; the read ended %lld ms later", static_cast<long long>(shownAtStop),
          static_cast<long long>(kMails), static_cast<long long>(sinceStop.elapsed()));
    const int64_t stored = f.session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
    // Stopped within the next few mails, not at the end of the mailbox; what was read is stored.
    QVERIFY2(stored >= shownAtStop && stored <= shownAtStop + 256, qPrintable(QString::number(stored)));
    QVERIFY(stored < kMails);
    QVERIFY(!f.window->WaitWindow().isVisible());
    const std::string summary = f.prompter.shown.back().text;
    QVERIFY2(summary.find("中止しました") != std::string::npos, summary.c_str());
    const auto at = QRegularExpression(Q("受信フォルダ の ([0-9,]+) / ([0-9,]+) 通目まで読んだところで中止"))
                        .match(QString::fromStdString(summary));
    QVERIFY2(at.hasMatch(), summary.c_str());
    QCOMPARE(at.captured(1).remove(',').toLongLong(), stored);
    QCOMPARE(at.captured(2).remove(',').toLongLong(), kMails);
    // The next read goes on from there: the rest comes in, nothing twice.
    f.Find<QPushButton>("comMailRead")->click();
    QCOMPARE(f.session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), kMails);
}

void frmWindowUseTest::aFirstRunFindsThePostPetFolderInTheHomeFolderAndSaysWhatToDoNext() {
    Fixture f(0);
    const auto home = f.dir / "home";
    const auto postPet = home / "古いPC" / "Program Files" / "So-net" / "PostPet for Windows ver. 2.0";
    ppw::WriteSampleFolder(postPet);
    f.Reopen(std::nullopt, true); // no settings file: the Windows default folder, nothing ticked
    f.window->SetPostPetHome(home);
    std::vector<std::string> offered;
    f.window->SetPostPetChooser([&](const std::vector<FoundPostPet>& found) -> std::optional<size_t> {
        for (const auto& one : found)
            offered.push_back(one.dir.string());
        return 0;
    });
    int optionRuns = 0;
    f.window->SetOptionDialogRunner([&](frmOption&) {
        ++optionRuns;
        return int(QDialog::Rejected);
    });
    QVERIFY(f.window->Load());
    QCOMPARE(offered, std::vector<std::string>{postPet.string()});
    QCOMPARE(optionRuns, 0);
    QCOMPARE(f.session->AppSettings().postPetDir, postPet.string());
    QCOMPARE(f.session->AppSettings().recievReadOptions[0], int16_t(1)); // the inbox holds mail
    // The empty window says what to press.
    QVERIFY2(f.Hint().contains(Q("PostPet Mail Read")), qPrintable(f.Hint()));
    f.ShowActive();
    f.Find<QPushButton>("comMailRead")->click();
    QVERIFY(f.session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64() > 10);
    QVERIFY2(f.prompter.shown.back().text.find("PostPetのメールを読み込みました。") == 0,
             f.prompter.shown.back().text.c_str());
    QVERIFY(f.Keys()->model()->rowCount() > 0);
    // The filter view without filters says how to make one.
    while (!f.Find<QLabel>("lblNameOrAddr")->text().startsWith(Q("フィルター")))
        f.window->AdvanceViewMode();
    QCOMPARE(f.Keys()->model()->rowCount(), 0);
    QVERIFY2(f.Hint().contains(Q("フィルター設定")), qPrintable(f.Hint()));
}

void frmWindowUseTest::theOptionDialogStartsAtHomeAndTicksTheMailboxesOfAChosenFolder() {
    test::TempDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path().string()));
    const auto postPet = home / "PostPet";
    std::vector<std::string> withMail;
    for (const auto& box : ppw::WriteSampleFolder(postPet))
        if (box.mails > 0)
            withMail.push_back(box.name.list);
    Settings settings;
    settings.postPetDir = "C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0";
    ScriptedPrompter prompter;
    frmOption dialog(settings, prompter);
    HookReadOptions(dialog, settings, prompter);
    auto* field = dialog.findChild<QLineEdit*>("txtPostPetDir");
    QVERIFY(field->text().isEmpty()); // the Windows path stands for nothing here
    QVERIFY(!field->placeholderText().isEmpty());
    QString startedIn;
    dialog.SetFolderChooser([&](const QString& start) -> std::optional<QString> {
        startedIn = start;
        return QString::fromStdString(postPet.string());
    });
    dialog.findChild<QPushButton*>("cmdFolder")->click();
    QCOMPARE(startedIn, QDir::homePath());
    QCOMPARE(field->text(), QString::fromStdString(postPet.string()));
    // Chosen again from there, the chooser opens at the folder itself.
    dialog.findChild<QPushButton*>("cmdFolder")->click();
    QCOMPARE(startedIn, QString::fromStdString(postPet.string()));
    dialog.findChild<QPushButton*>("cmdOK")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(settings.postPetDir, postPet.string());
    const auto found = DescribePostPetFolder(postPet);
    QVERIFY(found && !found->withMail.empty());
    std::array<int16_t, 17> send{}, recieve{};
    TickMailboxesWithMail(*found, send, recieve);
    QVERIFY(settings.sendReadOptions == send);
    QVERIFY(settings.recievReadOptions == recieve);
    QCOMPARE(settings.recievReadOptions[0], int16_t(1));
    qputenv("HOME", oldHome);
}

void frmWindowUseTest::aCancelledFirstRunSaysTheFolderIsMissing() {
    Fixture f(0);
    f.Reopen(std::nullopt, true);
    f.window->SetPostPetHome(f.dir / "empty-home");
    f.window->SetOptionDialogRunner([](frmOption&) { return int(QDialog::Rejected); });
    QVERIFY(f.window->Load());
    QVERIFY2(f.Hint().contains(Q("オプション")), qPrintable(f.Hint()));
    f.Find<QPushButton>("comMailRead")->click();
    QVERIFY2(f.prompter.shown.back().text.find("PostPetのフォルダが見つかりません。") == 0,
             f.prompter.shown.back().text.c_str());
}

void frmWindowUseTest::aPartyWithoutANameIsShownWithoutThePlaceholder() {
    Fixture f(1, "");
    {
        MailRecord m = Mail("2003/05/05", "12:00:00", false, "設定無し", "noname@example.jp", "名無し");
        test::InsertTestMail(f.session->Database(), m);
        RebuildNameList(f.session->Database());
    }
    QVERIFY(f.window->Load());
    while (!f.Find<QLabel>("lblNameOrAddr")->text().startsWith(Q("送受信者名")))
        f.window->AdvanceViewMode();
    int row = -1;
    for (int i = 0; i < f.Keys()->model()->rowCount(); ++i) {
        QVERIFY(!f.KeyText(i).contains(Q("設定無し")));
        if (f.KeyText(i) == Q("（名前なし）"))
            row = i;
    }
    QVERIFY(row >= 0);
    f.window->ChooseKey(row); // still lists the mail stored under the placeholder
    QCOMPARE(f.Subjects()->model()->rowCount(), 1);
    f.window->ChooseSubject(0);
    const QString head = f.Find<QLabel>("lblHead")->text();
    QVERIFY2(head.startsWith(Q("送信者：noname@example.jp\n")), qPrintable(head));
    QVERIFY(!head.contains(Q("設定無し")));
    QVERIFY(head.contains(Q("受信者：かも <kamo@example.jp>")));
    // Deleting the key asks about the mail "without a name", not about the placeholder.
    f.Keys()->setFocus();
    f.Find<QPushButton>("cmdAddrDel")->click();
    QVERIFY2(f.prompter.shown.back().text.find("名前「（名前なし）」の送受信メール 1 件") == 0,
             f.prompter.shown.back().text.c_str());
}

void frmWindowUseTest::theKeysOfAMailProgram() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.ShowActive();
    QMenu* edit = f.window->findChild<QMenu*>("mnuEdit");
    QVERIFY(edit);
    for (const char* name : {"memCopy", "memSelectAll", "memSearch", "memReply", "memMailDel"})
        QVERIFY2(edit->actions().contains(f.Find<QAction>(name)), name);
    f.window->ChooseKey(2);
    f.window->ChooseSubject(1);
    f.Subjects()->setFocus();
    const int64_t before = f.session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();

    // Delete asks first; No keeps the mail.
    QTest::keyClick(f.Subjects(), Qt::Key_Delete);
    QVERIFY(!f.prompter.shown.empty() && f.prompter.shown.back().question);
    QVERIFY2(f.prompter.shown.back().text.find("件名c") != std::string::npos, f.prompter.shown.back().text.c_str());
    QCOMPARE(f.session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), before);
    // In the key list it is the key's mail that Delete offers to delete.
    f.Keys()->setFocus();
    QTest::keyClick(f.Keys(), Qt::Key_Delete);
    QVERIFY(f.prompter.shown.back().question);
    QVERIFY2(f.prompter.shown.back().text.find("c@example.jp") != std::string::npos,
             f.prompter.shown.back().text.c_str());

    // In the search field Delete and Ctrl+A stay the field's own.
    auto* field = f.Find<QLineEdit>("txtSearch");
    field->setFocus();
    field->setText("abc");
    field->setCursorPosition(0);
    const size_t said = f.prompter.shown.size();
    QTest::keyClick(field, Qt::Key_Delete);
    QCOMPARE(field->text(), QString("bc"));
    QCOMPARE(f.prompter.shown.size(), said);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(field->selectedText(), QString("bc"));
    field->clear();

    // Ctrl+C copies the chosen line; Ctrl+F goes to the search field; Ctrl+R replies.
    f.Subjects()->setFocus();
    QTest::keyClick(f.Subjects(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), f.SubjectText(1));
    QTest::keyClick(f.Subjects(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), f.Find<QLineEdit>("txtSearch"));
    QUrl opened;
    f.window->SetUrlOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    f.Subjects()->setFocus();
    QTest::keyClick(f.Subjects(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(opened.scheme(), QString("mailto"));
    QCOMPARE(opened.path(), QString("c@example.jp"));
    // Ctrl+A selects the whole mail text.
    QTest::keyClick(f.Subjects(), Qt::Key_A, Qt::ControlModifier);
    auto* text = f.Find<QPlainTextEdit>("txtMail");
    QCOMPARE(text->textCursor().selectedText(), text->toPlainText());
    // Ctrl+Q ends the program.
    QTest::keyClick(f.window.get(), Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!f.window->isVisible());
}

void frmWindowUseTest::deletingFromASearchResultStaysInTheResult() {
    Fixture f(3);
    QVERIFY(f.window->Load());
    f.ShowActive();
    auto* field = f.Find<QLineEdit>("txtSearch");
    field->setFocus();
    field->insert(Q("件名d"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(f.Subjects()->model()->rowCount(), 3);
    f.window->ChooseSubject(1);
    const QString third = f.SubjectText(2);
    f.prompter.QueueAnswer(true);
    f.Find<QPushButton>("comMailDel")->click();
    QCOMPARE(f.session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), int64_t(14));
    QCOMPARE(field->text(), Q("件名d"));
    QCOMPARE(f.Subjects()->model()->rowCount(), 2);
    QCOMPARE(f.Subjects()->currentIndex().row(), 1);
    QCOMPARE(f.SubjectText(1), third); // the mail after the deleted one
    QVERIFY(f.window->CurrentMail());
    QCOMPARE(f.window->CurrentMail()->subject, std::string("件名d"));
}

void frmWindowUseTest::aSavedSizeIsFittedToTheScreen() {
    Fixture f(1, "[Form Position]\nForm Top    Position=0\nForm Left   Position=0\n"
                 "Form Width  Position=30000\nForm Height Position=27000\n"); // 2000 x 1800 pixels
    QVERIFY(f.window->Load());
    f.window->show();
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(room.contains(f.window->frameGeometry().bottomRight()) ||
                 f.window->frameGeometry().bottom() <= room.bottom() + 1,
             qPrintable(QString("%1x%2 on %3x%4")
                            .arg(f.window->width())
                            .arg(f.window->height())
                            .arg(room.width())
                            .arg(room.height())));
    QVERIFY(f.window->width() <= room.width());
    QVERIFY(f.window->height() <= room.height());
    // The buttons along the bottom are on the screen.
    auto* end = f.Find<QPushButton>("comEnd");
    QVERIFY(room.contains(end->mapToGlobal(end->rect().bottomRight())));
}

void frmWindowUseTest::theDateViewJumpsToAYearAndMonth() {
    Fixture f(60); // one day each from 2002/01/01: 28 days of January and February, 4 of March
    QVERIFY(f.window->Load());
    f.ShowActive();
    auto* months = f.Find<QComboBox>("cmbYearMonth");
    QVERIFY(!months->isVisible()); // the address view
    while (!f.Find<QLabel>("lblNameOrAddr")->text().startsWith(Q("日付")))
        f.window->AdvanceViewMode();
    QVERIFY(months->isVisible());
    // Each month says its days at once and its mails once counted, received and sent apart in its tool tip.
    QCOMPARE(months->count(), 3);
    QCOMPARE(months->itemText(0), Q("2002年03月（4 日）"));
    QTRY_COMPARE(months->itemText(0), Q("2002年03月（4 日・20 通）"));
    QCOMPARE(months->itemData(0, Qt::ToolTipRole).toString(), Q("2002年3月 受信 10 通 / 送信 10 通"));
    QCOMPARE(months->itemText(2), Q("2002年01月（28 日・140 通）"));
    QCOMPARE(months->itemData(2, Qt::ToolTipRole).toString(), Q("2002年1月 受信 70 通 / 送信 70 通"));
    // The chooser follows the list from the keyboard into the next month.
    f.window->ChooseKey(3); // 2002/03/01
    QCOMPARE(months->currentText(), Q("2002年03月（4 日・20 通）"));
    f.Keys()->setFocus();
    QTest::keyClick(f.Keys(), Qt::Key_Down);
    QCOMPARE(f.KeyText(f.Keys()->currentIndex().row()), Q("2002/02/28"));
    QCOMPARE(months->currentText(), Q("2002年02月（28 日・140 通）"));
    months->setFocus();
    months->setCurrentIndex(1);
    emit months->activated(1);
    QCOMPARE(f.KeyText(f.Keys()->currentIndex().row()), Q("2002/02/28")); // the month's newest day
    QCOMPARE(f.Subjects()->model()->rowCount(), 5);
    QCOMPARE(QApplication::focusWidget(), f.Keys());
    f.window->AdvanceViewMode();
    QVERIFY(!months->isVisible());
}

void frmWindowUseTest::theSubjectHeadingSaysTheOrderAndTurnsEveryListRound() {
    Fixture f(3);
    QVERIFY(f.window->Load());
    f.ShowActive();
    auto* heading = f.Find<QPushButton>("cmdSubjectOrder");
    QVERIFY(heading->text().contains(Q("件名")));
    f.window->ChooseKey(0);
    QVERIFY(heading->text().startsWith(Q("日付▲"))); // a key's mail: oldest first
    QVERIFY(f.SubjectText(0).startsWith(Q("2002/01/01")));
    f.window->ChooseSubject(0);
    heading->click();
    QVERIFY(heading->text().startsWith(Q("日付▼")));
    QVERIFY(f.SubjectText(0).startsWith(Q("2002/01/03")));
    QCOMPARE(f.Subjects()->currentIndex().row(), 2); // the same mail still chosen
    QVERIFY(f.window->CurrentMail() && f.window->CurrentMail()->ymd == "2002/01/01");
    // The order chosen holds for the next key and for a search.
    f.window->ChooseKey(1);
    QVERIFY(f.SubjectText(0).startsWith(Q("2002/01/03")));
    auto* field = f.Find<QLineEdit>("txtSearch");
    field->setFocus();
    field->insert(Q("件名b"));
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(heading->text().startsWith(Q("日付▼")));
    QVERIFY(f.SubjectText(0).startsWith(Q("2002/01/03")));
    heading->click();
    QVERIFY(f.SubjectText(0).startsWith(Q("2002/01/01")));
    QVERIFY(heading->text().startsWith(Q("日付▲")));
    QCOMPARE(field->text(), Q("件名b")); // still the search's result
}

void frmWindowUseTest::theThreadToggleNestsEachConversationUnderItsFirstAndKeepsTheChosenMail() {
    Fixture f(3); // a@example.jp: "件名a" on 2002/01/01, 01/02 and 01/03 at 10:00, one conversation by subject
    // Between them a conversation joined by its message IDs alone.
    SQLite::Database& db = f.session->Database();
    HeaderFields first, reply;
    first.messageId = "<trip@a>";
    reply.messageId = "<photo@kamo>";
    reply.inReplyTo = reply.references = "<trip@a>";
    const MailRecord trip = Mail("2002/01/01", "12:00:00", false, "友a", "a@example.jp", "旅行");
    const MailRecord photo = Mail("2002/01/02", "12:00:00", true, "友a", "a@example.jp", "写真です");
    test::InsertTestMail(db, trip);
    test::InsertTestMail(db, photo);
    HeaderFieldWriter(db).Put(KeyOf(trip), first);
    HeaderFieldWriter(db).Put(KeyOf(photo), reply);
    QVERIFY(f.window->Load());
    f.ShowActive();
    auto* threads = f.Find<QPushButton>("cmdThreads");
    QVERIFY(threads && threads->isCheckable() && !threads->isChecked()); // off by default
    f.window->ChooseKey(0);
    QCOMPARE(f.KeyText(0), Q("a@example.jp"));
    auto lines = [&] {
        QStringList shown;
        for (int row = 0; row < f.Subjects()->model()->rowCount(); ++row)
            shown << f.SubjectText(row).left(16) + (f.SubjectText(row).contains(Q("　└ ")) ? Q(" +") : Q(""));
        return shown.join(Q(", "));
    };
    QCOMPARE(lines(), Q("2002/01/01 10:00, 2002/01/01 12:00, 2002/01/02 10:00, 2002/01/02 12:00, 2002/01/03 10:00"));
    f.window->ChooseSubject(3); // 写真です

    threads->click();
    QCOMPARE(lines(),
             Q("2002/01/01 10:00, 2002/01/02 10:00 +, 2002/01/03 10:00 +, 2002/01/01 12:00, 2002/01/02 12:00 +"));
    QVERIFY(f.SubjectText(4).endsWith(Q("　└ 写真です")));
    QCOMPARE(f.Subjects()->currentIndex().row(), 4);
    QVERIFY(f.window->CurrentMail() && f.window->CurrentMail()->subject == "写真です");
    // The heading still turns the order: each conversation headed by its newest mail.
    f.Find<QPushButton>("cmdSubjectOrder")->click();
    QCOMPARE(lines(),
             Q("2002/01/03 10:00, 2002/01/02 10:00 +, 2002/01/01 10:00 +, 2002/01/02 12:00, 2002/01/01 12:00 +"));
    QCOMPARE(f.Subjects()->currentIndex().row(), 3);
    // Off again: the list's own order, the mail still chosen.
    threads->click();
    QCOMPARE(lines(), Q("2002/01/03 10:00, 2002/01/02 12:00, 2002/01/02 10:00, 2002/01/01 12:00, 2002/01/01 10:00"));
    QCOMPARE(f.Subjects()->currentIndex().row(), 1);

    // The choice is kept in the window layout and holds for the next start's lists.
    threads->click();
    f.window->close();
    const std::string ini = test::ReadFile(f.dir / "config" / "KAMOMAIL.ini");
    QVERIFY(ini.find("Threaded Lines=1") != std::string::npos);
    f.Reopen(ini);
    QVERIFY(f.window->Load());
    QVERIFY(f.Find<QPushButton>("cmdThreads")->isChecked());
    f.window->ChooseKey(0);
    QCOMPARE(lines(),
             Q("2002/01/01 10:00, 2002/01/02 10:00 +, 2002/01/03 10:00 +, 2002/01/01 12:00, 2002/01/02 12:00 +"));
    // A read that adds mail keeps the grouping, the new mail under its conversation.
    f.window->ChooseSubject(3);
    test::InsertTestMail(f.session->Database(),
                         Mail("2002/01/04", "10:00:00", false, "友a", "a@example.jp", "Re: 件名a"));
    f.window->ShowNewMail();
    QCOMPARE(lines(), Q("2002/01/01 10:00, 2002/01/02 10:00 +, 2002/01/03 10:00 +, 2002/01/04 10:00 +, "
                        "2002/01/01 12:00, 2002/01/02 12:00 +"));
    QVERIFY(f.window->CurrentMail() && f.window->CurrentMail()->subject == "旅行");
    QCOMPARE(f.Subjects()->currentIndex().row(), 4);
}

void frmWindowUseTest::aLongListIsGroupedBesideTheWindowAndStopLeavesItUngrouped() {
    Fixture f(4); // a@example.jp: "件名a" four days running, one conversation by subject
    QVERIFY(f.window->Load());
    f.ShowActive();
    auto* pane = f.window->findChild<QtSubjectPane*>();
    QVERIFY(pane);
    pane->SetGroupBesideFrom(1); // every list counts as long: grouped on a thread of its own
    auto* threads = f.Find<QPushButton>("cmdThreads");
    f.window->ChooseKey(0);
    auto lines = [&] {
        QStringList shown;
        for (int row = 0; row < f.Subjects()->model()->rowCount(); ++row)
            shown << f.SubjectText(row).left(10) + (f.SubjectText(row).contains(Q("　└ ")) ? Q(" +") : Q(""));
        return shown.join(Q(", "));
    };
    const QString ungrouped = lines();
    QCOMPARE(ungrouped, Q("2002/01/01, 2002/01/02, 2002/01/03, 2002/01/04"));
    f.window->ChooseSubject(2);
    // Beside the window, the same grouping as on its thread.
    threads->click();
    QVERIFY(threads->isChecked());
    QCOMPARE(lines(), Q("2002/01/01, 2002/01/02 +, 2002/01/03 +, 2002/01/04 +"));
    QVERIFY(!f.window->WaitWindow().isVisible());
    threads->click();
    QCOMPARE(lines(), ungrouped);
    // 中止 as soon as the wait window offers it: the list as it was, スレッド off, the mail still chosen.
    bool offered = false;
    QTimer stopper;
    stopper.setInterval(0);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        auto* cancel = f.window->WaitWindow().findChild<QPushButton*>("cmdCancel");
        if (f.window->WaitWindow().isVisible() && cancel && cancel->isVisible() && !offered) {
            offered = true;
            QCOMPARE(f.window->WaitWindow().LineText(0), Q("　メールを会話ごとにまとめています。"));
            QVERIFY(f.window->ControlsLocked());
            cancel->click();
        }
    });
    stopper.start();
    threads->click();
    stopper.stop();
    QVERIFY(offered);
    QVERIFY(!threads->isChecked());
    QCOMPARE(lines(), ungrouped);
    QCOMPARE(f.Subjects()->currentIndex().row(), 2);
    QVERIFY(!f.window->WaitWindow().isVisible());
    QVERIFY(!f.window->ControlsLocked());
}

QTEST_MAIN(frmWindowUseTest)
#include "frmWindowUse_test.moc"

void frmWindowUseTest::aMonthOfTheYearsPictureListsTheFriendsMailOfThatMonth() {
    Fixture f(60); // one day each from 2002/01/01: 28 days of January and February, 4 of March
    QVERIFY(f.window->Load());
    f.ShowActive();
    auto* years = f.Find<QtMonthChart>("picYears");
    QVERIFY(years && !years->isVisible());
    f.Find<QAction>("memYears")->trigger();
    QVERIFY(years->isVisible());

    // A key of the address view: its own story.
    f.window->ChooseKey(0);
    QCOMPARE(f.KeyText(0), Q("a@example.jp"));
    QCOMPARE(years->Title(), Q("a@example.jp"));
    QCOMPARE(years->Counts(), CountMailByMonth(f.session->Database(), ViewMode::Address, "a@example.jp"));
    QCOMPARE(years->Counts()[2], (MonthCount{"2002/03", 2, 2}));
    QVERIFY(years->MonthBarRect(2001, 12).isEmpty());
    const QRect february = years->MonthBarRect(2002, 2);
    QVERIFY(!february.isEmpty() && years->rect().contains(february));
    QVERIFY(!february.intersects(years->MonthBarRect(2002, 3)));

    QHelpEvent tip(QEvent::ToolTip, february.center(), years->mapToGlobal(february.center()));
    QApplication::sendEvent(years, &tip);
    QCOMPARE(QToolTip::text(), Q("2002年2月 受信 14 通 / 送信 14 通"));
    QToolTip::hideText();

    // With a friend chosen, a month lists that friend's mail of the month, marked on the picture; the
    // marked month again lists all of it.
    QTest::mouseClick(years, Qt::LeftButton, {}, february.center());
    QVERIFY(f.Find<QLabel>("lblNameOrAddr")->text().startsWith(Q("アドレス")));
    QCOMPARE(f.KeyText(f.Keys()->currentIndex().row()), Q("a@example.jp"));
    QCOMPARE(years->ChosenMonth(), Q("2002/02"));
    QCOMPARE(f.Subjects()->model()->rowCount(), 28);
    for (int row = 0; row < 28; ++row)
        QVERIFY2(f.SubjectText(row).startsWith(Q("2002/02/")) && f.SubjectText(row).contains(Q("友a")),
                 qPrintable(f.SubjectText(row)));
    QTest::mouseClick(years, Qt::LeftButton, {}, years->MonthBarRect(2002, 3).center());
    QCOMPARE(f.Subjects()->model()->rowCount(), 4);
    QTest::mouseClick(years, Qt::LeftButton, {}, years->MonthBarRect(2002, 3).center());
    QCOMPARE(f.Subjects()->model()->rowCount(), 60);
    QVERIFY(years->ChosenMonth().isEmpty());

    // Without a key (the name view, nothing chosen yet), the month opens in the date view.
    f.window->AdvanceViewMode();
    QVERIFY(!f.Keys()->currentIndex().isValid());
    QCOMPARE(years->Title(), Q("すべてのメール"));
    QTest::mouseClick(years, Qt::LeftButton, {}, years->MonthBarRect(2002, 2).center());
    QVERIFY(f.Find<QLabel>("lblNameOrAddr")->text().startsWith(Q("日付")));
    auto* months = f.Find<QComboBox>("cmbYearMonth");
    QVERIFY(months->isVisible());
    QTRY_COMPARE(months->currentText(), Q("2002年02月（28 日・140 通）"));
    QCOMPARE(f.KeyText(f.Keys()->currentIndex().row()), Q("2002/02/28")); // the month's newest day
    QCOMPARE(f.Subjects()->model()->rowCount(), 5);
    QVERIFY(f.SubjectText(0).startsWith(Q("2002/02/28")));

    // Another month, now from within the date view; the chooser follows the list into another month.
    QTest::mouseClick(years, Qt::LeftButton, {}, years->MonthBarRect(2002, 1).center());
    QCOMPARE(f.KeyText(f.Keys()->currentIndex().row()), Q("2002/01/28"));
    f.window->ChooseKey(0); // 2002/03/04, the newest day
    QCOMPARE(months->currentText(), Q("2002年03月（4 日・20 通）"));
    f.window->AdvanceViewMode();
    QCOMPARE(years->Title(), Q("すべてのメール"));
    QCOMPARE(years->Counts(), CountMailByMonth(f.session->Database()));
    QCOMPARE(years->Counts().size(), size_t(3));
    QCOMPARE(years->Counts()[1], (MonthCount{"2002/02", 70, 70}));
    f.Find<QAction>("memYears")->trigger();
    QVERIFY(!years->isVisible());

    // The picture's on/off and the splitters come back at the next start.
    f.Find<QAction>("memYears")->trigger();
    auto* split = f.Find<QSplitter>("splMain");
    split->setSizes({300, 500});
    const QList<int> sizes = split->sizes();
    f.window->close();
    f.Reopen(test::ReadFile(f.dir / "config" / "KAMOMAIL.ini"));
    QVERIFY(f.window->Load());
    f.ShowActive();
    QVERIFY(f.Find<QAction>("memYears")->isChecked());
    QVERIFY(f.Find<QtMonthChart>("picYears")->isVisible());
    QCOMPARE(f.Find<QSplitter>("splMain")->sizes(), sizes);
}

void frmWindowUseTest::theYearsPictureDrawsAnEmptyArchiveAndASingleYear() {
    Fixture f(0);
    QVERIFY(f.window->Load());
    f.ShowActive();
    f.Find<QAction>("memYears")->trigger();
    auto* years = f.Find<QtMonthChart>("picYears");
    QVERIFY(years->isVisible());
    QVERIFY(years->Counts().empty());
    QVERIFY(years->MonthBarRect(2002, 1).isEmpty());
    QVERIFY(!years->grab().isNull());
    QTest::mouseClick(years, Qt::LeftButton, {}, years->rect().center()); // nothing to choose
    QVERIFY(f.Find<QLabel>("lblNameOrAddr")->text().startsWith(Q("アドレス")));

    // One month, one year, and a month that is no date beside them; every size down to the smallest.
    for (const auto& counts :
         {std::vector<MonthCount>{{"2003/04", 5, 0}},
          std::vector<MonthCount>{{"0000/00", 9, 9}, {"2003/01", 1, 2}, {"2003/12", 1000000, 3}}}) {
        years->SetCounts(counts, Q("かも"));
        for (QSize size : {QSize(900, 160), QSize(200, 90), QSize(3, 3)}) {
            years->resize(size);
            QVERIFY(!years->grab().isNull());
        }
        years->resize(900, 160);
        const QRect last = years->MonthBarRect(2003, counts.size() == 1 ? 4 : 12);
        QVERIFY(!last.isEmpty() && years->rect().contains(last));
        QVERIFY(years->MonthBarRect(0, 0).isEmpty());
    }
}

// The conventions of a mail program's lists, each a step from where the keyboard is to where it goes.
void frmWindowUseTest::theListsKeysOfAMailProgram() {
    struct Case {
        const char* name;
        std::function<void(Fixture&)> step;
        const char* focus;   // where the keyboard is afterwards
        const char* keyText; // the chosen key afterwards ("" for none)
    };
    const std::vector<Case> cases = {
        {"Enter on a key goes to its mail lines",
         [](Fixture& f) {
             f.window->ChooseKey(1);
             f.Keys()->setFocus();
             QTest::keyClick(f.Keys(), Qt::Key_Return);
             QCOMPARE(f.Subjects()->currentIndex().row(), 0);
         },
         "lstSubject", "b@example.jp"},
        {"Enter on a mail line goes to its text",
         [](Fixture& f) {
             f.window->ChooseKey(1);
             f.window->ChooseSubject(1);
             f.Subjects()->setFocus();
             QTest::keyClick(f.Subjects(), Qt::Key_Return);
         },
         "txtMail", "b@example.jp"},
        {"F5 keeps the keyboard in the key list",
         [](Fixture& f) {
             f.window->ChooseKey(2);
             f.Keys()->setFocus();
             QTest::keyClick(f.window.get(), Qt::Key_F5); // the name view has no such key
         },
         "lstNameOrAddr", ""},
        {"after deleting a mail the keyboard stays in the mail lines",
         [](Fixture& f) {
             f.window->ChooseKey(0);
             f.window->ChooseSubject(0);
             f.Subjects()->setFocus();
             f.prompter.QueueAnswer(true);
             QTest::keyClick(f.Subjects(), Qt::Key_Delete);
             QCOMPARE(f.Subjects()->model()->rowCount(), 1);
         },
         "lstSubject", "a@example.jp"},
        {"after deleting a key the keyboard stays in the key list",
         [](Fixture& f) {
             f.window->ChooseKey(3);
             f.Keys()->setFocus();
             f.prompter.QueueAnswer(true);
             QTest::keyClick(f.Keys(), Qt::Key_Delete);
             QCOMPARE(f.Keys()->model()->rowCount(), 5); // a..e and the owner's own address, less d
         },
         "lstNameOrAddr", "e@example.jp"},
    };
    for (const Case& c : cases) {
        Fixture f;
        QVERIFY(f.window->Load());
        f.ShowActive();
        c.step(f);
        // A deletion's wait window had the keyboard where the window system activates every window
        // it shows (offscreen does): the main window has it back once the window system says so.
        QTRY_VERIFY2(QApplication::activeWindow() == f.window.get(), c.name);
        QVERIFY2(QApplication::focusWidget() && QApplication::focusWidget()->objectName() == c.focus, c.name);
        const QModelIndex key = f.Keys()->currentIndex();
        QVERIFY2((key.isValid() ? f.KeyText(key.row()) : QString()) == Q(c.keyText), c.name);
    }

    // The chosen lines stay marked without the keyboard; every Tab stop is a control on screen.
    Fixture f;
    QVERIFY(f.window->Load());
    f.ShowActive();
    for (QListView* list : {f.Keys(), f.Subjects()})
        QCOMPARE(list->palette().color(QPalette::Inactive, QPalette::Highlight),
                 list->palette().color(QPalette::Active, QPalette::Highlight));
    f.window->ChooseKey(0);
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY2(focus && focus->isVisible() && focus->width() > 0 && focus->height() > 0,
                 qPrintable(focus ? focus->objectName() : QString("none")));
    }
}

// Esc on the wait window means 中止 where the work offers it (asking first where the stop loses work), and
// never hides the window under work.
void frmWindowUseTest::escOnTheWaitWindowStopsTheWork() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.ShowActive();
    // Work that loses nothing by a stop (a read) stops at once; work that would throw away what it
    // did (an mbox half-written) asks first, and goes on when the user says No.
    enum class Offer { None, Plain, Asking };
    struct Case {
        const char* name;
        Offer offer;
        std::optional<bool> answer; // the question's answer; none when nothing may be asked
        bool stops;
    };
    const std::vector<Case> cases = {
        {"no 中止 offered: Esc does nothing", Offer::None, std::nullopt, false},
        {"a stop that loses nothing: at once", Offer::Plain, std::nullopt, true},
        {"a stop that loses work, Yes: stops", Offer::Asking, true, true},
        {"a stop that loses work, No: goes on", Offer::Asking, false, false},
    };
    for (const Case& c : cases) {
        f.prompter.shown.clear();
        {
            WaitScope busy(f.window->Wait());
            if (c.offer == Offer::Plain)
                f.window->Wait().OfferCancel();
            if (c.offer == Offer::Asking)
                f.window->Wait().OfferCancelAsking("書き出しを中止しますか？");
            if (c.answer)
                f.prompter.QueueAnswer(*c.answer);
            frmWait& wait = f.window->WaitWindow();
            QVERIFY2(wait.isVisible(), c.name);
            // The wait window leaves the keyboard with the main window (a window system that activates
            // it anyway, as offscreen does, gives it back here), where Esc is the wait window's.
            f.window->activateWindow();
            QTRY_VERIFY2(QApplication::activeWindow() == f.window.get(), c.name);
            QTest::keyClick(f.window.get(), Qt::Key_Escape);
            QVERIFY2(wait.isVisible(), c.name);
            QVERIFY2(f.window->Wait().CancelRequested() == c.stops, c.name);
            QVERIFY2(f.prompter.shown.size() == (c.answer ? 1u : 0u), c.name);
            if (c.answer)
                QVERIFY2(f.prompter.shown[0].question && f.prompter.shown[0].text == "書き出しを中止しますか？",
                         c.name);
        }
        QVERIFY2(!f.window->WaitWindow().isVisible(), c.name);
    }
    // The next work offers its own stop: no question left over from the last.
    f.prompter.shown.clear();
    WaitScope busy(f.window->Wait());
    f.window->Wait().OfferCancel();
    QTest::keyClick(&f.window->WaitWindow(), Qt::Key_Escape); // in the wait window itself, once clicked
    QVERIFY(f.window->Wait().CancelRequested());
    QVERIFY(f.prompter.shown.empty());
}
