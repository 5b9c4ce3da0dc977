// Japanese everywhere: Qt's own texts translated, the Windows font names drawn with the Japanese
// fonts installed here, numbers with thousands separators.
#include <QApplication>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "browse/QtJapanese.h"
#include "browse/SubjectLines.h"
#include "browse/frmOption.h"
#include "common/NumberText.h"
#include "common/QtPrompter.h"

using namespace kamo;

class frmJapaneseTest : public QObject {
    Q_OBJECT
private slots:
    void qtsOwnTextsSpeakJapanese() {
        QVERIFY(InstallJapaneseTranslations(*QCoreApplication::instance()));
        for (const auto& [context, text] :
             {std::pair{"QWidgetTextControl", "&Copy"}, std::pair{"QWidgetTextControl", "Select All"},
              std::pair{"QFileDialog", "&Open"}, std::pair{"QFontDialog", "Select Font"}}) {
            const QString translated = QCoreApplication::translate(context, text);
            QVERIFY2(translated != QString(text), text);
        }
    }

    void windowsFontNamesAreDrawnWithAFixedPitchJapaneseFont() {
        MapWindowsFontNames();
        const QFont lists = MailTextFont("ＭＳ ゴシック", 10, "0,0");
        // Fixed pitch as the subject lines need it: every ASCII character one cell, Japanese two.
        QFontMetricsF cells(lists);
        const qreal cell = cells.horizontalAdvance('W');
        for (char c : std::string("i.,|W0 "))
            QCOMPARE(cells.horizontalAdvance(QChar(c)), cell);
        QVERIFY(qAbs(cells.horizontalAdvance(QString::fromUtf8("ポ")) - 2 * cell) < 0.01);
        QCOMPARE(QFontInfo(QFont(QString::fromUtf8("ＭＳ ゴシック"))).family(), QFontInfo(lists).family());
        // "." and "," are told apart: different glyphs at the default size.
        QFontMetrics m(lists);
        QVERIFY(m.boundingRect('.') != m.boundingRect(','));
    }

    void aSummaryTableAlignsItsNumbersAndEndsWithTheTotals() {
        QtPrompter prompter;
        Prompter::Table table;
        table.headline = "読み込みました。";
        table.columns = {"メールボックス", "読込", "備考"};
        table.rows = {{"受信フォルダ", "1,234", ""}, {"合計", "1,234", ""}};
        QStringList seen;
        bool rightAligned = false, totalsBold = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = QApplication::activeModalWidget();
            auto* grid = dialog ? dialog->findChild<QTableWidget*>("grdTable") : nullptr;
            if (grid) {
                for (int c = 0; c < grid->columnCount(); ++c)
                    seen << grid->horizontalHeaderItem(c)->text();
                rightAligned = grid->item(0, 1)->textAlignment() & Qt::AlignRight;
                totalsBold = grid->item(1, 0)->font().bold() && !grid->item(0, 0)->font().bold();
            }
            if (dialog)
                dialog->close();
        });
        prompter.ShowTable(table, "PostPet Mail Read");
        QCOMPARE(seen, QStringList({QString::fromUtf8("メールボックス"), QString::fromUtf8("読込"),
                                    QString::fromUtf8("備考")}));
        QVERIFY(rightAligned);
        QVERIFY(totalsBold);
    }

    void numbersCarryThousandsSeparators() {
        const std::pair<int64_t, const char*> cases[] = {
            {0, "0"}, {999, "999"}, {1000, "1,000"}, {123456, "123,456"}, {1234567, "1,234,567"}, {-4321, "-4,321"}};
        for (const auto& [value, text] : cases)
            QCOMPARE(WithSeparators(value), std::string(text));
        QCOMPARE(RecCountText(1000000), std::string("表示件数　：　1,000,000 件"));
    }
};

QTEST_MAIN(frmJapaneseTest)
#include "frmJapanese_test.moc"
