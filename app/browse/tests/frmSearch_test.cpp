// The search field and the export window of the main window, against an archive in a temporary
// folder.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "browse/SubjectLines.h"
#include "browse/frmKamoMail.h"
#include "browse/tests/WindowArchive.h"
#include "db/ArchiveSession.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "export/QtExportCommand.h"
#include "export/frmExport.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

using test::Mail;

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

struct Fixture : test::WindowArchive {
    Fixture()
        : WindowArchive([](SQLite::Database& db) {
              test::InsertTestMail(db, Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp",
                                            "ＰｏｓｔＰｅｔ通信", "ポストペットのモモより"));
              test::InsertTestMail(
                  db, Mail("2002/03/02", "08:00:00", true, "太郎", "taro@example.jp", "Re: postpet通信", "返事です"));
              test::InsertTestMail(
                  db, Mail("2001/12/24", "20:00:00", false, "花子", "hana@example.jp", "メリークリスマス", "ﾎﾟｽﾄ"));
          }) {}
    QListView* Subjects() const { return Find<QListView>("lstSubject"); }
    QLineEdit* Field() const { return Find<QLineEdit>("txtSearch"); }
    QString Line(int row) const { return Subjects()->model()->index(row, 0).data().toString(); }
    // Types the query (Japanese as an input method would hand it over) and presses Enter.
    void Search(const char* text) const {
        Field()->clear();
        Field()->insert(Q(text));
        QTest::keyClick(Field(), Qt::Key_Return);
    }
};

} // namespace

class frmSearchTest : public QObject {
    Q_OBJECT
private slots:
    void enterListsTheMatchesNewestFirstAsOrdinaryLines();
    void escapeOrAnEmptyFieldGoesBackToTheViewAndCtrlFFindsTheField();
    void mailChangedSinceTheLastSearchIsFoundByTheNext();
    void theExportWindowOffersTheSearchResultAndWritesIt();
    void fieldedTermsNarrowTheResultAndAMalformedOneIsNamed();
};

void frmSearchTest::enterListsTheMatchesNewestFirstAsOrdinaryLines() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.window->show();
    f.window->ChooseKey(0); // a key's list first: the search replaces it
    f.Search("POSTPET");
    QCOMPARE(f.Subjects()->model()->rowCount(), 2);
    QCOMPARE(f.Find<QLabel>("lblRecCount")->text(), Q("表示件数　：　2 件"));
    MailKey newest{"2002/03/02", "08:00:00", 0, true, "かも", "太郎", "kamo@example.jp", "taro@example.jp"};
    QCOMPARE(f.Line(0), QString::fromStdString(FormatSubjectLine(newest, "Re: postpet通信")));
    QVERIFY(f.Line(1).startsWith(Q("2002/03/01 09:00:00 受　　差出人：太郎 ")));
    QVERIFY(!f.Find<QListView>("lstNameOrAddr")->currentIndex().isValid());

    // A found mail is shown and answered like any other.
    QUrl opened;
    f.window->SetUrlOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    QTest::keyClick(f.Field(), Qt::Key_Down); // on to the first line found
    QCOMPARE(f.Find<QPlainTextEdit>("txtMail")->toPlainText(), Q("返事です"));
    f.window->ChooseSubject(1);
    QCOMPARE(f.Find<QPlainTextEdit>("txtMail")->toPlainText(), Q("ポストペットのモモより"));
    f.Find<QPushButton>("comSendMail")->click();
    QCOMPARE(opened.path(), QString("taro@example.jp"));

    f.Search("ポスト　モモ"); // both words, any field; half-width ﾎﾟｽﾄ counts as ポスト
    QCOMPARE(f.Subjects()->model()->rowCount(), 1);
    f.Search("ポスト");
    QCOMPARE(f.Subjects()->model()->rowCount(), 2);
    QVERIFY(f.Line(1).contains(Q("メリークリスマス")));
    f.Search("存在しない");
    QCOMPARE(f.Subjects()->model()->rowCount(), 0);
    QCOMPARE(f.Find<QLabel>("lblRecCount")->text(), Q("表示件数　：　0 件"));
    QVERIFY(f.Field()->isEnabled());
    QVERIFY(f.prompter.shown.empty());
}

