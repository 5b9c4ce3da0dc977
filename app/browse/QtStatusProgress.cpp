#include "browse/QtStatusProgress.h"

#include <utility>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>

#include "browse/QtControlLock.h"

namespace kamo {
namespace {
constexpr qint64 kPumpIntervalMs = 50;
}

QtStatusProgress::QtStatusProgress(QStatusBar& bar, QtControlLock& lock) : QObject(&bar), lock_(lock) {
    lblProgress_ = new QLabel(&bar);
    lblProgress_->setObjectName("lblProgress");
    prgProgress_ = new QProgressBar(&bar);
    prgProgress_->setObjectName("prgProgress");
    prgProgress_->setMaximumWidth(160);
    cmdStop_ = new QPushButton(QString::fromUtf8("中止"), &bar);
    cmdStop_->setObjectName("stsStop");
    cmdStop_->setToolTip(QString::fromUtf8("メール1通の区切りで止めます。それまでに読んだメールは保存されます"));
    cmdStop_->setFocusPolicy(Qt::NoFocus); // the keyboard stays where the user is
    connect(cmdStop_, &QPushButton::clicked, this, [this] {
        cancelRequested_ = true;
        cmdStop_->setEnabled(false);
        cmdStop_->setText(QString::fromUtf8("止めています..."));
    });
    bar.addPermanentWidget(lblProgress_);
    bar.addPermanentWidget(prgProgress_);
    bar.addPermanentWidget(cmdStop_);
    for (QWidget* w : std::initializer_list<QWidget*>{lblProgress_, prgProgress_, cmdStop_})
        w->hide();
    sincePump_.start();
}

void QtStatusProgress::Begin() {
    if (depth_++ > 0)
        return;
    lock_.LockBeside();
    lines_.fill(QString());
    cancelRequested_ = false;
    lblProgress_->clear();
    prgProgress_->setRange(0, 0);
    lblProgress_->show();
    prgProgress_->show();
    QCoreApplication::processEvents();
    showNextPump_ = true; // the work's first lines are shown as soon as it sets them
}

void QtStatusProgress::End() {
    if (depth_ == 0 || --depth_ > 0)
        return;
    for (QWidget* w : std::initializer_list<QWidget*>{lblProgress_, prgProgress_, cmdStop_})
        w->hide();
    cmdStop_->setEnabled(true);
    cmdStop_->setText(QString::fromUtf8("中止"));
    lock_.Unlock();
}

void QtStatusProgress::OfferCancel() {
    cancelRequested_ = false;
    cmdStop_->setVisible(depth_ > 0);
}

void QtStatusProgress::SetLine(int index, const std::string& text) {
    if (index < 0 || index >= kLines)
        return;
    lines_[static_cast<size_t>(index)] = QString::fromStdString(text).trimmed();
    ShowLines();
}

QString QtStatusProgress::Text() const {
    return lblProgress_->text();
}

void QtStatusProgress::ShowLines() {
    // The wait window's lines on one line; the full-width spaces that indent them there go.
    QStringList parts;
    for (const QString& line : lines_) {
        QString part = line;
        part.remove(QChar(0x3000));
        if (!part.isEmpty() && part != QString::fromUtf8("少々お待ちください。"))
            parts << part;
    }
    lblProgress_->setText(parts.join(' '));
}

void QtStatusProgress::SetProgress(int64_t done, int64_t total) {
    if (total <= 0) {
        prgProgress_->setRange(0, 0);
        return;
    }
    const int64_t scale = total > 1'000'000'000 ? total / 1'000'000 + 1 : 1;
    prgProgress_->setRange(0, static_cast<int>(total / scale));
    prgProgress_->setValue(static_cast<int>(std::min(done, total) / scale));
}

void QtStatusProgress::Pump() {
    if (!std::exchange(showNextPump_, false) && sincePump_.elapsed() < kPumpIntervalMs)
        return;
    sincePump_.restart();
    QCoreApplication::processEvents();
}

} // namespace kamo
