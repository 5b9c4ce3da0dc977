#include "browse/QtControlLock.h"

#include <QApplication>
#include <QShortcut>
#include <QWidget>

#include "browse/frmWait.h"
#include "common/Prompter.h"

namespace kamo {

void QtControlLock::Lock() {
    if (beforeLock_)
        beforeLock_();
    LockForRefill();
}

void QtControlLock::LockForRefill() {
    if (depth_++ == 0) {
        QWidget* focus = QApplication::focusWidget();
        focusBeforeLock_ = focus && window_.isAncestorOf(focus) ? focus : nullptr;
        registry_.ApplyEnabled(false);
    }
}

void QtControlLock::LockBeside() {
    if (beforeLock_)
        beforeLock_();
    if (depth_++ == 0) {
        QWidget* focus = QApplication::focusWidget();
        focusBeforeLock_ = focus && window_.isAncestorOf(focus) ? focus : nullptr;
        registry_.ApplyEnabled(false, true);
    }
}

void QtControlLock::Unlock() {
    if (depth_ > 0 && --depth_ == 0) {
        registry_.ApplyEnabled(true);
        // Disabling the focused list or button sent the focus on to the next control still on (the
        // mail text); it goes back, so that the arrows keep walking the list the user was in. When
        // the control was never switched off, the focus moved on purpose and stays where it is.
        QWidget* before = focusBeforeLock_;
        focusBeforeLock_ = nullptr;
        QWidget* now = QApplication::focusWidget();
        if (before && before->isEnabled() && before->isVisible() && now != before &&
            (!now || (window_.isAncestorOf(now) && registry_.Locks(before))))
            before->setFocus(Qt::MouseFocusReason); // no reason that makes an empty list choose a line
    }
}

void QtControlLock::ApplyBackupView(bool viewing) {
    // What would change the archive stays off while a backup is on display; the backup itself can
    // never change, it is opened read-only.
    registry_.ApplyBackupView(viewing);
    registry_.ApplyEnabled(depth_ == 0);
}

frmWait& QtControlLock::WaitWindow() {
    if (!waitWindow_) {
        waitWindow_ = new frmWait(&window_);
        // The wait window does not take the keyboard: Esc in the main window is meant for it.
        escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), &window_);
        escape_->setEnabled(false);
        QObject::connect(escape_, &QShortcut::activated, waitWindow_, &frmWait::Escape);
    }
    return *waitWindow_;
}

void QtControlLock::Begin() {
    ++waitDepth_;
    Lock();
    frmWait& wait = WaitWindow();
    if (!wait.isVisible()) {
        wait.Reset();
        wait.show();
        wait.raise();
        escape_->setEnabled(true);
        QCoreApplication::processEvents();
    }
}

void QtControlLock::OfferCancel() {
    WaitWindow().OfferCancel(true);
}

void QtControlLock::OfferCancelAsking(const std::string& question) {
    WaitWindow().OfferCancel(true, [this, question] { return prompter_.AskYesNo(question, "中止"); });
}

bool QtControlLock::CancelRequested() const {
    return waitWindow_ && waitWindow_->CancelRequested();
}

void QtControlLock::End() {
    // The last wait scope hides the window, also when a list refill's lock is still held around it
    // (a search that first brings the index up to date).
    if (waitDepth_ > 0 && --waitDepth_ == 0 && waitWindow_) {
        waitWindow_->OfferCancel(false);
        // The keyboard goes back to the main window, to the control it was in.
        const bool hadKeyboard = waitWindow_->isActiveWindow();
        waitWindow_->hide();
        escape_->setEnabled(false);
        if (hadKeyboard && window_.isVisible())
            window_.activateWindow();
    }
    Unlock();
}

void QtControlLock::SetLine(int index, const std::string& text) {
    WaitWindow().SetLine(index, text);
}

void QtControlLock::SetProgress(int64_t done, int64_t total) {
    WaitWindow().SetProgress(done, total);
}

void QtControlLock::Pump() {
    WaitWindow().Pump();
}

} // namespace kamo
