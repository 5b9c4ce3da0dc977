// The friend book window: the grid shows the book, OK saves edits in one go, キャンセル keeps the
// book as it was, and the window's place and column widths go back into the settings.
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "common/Prompter.h"
#include "friends/frmFriend.h"
#include "platform/SettingsStore.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

class frmFriendTest : public QObject {
    Q_OBJECT

    static QTableWidget* Grid(frmFriend& w) { return w.findChild<QTableWidget*>("grdFriend"); }
    static void Click(frmFriend& w, const char* name) { w.findChild<QPushButton*>(name)->click(); }
    static std::string OwnerOf(SQLite::Database& db, const std::string& address) {
        for (const Friend& f : LoadFriends(db))
            if (f.address == address)
                return f.owner;
        return "(none)";
    }

private slots:
    void theCardsAreTheRowsAsTheGridShowsThem() {
        auto db = test::MemoryArchive();
        SaveFriends(*db, {{"10", "ポチ", "太郎", "taro@example.jp", 3}});
        Settings settings;
        ScriptedPrompter prompter;
        frmFriend w(*db, settings, prompter);
        QVERIFY(w.findChild<QPushButton*>("cmdExportCards"));
        Grid(w)->item(0, 2)->setText(QString::fromUtf8("山田 太郎")); // edited, not yet saved
        test::TempDir dir;
        QVERIFY(w.ExportCards(dir / "book.vcf"));
        const std::string cards = test::ReadFile(dir / "book.vcf");
        QVERIFY(cards.find("FN:山田 太郎\r\nEMAIL:taro@example.jp\r\n") != std::string::npos);
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(LoadFriends(*db)[0].owner, std::string("太郎")); // the book itself is as it was
    }

    void okSavesEditsAddsAndDeletes() {
        auto db = test::MemoryArchive();
        SaveFriends(*db, {{"10", "ポチ", "太郎", "taro@example.jp", 3}, {"1", "タマ", "花子", "hana@example.jp", 1}});
        Settings settings;
        ScriptedPrompter prompter;
        frmFriend w(*db, settings, prompter);
        QCOMPARE(Grid(w)->rowCount(), 2);
        QCOMPARE(Grid(w)->item(1, 0)->text(), QString::fromUtf8("種類 10"));
        QCOMPARE(Grid(w)->item(1, 2)->text(), QString::fromUtf8("太郎"));
        Grid(w)->item(1, 2)->setText(QString::fromUtf8("山田 太郎"));
        Grid(w)->selectRow(0);
        Click(w, "cmdDelete");
        Click(w, "cmdAdd");
        Grid(w)->item(1, 3)->setText("jiro@example.jp");
        Grid(w)->item(1, 2)->setText(QString::fromUtf8("次郎"));
        Click(w, "cmdOk");
        QCOMPARE(w.result(), int(QDialog::Accepted));
        const auto book = LoadFriends(*db);
        QCOMPARE(book.size(), size_t(2));
        QCOMPARE(book[0], (Friend{"", "", "次郎", "jiro@example.jp", 0}));
        QCOMPARE(book[1], (Friend{"10", "ポチ", "山田 太郎", "taro@example.jp", 3}));
    }

    void aRepeatedAddressIsRefusedAndCancelKeepsTheBook() {
        auto db = test::MemoryArchive();
        SaveFriends(*db, {{"10", "ポチ", "太郎", "taro@example.jp", 3}});
        Settings settings;
        ScriptedPrompter prompter;
        {
            frmFriend w(*db, settings, prompter);
            Click(w, "cmdAdd");
            Grid(w)->item(1, 3)->setText("TARO@example.jp");
            Click(w, "cmdOk");
            QVERIFY(w.result() != int(QDialog::Accepted)); // still open
            QCOMPARE(prompter.shown.size(), size_t(1));
            QVERIFY(prompter.shown[0].text.find("が二度あります。") != std::string::npos);
            Click(w, "cmdCancel");
        }
        QCOMPARE(LoadFriends(*db).size(), size_t(1));
    }

    void geometryComesFromTheSettingsAndGoesBackOnClose() {
        auto db = test::MemoryArchive();
        Settings settings;
        settings.friendWidth = 9000;
        settings.friendHeight = 6000;
        settings.friendColWidth = {600, 900, 1200, 1500, 750};
        ScriptedPrompter prompter;
        frmFriend w(*db, settings, prompter);
        QCOMPARE(w.width(), 600);
        QCOMPARE(Grid(w)->columnWidth(2), 80);
        Grid(w)->setColumnWidth(3, 200);
        w.resize(700, 500);
        Click(w, "cmdCancel");
        QCOMPARE(settings.friendWidth, int16_t(10500));
        QCOMPARE(settings.friendHeight, int16_t(7500));
        QCOMPARE(settings.friendColWidth[3], int16_t(3000));
        QCOMPARE(settings.friendColWidth[2], int16_t(1200));
    }

