#pragma once
// The date view's year-and-month chooser, above its list of days: one entry per month of the days
// listed, saying how many days it has and, once the list is on screen, how many mails (received and
// sent apart in the entry's tool tip). Hidden in the other views and while no day is listed.
#include <QComboBox>
#include <optional>
#include <string>
#include <vector>

#include "browse/MonthCounts.h"

namespace kamo {

class KeyListModel;

class QtYearMonthChooser : public QComboBox {
    Q_OBJECT
public:
    explicit QtYearMonthChooser(QWidget* parent = nullptr);

    // One entry per month of `days` (the date view's keys, "yyyy/mm/dd" newest first), none chosen,
    // shown; CountsWanted follows once the event loop has run (the list is on screen by then).
    void Fill(const KeyListModel& days);
    // No entries, hidden (the other views, or no day to list).
    void Empty();
    // Each entry's mails, from the whole archive's months.
    void SetCounts(const std::vector<MonthCount>& counts);
    // The entry of `month` ("yyyy/mm"); -1 when there is none.
    int IndexOfMonth(const QString& month) const;
    // The key-list row of the first day of the entry at `index`.
    int FirstRowAt(int index) const;
    // The entry of the month of `day` ("yyyy/mm/dd") chosen, when there is one.
    void Follow(const std::string& day);

    static QString EntryText(const QString& month, int days, std::optional<int64_t> mails);

signals:
    // The entries of the last Fill want their mails counted.
    void CountsWanted();

private:
    static constexpr int kMonthRole = Qt::UserRole + 1; // "yyyy/mm" of an entry
    static constexpr int kDaysRole = Qt::UserRole + 2;  // the days the date view lists of it
    int fills_ = 0;                                     // a count asked for an earlier fill is dropped
};

} // namespace kamo
