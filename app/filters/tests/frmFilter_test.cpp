// The filter editor and the display-order window, driven through their controls.
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <SQLiteCpp/Statement.h>

#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "common/Prompter.h"
#include "db/Schema.h"
#include "filters/FilterStore.h"
#include "filters/frmFilter.h"
#include "filters/frmFilterOrder.h"
#include "filters/tests/FilterWindowUtil.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

using namespace kamo::test;

class FilterEditorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SQLite::Database> db;
    FilterTables tables;
    ScriptedPrompter prompter;
    NullWaitReporter wait;

    std::unique_ptr<frmFilter> Open() {
        auto w = std::make_unique<frmFilter>(*db, tables, prompter);
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("editor not shown");
        return w;
    }

    QStringList GridRow(frmFilter& w, int row) {
        auto* grid = Find<QTableWidget>(&w, "grdFilter");
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
        return cells;
    }

    int GridRows(frmFilter& w) { return Find<QTableWidget>(&w, "grdFilter")->rowCount(); }

    void Store(std::initializer_list<Stored> filters) {
        FilterTables t;
        for (const auto& f : filters)
            AddFilter(t, EditArea{f.header, "cond " + f.header, f.rule, f.action});
        QVERIFY(SaveFilters(*db, t, wait));
    }

private slots:
    void init() {
        db = kamo::test::MemoryArchive();
        tables = FilterTables{};
        prompter.shown.clear();
    }

    void controlsCaptionsAndGrid() {
        auto w = Open();
        QCOMPARE(w->windowTitle(), U("フィルター設定"));
        QStringList labels;
        for (auto* l : w->findChildren<QLabel*>())
            labels << l->text();
        QVERIFY(labels.contains(U("表示タイトル")));
        QVERIFY(labels.contains(U("フィルター条件")));
        QStringList frames;
        for (auto* g : w->findChildren<QGroupBox*>())
            frames << g->title();
        QVERIFY(frames.contains(U("条　件")));
        QVERIFY(frames.contains(U("ルール")));
        QVERIFY(frames.contains(U("アクション")));
        QCOMPARE(Find<QRadioButton>(w.get(), "optTerms_0")->text(), U("（０） Ｓｕｂｊｅｃｔ と 完全に一致"));
        QCOMPARE(Find<QRadioButton>(w.get(), "optTerms_3")->text(), U("（３） 送受信アドレスのどちらかに含まれる"));
        QCOMPARE(Find<QRadioButton>(w.get(), "optTerms_5")->text(), U("（5） 送受信者名に含まれる"));
        QCOMPARE(Find<QRadioButton>(w.get(), "optAct_0")->text(), U("（０）振り分ける"));
        QCOMPARE(Find<QRadioButton>(w.get(), "optAct_1")->text(), U("（１）メールを読み込まない"));
        QCOMPARE(Find<QPushButton>(w.get(), "comAdd")->text(), U("追　加"));
        QCOMPARE(Find<QPushButton>(w.get(), "comUp")->text(), U("変　更"));
        QCOMPARE(Find<QPushButton>(w.get(), "comDel")->text(), U("削　除"));
        QCOMPARE(Find<QPushButton>(w.get(), "comOk")->text(), U("Ｏ　Ｋ"));
        QCOMPARE(Find<QPushButton>(w.get(), "comCancel")->text(), U("キャンセル"));
        auto* dsp = Find<QPushButton>(w.get(), "cmdDspChenge");
        QCOMPARE(dsp->text(), U("表示順変更"));
        QCOMPARE(dsp->toolTip(), U("ﾌｨﾙﾀｰ表示の順番を変更します"));
        auto* grid = Find<QTableWidget>(w.get(), "grdFilter");
        QCOMPARE(grid->columnCount(), 4);
        const QStringList headings = {U("表示タイトル"), U("ルール"), U("アクション"), U("フィルター条件")};
        const int widths[4] = {166, 60, 60, 233};
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(grid->horizontalHeaderItem(c)->text(), headings[c]);
            QCOMPARE(grid->columnWidth(c), widths[c]);
        }
        QCOMPARE(w->SelectedRow(), 0);
    }

    void theGridsNumbersSayWhatTheyMean() {
        Store({{10, 3, 0, "友だち"}, {20, 1, 1, "広告"}});
        auto w = Open();
        auto* grid = Find<QTableWidget>(w.get(), "grdFilter");
        // The cells keep the codes; their tool tips and the key under the grid say what they are.
        QCOMPARE(GridRow(*w, 0), QStringList({U("友だち"), "3", "0", U("cond 友だち")}));
        QCOMPARE(grid->item(0, 1)->toolTip(), U("（３） 送受信アドレスのどちらかに含まれる"));
        QCOMPARE(grid->item(0, 2)->toolTip(), U("（０）振り分ける"));
        QCOMPARE(grid->item(1, 2)->toolTip(), U("（１）メールを読み込まない"));
        const QString key = Find<QLabel>(w.get(), "lblFilterKey")->text();
        QVERIFY(key.contains(U("3 アドレスに含む")) && key.contains(U("1 メールを読み込まない")));
        // A deleted row is blank, tool tips too.
        grid->selectRow(0);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(0, 0)).center());
        prompter.QueueAnswer(true);
        Find<QPushButton>(w.get(), "comDel")->click();
        QCOMPARE(GridRow(*w, 0), QStringList({"", "", "", ""}));
        QVERIFY(grid->item(0, 1)->toolTip().isEmpty());
    }

    void theGridIsWorkedFromTheKeyboard() {
        Store({{0, 1, 0, "one"}, {0, 2, 1, "two"}});
        auto w = Open();
        auto* grid = Find<QTableWidget>(w.get(), "grdFilter");
        grid->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        grid->setCurrentCell(0, 0);
        QTest::keyClick(grid, Qt::Key_Down); // the arrow loads the row as a click does
        QCOMPARE(Find<QLineEdit>(w.get(), "txtFilterHeader")->text(), QString("two"));
        QCOMPARE(w->SelectedRow(), 2);
        QTest::keyClick(grid, Qt::Key_Tab); // and Tab leaves the grid
        QVERIFY(!grid->hasFocus());
    }

    void addValidatesAndFillsTheGrid() {
        auto w = Open();
        Click(w.get(), "comAdd"); // empty area: nothing happens, nothing is said
        QCOMPARE(GridRows(*w), 0);
        QCOMPARE(tables.count, 0);
        QVERIFY(prompter.shown.empty());

        Fill(*w, "it's", 1, 0, "x");
        Click(w.get(), "comAdd");
        Fill(*w, "title", 1, 0, "a|b");
        Click(w.get(), "comAdd");
        QCOMPARE(prompter.shown.size(), size_t(2));
        QCOMPARE(prompter.shown[0].text, std::string("特殊文字 ' と | は使用できません。"));
        QCOMPARE(prompter.shown[1].text, std::string("特殊文字 ' と | は使用できません。"));
        QCOMPARE(tables.count, 0);
        QCOMPARE(Find<QLineEdit>(w.get(), "txtTerms")->text(), U("a|b")); // left for the user to fix

        Find<QLineEdit>(w.get(), "txtTerms")->setText(U("   "));
        Click(w.get(), "comAdd");
        QCOMPARE(prompter.shown.back().text, Say(BrowseText::FilterNoTerms));
        QVERIFY(Find<QLineEdit>(w.get(), "txtTerms")->text().isEmpty());

        Fill(*w, "  通信  ", 1, 0, "通信");
        Click(w.get(), "comAdd");
        QCOMPARE(GridRows(*w), 1);
        QCOMPARE(GridRow(*w, 0), (QStringList{U("通信"), "1", "0", U("通信")}));
        QCOMPARE(tables.filters[0].number, 0);
        // The edit area is cleared after an add, option buttons included.
        QVERIFY(Find<QLineEdit>(w.get(), "txtFilterHeader")->text().isEmpty());
        QVERIFY(!Find<QRadioButton>(w.get(), "optTerms_1")->isChecked());
        QVERIFY(!Find<QRadioButton>(w.get(), "optAct_0")->isChecked());
    }

    void clickUpdateDeleteThenOkAndReopen() {
        Store({{0, 1, 0, "one"}, {0, 3, 0, "two"}, {0, 4, 0, "three"}});
        auto w = Open();
        QCOMPARE(GridRows(*w), 3);
        ClickRow(*w, 1);
        QCOMPARE(w->SelectedRow(), 2);
        QCOMPARE(Find<QLineEdit>(w.get(), "txtFilterHeader")->text(), U("two"));
        QCOMPARE(Find<QLineEdit>(w.get(), "txtTerms")->text(), U("cond two"));
        QVERIFY(Find<QRadioButton>(w.get(), "optTerms_3")->isChecked());
        QVERIFY(Find<QRadioButton>(w.get(), "optAct_0")->isChecked());

        Find<QLineEdit>(w.get(), "txtFilterHeader")->setText(U("TWO"));
        Find<QRadioButton>(w.get(), "optAct_1")->setChecked(true);
        Click(w.get(), "comUp");
        QCOMPARE(GridRow(*w, 1), (QStringList{"TWO", "3", "1", U("cond two")}));
        QCOMPARE(tables.filters[1].number, 20);

        ClickRow(*w, 0);
        Click(w.get(), "comDel"); // asked first: No keeps it
        QCOMPARE(GridRow(*w, 0).at(0), QString("one"));
        QVERIFY(prompter.shown.back().question);
        QCOMPARE(prompter.shown.back().text, std::string("フィルター「one」を削除します。\n     よろしいでしょうか？"));
        prompter.QueueAnswer(true);
        Click(w.get(), "comDel");
        QCOMPARE(GridRows(*w), 3); // the row stays, blank, until OK
        QCOMPARE(GridRow(*w, 0), (QStringList{"", "", "", ""}));
        QVERIFY(tables.filters[0].IsEmptySlot());

        Click(w.get(), "comOk");
        QCOMPARE(w->result(), int(QDialog::Accepted));
        QVERIFY(!tables.cancelFlag);
        QVERIFY(SaveFilters(*db, tables, wait)); // what the main window does after OK
        const std::vector<Stored> expected = {{30, 4, 0, "three"}, {20, 3, 1, "TWO"}};
        auto stored = StoredFilters(*db);
        std::sort(stored.begin(), stored.end(), [](auto& a, auto& b) { return a.action < b.action; });
        QCOMPARE(stored, expected);

        auto again = Open();
        QCOMPARE(GridRows(*again), 2);
        // Action-0 filters come first after loading, whatever their numbers.
        QCOMPARE(GridRow(*again, 0).at(0), QString("three"));
        QCOMPARE(GridRow(*again, 1).at(0), QString("TWO"));
    }

    void cancelRestoresWhatWasStored() {
        Store({{0, 1, 0, "one"}, {0, 2, 1, "two"}});
        auto w = Open();
        Fill(*w, "new", 5, 0, "x");
        Click(w.get(), "comAdd");
        ClickRow(*w, 0);
        prompter.QueueAnswer(true);
        Click(w.get(), "comDel");
        QCOMPARE(tables.count, 3);
        Click(w.get(), "comCancel");
        QCOMPARE(w->result(), int(QDialog::Rejected));
        QVERIFY(tables.cancelFlag);
        QCOMPARE(tables.count, 2);
        QCOMPARE(tables.filters[0].header, std::string("one"));
        QCOMPARE(tables.readCount, 1);
        QCOMPARE(StoredFilters(*db).size(), size_t(2));

        tables.cancelFlag = false;
        auto again = Open();
        Fill(*again, "other", 5, 0, "x");
        Click(again.get(), "comAdd");
        QTest::keyClick(again.get(), Qt::Key_Escape); // leaving by Escape does not keep edits either
        QVERIFY(tables.cancelFlag);
        QCOMPARE(tables.count, 2);
    }

    void the257thFilterIsRefused() {
        FilterTables full;
        for (int i = 0; i < kFilterSlots; ++i)
            AddFilter(full, EditArea{"f" + std::to_string(i), "x", 1, 0});
        QVERIFY(SaveFilters(*db, full, wait));
        auto w = Open();
        QCOMPARE(GridRows(*w), kFilterSlots);
        Fill(*w, "extra", 1, 0, "x");
        Click(w.get(), "comAdd");
        QCOMPARE(tables.count, kFilterSlots);
        QCOMPARE(GridRows(*w), kFilterSlots);
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, Say(BrowseText::FilterTableFull));
        QCOMPARE(Find<QLineEdit>(w.get(), "txtFilterHeader")->text(), QString("extra")); // not lost

        // A deleted row frees its slot only at the save; the message says so.
        ClickRow(*w, 0);
        prompter.QueueAnswer(true);
        Click(w.get(), "comDel");
        Fill(*w, "extra", 1, 0, "x");
        Click(w.get(), "comAdd");
        QVERIFY(prompter.shown.back().text.find(Say(BrowseText::FilterTableFullDeleted)) != std::string::npos);
    }

    void displayOrderSavesFirstThenStoresTheNewOrder() {
        Store({{0, 1, 0, "a"}, {0, 1, 0, "b"}, {0, 1, 1, "c"}});
        auto w = Open();
        Fill(*w, "d", 2, 0, "d@example.jp");
        Click(w.get(), "comAdd"); // unsaved; the button saves it before the order window opens
        bool ran = false;
        auto drive = [&](frmFilterOrder& order) {
            ran = true;
            auto* list = Find<QListWidget>(&order, "lstFilter");
            QCOMPARE(list->count(), 4);
            QCOMPARE(list->item(2)->text(), frmFilterOrder::ItemText(tables.filters[2]));
            QCOMPARE(tables.filters[2].header, std::string("d")); // action 0 before action 1
            list->setCurrentRow(2);
            Click(&order, "cmdUp");
            Click(&order, "cmdUp");
            QCOMPARE(list->currentRow(), 0);
            QVERIFY(!Find<QPushButton>(&order, "cmdUp")->isEnabled());
            list->setCurrentRow(2);
            QVERIFY(!Find<QPushButton>(&order, "cmdDown")->isEnabled()); // not past the read filters
            Click(&order, "comOk");
        };
        w->SetOrderDialogRunner([&](frmFilterOrder& order) {
            drive(order);
            return order.result();
        });
        Click(w.get(), "cmdDspChenge");
        QVERIFY(ran);
        const std::vector<Stored> expected = {{10, 2, 0, "d"}, {20, 1, 0, "a"}, {30, 1, 0, "b"}, {40, 1, 1, "c"}};
        QCOMPARE(StoredFilters(*db), expected);
        QCOMPARE(GridRow(*w, 0).at(0), QString("d"));
        QCOMPARE(tables.filters[0].number, 10);
        QCOMPARE(w->SelectedRow(), 0);
    }

    void displayOrderCancelKeepsTheOrder() {
        Store({{0, 1, 0, "a"}, {0, 1, 0, "b"}});
        auto w = Open();
        auto drive = [&](frmFilterOrder& order) {
            auto* list = Find<QListWidget>(&order, "lstFilter");
            list->setCurrentRow(1);
            Click(&order, "cmdUp");
            QCOMPARE(list->item(0)->text(), frmFilterOrder::ItemText(tables.filters[1]));
            Click(&order, "comCancel");
        };
        w->SetOrderDialogRunner([&](frmFilterOrder& order) {
            drive(order);
            return order.result();
        });
        Click(w.get(), "cmdDspChenge");
        const std::vector<Stored> expected = {{10, 1, 0, "a"}, {20, 1, 0, "b"}};
        QCOMPARE(StoredFilters(*db), expected);
        QCOMPARE(GridRow(*w, 0).at(0), QString("a"));
        QCOMPARE(tables.filters[0].header, std::string("a"));
    }
};

QTEST_MAIN(FilterEditorTest)
#include "frmFilter_test.moc"
