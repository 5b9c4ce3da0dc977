#pragma once
// The main window's control lock and wait window. While long work runs every button, list and menu
// entry is off (nested locks count); the wait window shows the work's lines and progress for the life
// of a WaitScope on Wait(). The controls themselves are registered in Registry().
#include <QPointer>
#include <functional>

#include "browse/QtCommandRegistry.h"
#include "common/WaitReporter.h"

class QShortcut;
class QWidget;

namespace kamo {

class Prompter;
class frmWait;

class QtControlLock : public WaitReporter {
public:
    // `window` holds the controls; `beforeLock` runs before a command's lock (a list still reading
    // from the archive reads to its end).
    // `prompter` asks before Esc stops work that would lose what it did.
    QtControlLock(QWidget& window, Prompter& prompter, std::function<void()> beforeLock)
        : window_(window), prompter_(prompter), beforeLock_(std::move(beforeLock)) {}

    QtCommandRegistry& Registry() { return registry_; }

    // A command's lock; LockForRefill: a list refill's, the list being replaced, not read to its end.
    void Lock();
    void LockForRefill();
    // Work beside the user (a read): a command's lock, but the typing fields stay on, so what the
    // user types goes on into them.
    void LockBeside();
    void Unlock();
    bool Locked() const { return depth_ > 0; }
    // The writing commands off while a backup is on display (viewing), the rest as the lock has them.
    void ApplyBackupView(bool viewing);

    // A list refill's lock for a scope; the wait window is not shown for it.
    class Scope {
    public:
        explicit Scope(QtControlLock& lock) : lock_(lock) { lock_.LockForRefill(); }
        ~Scope() { lock_.Unlock(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        QtControlLock& lock_;
    };

    frmWait& WaitWindow();

    // WaitReporter: between Begin and End the wait window is shown and the controls are locked.
    void SetLine(int index, const std::string& text) override;
    void SetProgress(int64_t done, int64_t total) override;
    void Pump() override;
    void Begin() override;
    void End() override;
    void OfferCancel() override;
    void OfferCancelAsking(const std::string& question) override;
    bool CancelRequested() const override;

private:
    QWidget& window_;
    Prompter& prompter_;
    std::function<void()> beforeLock_;
    QtCommandRegistry registry_;
    frmWait* waitWindow_ = nullptr;
    QShortcut* escape_ = nullptr; // Esc in the main window while the wait window is up
    int depth_ = 0;
    // Wait scopes open now: the wait window goes when the last one ends, whatever locks remain.
    int waitDepth_ = 0;
    // The control that had the keyboard when the lock began: disabling it moves the focus away, and
    // it takes the focus back when the lock ends.
    QPointer<QWidget> focusBeforeLock_;
};

} // namespace kamo
