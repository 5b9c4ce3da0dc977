#pragma once
// What the main window does when nothing else runs, looked at each second by Timer1: the start-up
// upkeep's end (a compacted copy put in place, or a problem told) and 自動読み込み (the chosen mailboxes
// watched while the option is on, read once PostPet has written them). Never inside another command,
// in a modal dialog, or before the window is loaded or after it began to close.
#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "import/MailboxWatch.h"

class QTimer;

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class QtControlLock;
class QtMailBrowser;
class QtMailboxWatch;
class WaitReporter;
struct MailboxInfo;

class QtIdleWork : public QObject {
    Q_OBJECT
public:
    // `ready`: the window is loaded and not closing; `note`: a line for its status bar; `progress`:
    // where a read reports, beside the user.
    QtIdleWork(ArchiveSession& session, Prompter& prompter, QtControlLock& lock, WaitReporter& progress,
               QtMailBrowser& browser, ArchiveView& view, std::function<bool()> ready,
               std::function<void(const QString&)> note, QObject* parent);
    ~QtIdleWork() override;

    // The second's tick (the window's clock hangs on it).
    QTimer& Timer1() { return *timer_; }
    // Starts, keeps or stops the watch as the settings now say (after a load or the options).
    void ArmAutoRead();
    // The window closes: no more ticks, no more watching.
    void Stop();
    // Timer1: what waits for an idle window.
    void Tick();

private:
    void FinishUpkeepWhenIdle();
    void AutoReadWhenIdle();
    bool Idle() const;

    ArchiveSession& session_;
    Prompter& prompter_;
    QtControlLock& lock_;
    WaitReporter& progress_;
    QtMailBrowser& browser_;
    ArchiveView& view_;
    std::function<bool()> ready_;
    std::function<void(const QString&)> note_;
    QTimer* timer_ = nullptr;
    std::unique_ptr<QtMailboxWatch> autoReadWatch_;
    std::vector<MailboxChoice> autoReadDue_;        // written and settled, waiting for the window to be idle
    std::vector<const MailboxInfo*> autoReadBoxes_; // what autoReadWatch_ watches, and where
    std::filesystem::path autoReadDir_;
    bool upkeepTold_ = false;
};

} // namespace kamo
