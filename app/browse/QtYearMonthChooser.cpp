#include "browse/QtYearMonthChooser.h"

#include <QTimer>
#include <map>

#include "browse/QtListModels.h"
#include "common/NumberText.h"

namespace kamo {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
QString U(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

QtYearMonthChooser::QtYearMonthChooser(QWidget* parent) : QComboBox(parent) {
    setObjectName("cmbYearMonth");
    setToolTip(U("選んだ年月の日付へ移ります"));
    hide();
}

void QtYearMonthChooser::Empty() {
    clear();
    hide();
}

void QtYearMonthChooser::Fill(const KeyListModel& days) {
    clear();
    if (days.rowCount() == 0) {
        hide();
        return;
    }
    // Dates come newest first as "yyyy/mm/dd": one entry per month, at the month's first row.
    QString month;
    int count = 0;
    auto addMonth = [&](int firstRow) {
        addItem(EntryText(month, count, std::nullopt), firstRow);
        setItemData(this->count() - 1, month, kMonthRole);
        setItemData(this->count() - 1, count, kDaysRole);
    };
    int first = 0;
    for (int row = 0; row < days.rowCount(); ++row) {
        const QString m = Q(days.At(row)->text).left(7);
        if (m != month) {
            if (!month.isEmpty())
                addMonth(first);
            month = m;
            first = row;
            count = 0;
        }
        ++count;
    }
    addMonth(first);
    setCurrentIndex(-1);
    setPlaceholderText(U("年月を選ぶ（%1 か月）").arg(this->count()));
    show();
    // Counting the whole archive by month takes longer than the list: the mails come in once the
    // list is on screen.
    QTimer::singleShot(0, this, [this, filled = ++fills_] {
        if (filled == fills_)
            emit CountsWanted();
    });
}

QString QtYearMonthChooser::EntryText(const QString& month, int days, std::optional<int64_t> mails) {
    const QString when = U("%1年%2月").arg(month.left(4), month.mid(5, 2));
    return mails ? U("%1（%2 日・%3 通）").arg(when).arg(days).arg(Q(WithSeparators(*mails)))
                 : U("%1（%2 日）").arg(when).arg(days);
}

void QtYearMonthChooser::SetCounts(const std::vector<MonthCount>& counts) {
    // Each month says how many mails it holds, received and sent apart in its tool tip.
    std::map<QString, const MonthCount*> byMonth;
    for (const MonthCount& count : counts)
        byMonth.emplace(Q(count.month), &count);
    for (int index = 0; index < count(); ++index) {
        const QString month = itemData(index, kMonthRole).toString();
        const auto it = byMonth.find(month);
        const MonthCount count = it != byMonth.end() ? *it->second : MonthCount{month.toStdString()};
        setItemText(index, EntryText(month, itemData(index, kDaysRole).toInt(), count.received + count.sent));
        setItemData(index, Q(MonthTip(count)), Qt::ToolTipRole);
    }
}

int QtYearMonthChooser::IndexOfMonth(const QString& month) const {
    return findData(month, kMonthRole);
}

int QtYearMonthChooser::FirstRowAt(int index) const {
    return itemData(index).toInt();
}

void QtYearMonthChooser::Follow(const std::string& day) {
    if (const int index = IndexOfMonth(Q(day).left(7)); index >= 0)
        setCurrentIndex(index);
}

} // namespace kamo