    void aSizeSavedOnALargerScreenIsFittedToThisOne() {
        auto db = test::MemoryArchive();
        SaveFriends(*db, {{"10", "ポチ", "太郎", "taro@example.jp", 3}});
        Settings settings;
        settings.friendLeft = 3000; // 200, 100 pixels in, 2000 x 1800 pixels
        settings.friendTop = 1500;
        settings.friendWidth = 30000;
        settings.friendHeight = 27000;
        ScriptedPrompter prompter;
        frmFriend w(*db, settings, prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(room.contains(w.frameGeometry()), qPrintable(QString("%1x%2+%3+%4 on %5x%6")
                                                                  .arg(w.width())
                                                                  .arg(w.height())
                                                                  .arg(w.x())
                                                                  .arg(w.y())
                                                                  .arg(room.width())
                                                                  .arg(room.height())));
        // The buttons along the bottom can be reached.
        for (const char* name : {"cmdOk", "cmdCancel", "cmdAdd"}) {
            auto* button = w.findChild<QPushButton*>(name);
            QVERIFY2(room.contains(button->mapToGlobal(button->rect().bottomRight())), name);
        }
        Click(w, "cmdCancel");
        // What goes back is the size it had here.
        QVERIFY(TwipsToPixels(settings.friendWidth) <= room.width());
        QVERIFY(TwipsToPixels(settings.friendHeight) <= room.height());
    }

    void columnsNeverSetFitTheirContentsAndNamesStayOnOneLine() {
        auto db = test::MemoryArchive();
        const std::string address = "a.rather.long.address.of.a.friend@example.ne.jp";
        SaveFriends(*db, {{"10", "ポチ", "山田 太郎左衛門", address, 3}});
        Settings settings; // the defaults: one width for every column
        ScriptedPrompter prompter;
        frmFriend w(*db, settings, prompter);
        QTableWidget* grid = Grid(w);
        QVERIFY(!grid->wordWrap());
        QVERIFY(grid->horizontalHeader()->stretchLastSection());
        const QFontMetrics cells(grid->font());
        QVERIFY2(grid->columnWidth(3) >= cells.horizontalAdvance(QString::fromStdString(address)),
                 qPrintable(QString::number(grid->columnWidth(3))));
        QVERIFY(grid->columnWidth(2) >= cells.horizontalAdvance(QString::fromUtf8("山田 太郎左衛門")));
        const QFontMetrics heads(grid->horizontalHeader()->font());
        for (int c = 0; c < 4; ++c)
            QVERIFY2(grid->columnWidth(c) >= heads.horizontalAdvance(grid->horizontalHeaderItem(c)->text()),
                     qPrintable(grid->horizontalHeaderItem(c)->text()));
    }

    void aDoubleClickOnAFriendKeepsTheBookAndAsksForTheirMail() {
        struct Case {
            const char* what;
            int row;            // the row double-clicked (row 2 is added, without an address)
            bool repeatAddress; // the added row repeats an address: the book cannot be saved
            const char* wanted; // the address asked for; nullptr: none, the book stays open
            bool editing;       // the click edits the cell instead
        };
        const Case cases[] = {
            {"a friend", 0, false, "hana@example.jp", false},
            {"a row without an address yet", 2, false, nullptr, true},
            {"a book that cannot be saved", 0, true, nullptr, false},
        };
        for (const Case& c : cases) {
            auto db = test::MemoryArchive();
            SaveFriends(*db,
                        {{"10", "ポチ", "太郎", "taro@example.jp", 3}, {"1", "タマ", "花子", "hana@example.jp", 1}});
            Settings settings;
            ScriptedPrompter prompter;
            frmFriend w(*db, settings, prompter);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QSignalSpy asked(&w, &frmFriend::ShowMailOf);
            QCOMPARE(Grid(w)->item(1, 3)->text(), QString("taro@example.jp"));
            Grid(w)->item(1, 2)->setText(QString::fromUtf8("山田 太郎")); // an edit, kept as OK keeps it
            if (c.row == 2 || c.repeatAddress) {
                Click(w, "cmdAdd");
                Grid(w)->setCurrentCell(1, 0); // the new row's address editor closes
                if (c.repeatAddress)
                    Grid(w)->item(2, 3)->setText("TARO@example.jp");
            }
            QTableWidgetItem* cell = Grid(w)->item(c.row, 1);
            const QPoint at = Grid(w)->visualItemRect(cell).center();
            QTest::mouseClick(Grid(w)->viewport(), Qt::LeftButton, {}, at); // a double-click's first press
            QTest::mouseDClick(Grid(w)->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(asked.size(), c.wanted ? 1 : 0);
            if (c.wanted) {
                QCOMPARE(asked.at(0).at(0).toString(), QString(c.wanted));
                QCOMPARE(w.result(), int(QDialog::Accepted));
                QVERIFY(!w.isVisible());
                QCOMPARE(OwnerOf(*db, "taro@example.jp"), std::string("山田 太郎"));
            } else {
                QVERIFY2(w.isVisible(), c.what);
                QCOMPARE(OwnerOf(*db, "taro@example.jp"), std::string("太郎"));
            }
            QCOMPARE(Grid(w)->indexWidget(Grid(w)->model()->index(c.row, 1)) != nullptr, c.editing); // an open editor
        }
    }

    void theAddressColumnIsNeverCut() {
        auto db = test::MemoryArchive();
        const QString address = "a.very.long.address.of.a.friend.who.likes.long.names@mail.example.ne.jp";
        SaveFriends(*db, {{"10", "ポチ", "太郎", address.toStdString(), 3}});
        Settings settings;
        settings.friendColWidth = {600, 900, 1200, 600, 750}; // the user's narrow widths
        ScriptedPrompter prompter;
        frmFriend w(*db, settings, prompter);
        const QFontMetrics cells(Grid(w)->font());
        QVERIFY(Grid(w)->columnWidth(3) >= cells.horizontalAdvance(address));
        QCOMPARE(Grid(w)->columnWidth(2), 80); // the others as the user left them
        // An address typed in longer still: the column follows.
        Grid(w)->item(0, 3)->setText(address + address);
        QVERIFY(Grid(w)->columnWidth(3) >= cells.horizontalAdvance(address + address));
    }
};

QTEST_MAIN(frmFriendTest)
#include "frmFriend_test.moc"