void frmSearchTest::escapeOrAnEmptyFieldGoesBackToTheViewAndCtrlFFindsTheField() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.Subjects()->setFocus();
    QTest::keyClick(f.window.get(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(f.Field()->hasFocus());

    f.Search("太郎");
    QCOMPARE(f.Subjects()->model()->rowCount(), 2);
    QTest::keyClick(f.Field(), Qt::Key_Escape);
    QCOMPARE(f.Subjects()->model()->rowCount(), 0);
    QVERIFY(f.Field()->text().isEmpty());
    QCOMPARE(f.Find<QListView>("lstNameOrAddr")->model()->rowCount(), 3);

    f.Search("太郎");
    QCOMPARE(f.Subjects()->model()->rowCount(), 2);
    f.Field()->clear(); // the clear button
    QCOMPARE(f.Subjects()->model()->rowCount(), 0);

    // Choosing a key after a search shows the key and forgets the search.
    f.Search("太郎");
    f.window->ChooseKey(0);
    QVERIFY(f.Field()->text().isEmpty());
    const int keyLines = f.Subjects()->model()->rowCount();
    QTest::keyClicks(f.Field(), Q("abc"));
    QTest::keyClick(f.Field(), Qt::Key_Escape); // nothing found yet: only the typing goes
    QVERIFY(f.Field()->text().isEmpty());
    QCOMPARE(f.Subjects()->model()->rowCount(), keyLines);
}

void frmSearchTest::mailChangedSinceTheLastSearchIsFoundByTheNext() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.Search("クリスマス");
    QCOMPARE(f.Subjects()->model()->rowCount(), 1);
    // Another command (a deletion, a rename, a read) changes the mail table.
    f.session->Database().exec("UPDATE tblKamoMail SET tblKamoMail_Subject = 'クリスマス会' WHERE"
                               " tblKamoMail_YMD = '2002/03/01'");
    f.session->Database().exec("DELETE FROM tblKamoMail WHERE tblKamoMail_YMD = '2001/12/24'");
    f.Search("クリスマス");
    QCOMPARE(f.Subjects()->model()->rowCount(), 1);
    QVERIFY(f.Line(0).contains(Q("クリスマス会")));
    QCOMPARE(PendingSearchRows(f.session->Database()), 0);
}

void frmSearchTest::theExportWindowOffersTheSearchResultAndWritesIt() {
    Fixture f;
    QVERIFY(f.window->Load());
    auto* action = f.Find<QAction>("memMailExport");
    QVERIFY(action && action->isEnabled());
    const auto mbox = f.dir / "found.mbox";
    std::vector<std::string> offered;
    bool accept = false;
    ExportDialogSeams().run = [&](frmExport& dialog) {
        offered.clear();
        for (int i = 0;; ++i) {
            auto* option = dialog.findChild<QAbstractButton*>(QString("optChoice%1").arg(i));
            if (!option)
                break;
            offered.push_back(option->text().toStdString() + (option->isChecked() ? " *" : ""));
        }
        dialog.SetFormat(MailFormat::Mbox);
        dialog.SetTarget(QString::fromStdString(mbox.string()));
        return int(accept ? QDialog::Accepted : QDialog::Rejected);
    };
    f.window->ChooseKey(2); // taro@example.jp
    action->trigger();
    QCOMPARE(offered, (std::vector<std::string>{"すべてのメール", "アドレス taro@example.jp *"}));
    QVERIFY(!std::filesystem::exists(mbox));

    f.Search("ポスト");
    accept = true;
    action->trigger();
    // Every mail, and the search result (ticked); the key's list was replaced by the search.
    QCOMPARE(offered, (std::vector<std::string>{"すべてのメール", "検索結果 ポスト *"}));
    QVERIFY(std::filesystem::exists(mbox));
    QCOMPARE(f.prompter.shown.back().text.rfind("2 通のメールを書き出しました", 0), size_t(0));
    const std::string written = test::ReadFile(mbox);

    // Writing over it asks first; No leaves it.
    ExportDialogSeams().run = [&](frmExport& dialog) {
        dialog.SetChoice(0);
        dialog.SetTarget(QString::fromStdString(mbox.string()));
        return int(QDialog::Accepted);
    };
    action->trigger();
    QVERIFY(f.prompter.shown.back().question);
    QCOMPARE(test::ReadFile(mbox), written);
    f.prompter.QueueAnswer(true);
    action->trigger();
    QVERIFY(test::ReadFile(mbox).size() > written.size());
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
}

void frmSearchTest::fieldedTermsNarrowTheResultAndAMalformedOneIsNamed() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.window->show();
    struct Case {
        const char* query;
        int lines;
    };
    for (const Case c :
         {Case{"from:太郎", 1}, Case{"to:太郎", 1}, Case{"太郎", 2}, Case{"date:2001", 1}, Case{"date:2002-03-01..", 2},
          Case{"-is:sent ポスト", 2}, Case{"is:sent subject:POSTPET", 1}, Case{"body:返事 -from:かも", 0}}) {
        f.Search(c.query);
        QCOMPARE(f.Subjects()->model()->rowCount(), c.lines);
    }
    auto* error = f.Find<QLabel>("lblSearchError");
    QVERIFY(error->isHidden());
    f.Search("太郎");
    f.Field()->end(false);
    f.Field()->insert(Q(" date:2002-02-30"));
    QTest::keyClick(f.Field(), Qt::Key_Return);
    QVERIFY(!error->isHidden());
    QVERIFY(error->text().startsWith(Q("「date:2002-02-30」の日付が正しくありません。")));
    QCOMPARE(f.Subjects()->model()->rowCount(), 2); // the result on display stays
    f.Search("太郎");
    QVERIFY(error->isHidden());
    QVERIFY(f.prompter.shown.empty());

    auto* help = f.Find<QLabel>("lblSearchHelp");
    QVERIFY(help->isHidden());
    f.Find<QAbstractButton>("btnSearchHelp")->click();
    QVERIFY(help->isVisible());
    QVERIFY(help->text().contains(Q("has:picture")));
    f.Find<QAbstractButton>("btnSearchHelp")->click();
    QVERIFY(help->isHidden());
}

QTEST_MAIN(frmSearchTest)
#include "frmSearch_test.moc"
