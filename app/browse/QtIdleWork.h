#pragma once
// What the main window does when nothing else runs, looked at each second by Timer1: the start-up
// upkeep's end (a compacted copy put in place, or a problem told), 自動読み込み (the chosen mailboxes
// watched while the option is on, read once PostPet has written them) and the conversation index of
// an archive that lacks it (made a piece of well under a tenth of a second at a time, the window's
// events running between the pieces, stopped whenever the window is busy and taken up again at the
// next idle second; the mail on display then shows its conversation line). Never inside another command,
// in a modal dialog, or before the window is loaded or after it began to close.
#include <QObject>
#include <QString>
#include <cstdint>
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
    // Whether pieces of the conversation index are being made.
    bool MakingConversationIndex() const;

private:
    void FinishUpkeepWhenIdle();
    void AutoReadWhenIdle();
    void MakeConversationIndexWhenIdle();
    // One piece of the conversation index; the next follows from the event loop.
    void ConversationIndexPiece();
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
    QTimer* indexPieces_ = nullptr; // the conversation index's pieces, one a pass of the event loop
    int64_t indexPieceRows_ = 2048; // mails a piece, fitted to kIndexPieceMs as the pieces go
};

} // namespace kamo
