#include "browse/QtYearsPicture.h"

#include "browse/KeyLists.h"
#include "browse/MonthCounts.h"
#include "common/Guarded.h"

namespace kamo {

QtYearsPicture::QtYearsPicture(Prompter& prompter, QWidget* parent) : QtMonthChart(parent), prompter_(prompter) {
    setToolTip(QString::fromUtf8("月ごとのメールの数です。棒を押すと、選んだ相手のその月のメールを並べます"
                                 "（相手を選んでいないときは日付表示で開きます）"));
    setMinimumHeight(120);
    hide();
}

void QtYearsPicture::Count(SQLite::Database& db, ViewMode mode, const KeyItem* key, const QString& month) {
    if (!isVisible()) {
        Clear(); // counted again when shown
        return;
    }
    Clear();
    Guarded(prompter_, [&] {
        if (key)
            SetCounts(CountMailByMonth(db, mode, key->text), QString::fromStdString(key->Shown()));
        else
            SetCounts(CountMailByMonth(db), QString::fromUtf8("すべてのメール"));
    });
    SetChosenMonth(key ? month : QString());
}

} // namespace kamo
