#include "browse/QtMonthChart.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "common/NumberText.h"

namespace kamo {
namespace {

const QColor kReceived(70, 130, 180);
const QColor kSent(222, 120, 60);

QString U(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

QtMonthChart::QtMonthChart(QWidget* parent) : QWidget(parent) {
    setObjectName("picYears");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void QtMonthChart::SetCounts(std::vector<MonthCount> counts, const QString& title) {
    counts_ = std::move(counts);
    title_ = title;
    monthIndexes_.clear();
    for (const MonthCount& c : counts_) {
        int year = 0, month = 0;
        monthIndexes_.push_back(ParseMonth(c.month, year, month) ? year * 12 + month - 1 : -1);
    }
    update();
}

void QtMonthChart::Clear() {
    SetCounts({}, QString());
}

QtMonthChart::Layout QtMonthChart::Plan() const {
    Layout layout;
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    // Title on top, year labels below the plot, room for the largest count on the left.
    layout.plot = rect().adjusted(8, line + 6, -8, -(line + 4));
    int first = -1, last = -1;
    for (int index : monthIndexes_) {
        if (index < 0)
            continue;
        first = first < 0 ? index : std::min(first, index);
        last = std::max(last, index);
    }
    if (first < 0 || layout.plot.width() <= 0 || layout.plot.height() <= 0)
        return layout;
    layout.firstMonthIndex = first;
    layout.months = last - first + 1;
    layout.columnWidth = static_cast<double>(layout.plot.width()) / layout.months;
    layout.axisY = layout.plot.top() + layout.plot.height() * 3 / 5; // received mail is most of the mail
    return layout;
}

QRect QtMonthChart::ColumnRect(const Layout& layout, int monthIndex) const {
    const int column = monthIndex - layout.firstMonthIndex;
    if (layout.months == 0 || column < 0 || column >= layout.months)
        return {};
    const int left = layout.plot.left() + static_cast<int>(std::floor(column * layout.columnWidth));
    const int right = layout.plot.left() + static_cast<int>(std::floor((column + 1) * layout.columnWidth));
    return QRect(QPoint(left, layout.plot.top()), QPoint(std::max(left, right - 1), layout.plot.bottom()));
}

void QtMonthChart::SetChosenMonth(const QString& month) {
    if (chosen_ == month)
        return;
    chosen_ = month;
    update();
}

QRect QtMonthChart::ChosenMonthRect() const {
    if (chosen_.size() != 7)
        return {};
    return MonthBarRect(chosen_.left(4).toInt(), chosen_.mid(5, 2).toInt());
}

QRect QtMonthChart::MonthBarRect(int year, int month) const {
    const int index = year * 12 + month - 1;
    if (month < 1 || month > 12 || std::find(monthIndexes_.begin(), monthIndexes_.end(), index) == monthIndexes_.end())
        return {};
    return ColumnRect(Plan(), index);
}

int QtMonthChart::CountAt(const QPoint& point) const {
    const Layout layout = Plan();
    if (layout.months == 0 || !layout.plot.contains(point))
        return -1;
    const int monthIndex =
        layout.firstMonthIndex + static_cast<int>((point.x() - layout.plot.left()) / layout.columnWidth);
    for (size_t i = 0; i < monthIndexes_.size(); ++i)
        if (monthIndexes_[i] == monthIndex)
            return static_cast<int>(i);
    return -1;
}

void QtMonthChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QFontMetrics metrics(font());
    const Layout layout = Plan();

    // Title and legend.
    painter.setPen(palette().text().color());
    const QString title = title_.isEmpty() ? U("すべてのメール") : title_;
    painter.drawText(QRect(8, 2, width() - 16, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(title, Qt::ElideRight, width() / 2));
    int legendX = width() - 8;
    for (auto [color, label] : {std::pair{kSent, U("送信（下）")}, std::pair{kReceived, U("受信（上）")}}) {
        const int w = metrics.horizontalAdvance(label);
        legendX -= w;
        painter.drawText(QRect(legendX, 2, w, metrics.height()), Qt::AlignVCenter, label);
        legendX -= metrics.height();
        painter.fillRect(QRect(legendX, 2 + metrics.height() / 4, metrics.height() / 2, metrics.height() / 2), color);
        legendX -= 12;
    }
    if (layout.months == 0) {
        painter.drawText(rect(), Qt::AlignCenter, U("メールがありません"));
        return;
    }

    const BusiestMonth busiest = BusiestMonthOf(counts_);
    const int64_t mostReceived = std::max<int64_t>(1, busiest.received);
    const int64_t mostSent = std::max<int64_t>(1, busiest.sent);
    const int64_t most = std::max(mostReceived, mostSent);
    const int up = layout.axisY - layout.plot.top();
    const int down = layout.plot.bottom() - layout.axisY;
    // One scale for both directions, so the bars compare; the fuller half sets it.
    const double scale = std::min(up / static_cast<double>(mostReceived), down / static_cast<double>(mostSent));

    // Year boundaries and labels.
    const QColor grid = palette().mid().color();
    const int firstYear = layout.firstMonthIndex / 12;
    const int lastYear = (layout.firstMonthIndex + layout.months - 1) / 12;
    const int labelWidth = metrics.horizontalAdvance("0000") + 6;
    int lastLabelRight = -1000;
    for (int year = firstYear; year <= lastYear; ++year) {
        const int startIndex = std::max(year * 12, layout.firstMonthIndex);
        const QRect column = ColumnRect(layout, startIndex);
        painter.setPen(grid);
        if (year * 12 >= layout.firstMonthIndex)
            painter.drawLine(column.left(), layout.plot.top(), column.left(), layout.plot.bottom() + 3);
        const int yearWidth = static_cast<int>(12 * layout.columnWidth);
        if (column.left() >= lastLabelRight && (yearWidth >= labelWidth || year % 5 == 0 || year == firstYear)) {
            painter.setPen(palette().text().color());
            painter.drawText(QRect(column.left() + 2, layout.plot.bottom() + 3, labelWidth, metrics.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, QString::number(year));
            lastLabelRight = column.left() + labelWidth;
        }
    }

    // The chosen month: its whole column underlaid, so the list beside it says which month it holds.
    if (const QRect chosen = ChosenMonthRect(); !chosen.isEmpty())
        painter.fillRect(chosen.adjusted(-1, 0, 1, 0), palette().highlight().color().lighter(160));
    // The bars: a gap between columns once they are wide enough to spare one.
    const int gap = layout.columnWidth >= 4 ? 1 : 0;
    for (size_t i = 0; i < counts_.size(); ++i) {
        if (monthIndexes_[i] < 0)
            continue;
        const QRect column = ColumnRect(layout, monthIndexes_[i]);
        const int left = column.left() + gap;
        const int width = std::max(1, column.width() - gap);
        const int received = counts_[i].received > 0 ? std::max(1, int(std::lround(counts_[i].received * scale))) : 0;
        const int sent = counts_[i].sent > 0 ? std::max(1, int(std::lround(counts_[i].sent * scale))) : 0;
        painter.fillRect(QRect(left, layout.axisY - received, width, received), kReceived);
        painter.fillRect(QRect(left, layout.axisY + 1, width, sent), kSent);
    }
    painter.setPen(palette().text().color());
    painter.drawLine(layout.plot.left(), layout.axisY, layout.plot.right(), layout.axisY);
    // The scale, beside the title: the fullest month's count.
    painter.setPen(grid);
    const int titleRight = 8 + metrics.horizontalAdvance(metrics.elidedText(title, Qt::ElideRight, width() / 2)) + 12;
    painter.drawText(QRect(titleRight, 2, std::max(0, legendX - titleRight), metrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     U("（いちばん多い月 %1 通）").arg(QString::fromStdString(WithSeparators(most))));
}

void QtMonthChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const int index = CountAt(event->position().toPoint());
    if (index >= 0)
        emit MonthChosen(QString::fromStdString(counts_[static_cast<size_t>(index)].month));
}

bool QtMonthChart::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = CountAt(help->pos());
        if (index < 0)
            return QWidget::event(event); // the picture's own tool tip, off the bars
        QToolTip::showText(help->globalPos(), QString::fromStdString(MonthTip(counts_[static_cast<size_t>(index)])),
                           this);
        return true;
    }
    return QWidget::event(event);
}

} // namespace kamo
