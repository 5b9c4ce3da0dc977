#pragma once
// The years at a glance: mails per month as bars over all the years, received above the line and
// sent below it, for the whole archive or one key. A click on a month's bar chooses that month.
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "browse/MonthCounts.h"

namespace kamo {

class QtMonthChart : public QWidget {
    Q_OBJECT
public:
    explicit QtMonthChart(QWidget* parent = nullptr);

    // The months to draw (oldest first, as CountMailByMonth gives them) and what they are of.
    void SetCounts(std::vector<MonthCount> counts, const QString& title);
    void Clear();
    const std::vector<MonthCount>& Counts() const { return counts_; }
    QString Title() const { return title_; }

    // The month ("yyyy/mm") marked as the one the list shows; empty for none. Kept across new counts.
    void SetChosenMonth(const QString& month);
    QString ChosenMonth() const { return chosen_; }
    // Its column, empty when none is chosen or it is not on the chart.
    QRect ChosenMonthRect() const;

    // Where a month's bar is drawn (its whole column, received and sent); empty when the month is
    // not on the chart.
    QRect MonthBarRect(int year, int month) const;

    QSize sizeHint() const override { return {640, 150}; }
    QSize minimumSizeHint() const override { return {200, 90}; }

signals:
    // A click on a month: "yyyy/mm".
    void MonthChosen(const QString& month);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The drawing's plan: every month from the first to the last, empty ones included, so that the
    // gaps in a friendship show as gaps.
    struct Layout {
        QRect plot;
        int firstMonthIndex = 0; // year * 12 + month - 1 of the leftmost column
        int months = 0;
        double columnWidth = 0;
        int axisY = 0; // received above, sent below
    };
    Layout Plan() const;
    // The month under a point, as an index into counts_; -1 for none.
    int CountAt(const QPoint& point) const;
    QRect ColumnRect(const Layout& layout, int monthIndex) const;

    std::vector<MonthCount> counts_;
    std::vector<int> monthIndexes_; // year * 12 + month - 1 of each count; -1 when not a date
    QString title_;
    QString chosen_;
};

} // namespace kamo
