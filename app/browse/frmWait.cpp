#include "browse/frmWait.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kamo {
namespace {
constexpr qint64 kPumpIntervalMs = 50;
}

frmWait::frmWait(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("frmWait");
    setWindowTitle(QString::fromUtf8("しばらくお待ちください"));
    setModal(false);
    // Shown, it leaves the keyboard with the main window: work of a moment would otherwise take the
    // activation away and the window system give it back only later, the keys typed meanwhile going
    // nowhere and the focus not yet back in the list. Esc in the main window reaches it
    // (QtControlLock).
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < kLines; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QString("lblMessage%1").arg(i + 1));
        label->setMinimumWidth(320);
        layout->addWidget(label);
        lines_[static_cast<size_t>(i)] = label;
    }
    progress_ = new QProgressBar(this);
    progress_->setObjectName("prgWait");
    layout->addWidget(progress_);
    cmdCancel_ = new QPushButton(QString::fromUtf8("中　止"), this);
    cmdCancel_->setObjectName("cmdCancel");
    // The work says, when it has stopped, what became of the part done so far.
    cmdCancel_->setToolTip(
        QString::fromUtf8("メール1通の区切りで止めます。それまでの分の扱いは止めたあとにお知らせします"));
    connect(cmdCancel_, &QPushButton::clicked, this, [this] {
        cancelRequested_ = true;
        cmdCancel_->setEnabled(false);
        cmdCancel_->setText(QString::fromUtf8("止めています..."));
    });
    layout->addWidget(cmdCancel_, 0, Qt::AlignRight);
    cmdCancel_->hide();
    Reset();
    sincePump_.start();
}

void frmWait::reject() {
    Escape();
}

void frmWait::Escape() {
    // Esc can be a slip: where stopping throws work away, the user says so first.
    if (!cmdCancel_->isVisible() || !cmdCancel_->isEnabled())
        return;
    if (askFirst_ && !askFirst_())
        return;
    if (cmdCancel_->isVisible() && cmdCancel_->isEnabled()) // the work may have ended meanwhile
        cmdCancel_->click();
}

void frmWait::OfferCancel(bool offered, std::function<bool()> askFirst) {
    askFirst_ = offered ? std::move(askFirst) : nullptr;
    cancelRequested_ = false;
    cmdCancel_->setEnabled(true);
    cmdCancel_->setText(QString::fromUtf8("中　止"));
    cmdCancel_->setVisible(offered);
}

void frmWait::SetLine(int index, const std::string& text) {
    if (index < 0 || index >= kLines)
        return;
    lines_[static_cast<size_t>(index)]->setText(QString::fromStdString(text));
}

void frmWait::SetProgress(int64_t done, int64_t total) {
    if (total <= 0) {
        progress_->setRange(0, 0); // unknown amount: a busy bar
        return;
    }
    // QProgressBar counts in int; scale large totals down.
    int64_t scale = total > 1'000'000'000 ? total / 1'000'000 + 1 : 1;
    progress_->setRange(0, static_cast<int>(total / scale));
    progress_->setValue(static_cast<int>(std::min(done, total) / scale));
}

void frmWait::Pump() {
    if (sincePump_.elapsed() < kPumpIntervalMs)
        return;
    sincePump_.restart();
    QCoreApplication::processEvents();
}

void frmWait::Reset() {
    for (auto* label : lines_)
        label->clear();
    progress_->setRange(0, 1);
    progress_->setValue(0);
}

QString frmWait::LineText(int index) const {
    if (index < 0 || index >= kLines)
        return {};
    return lines_[static_cast<size_t>(index)]->text();
}

} // namespace kamo
