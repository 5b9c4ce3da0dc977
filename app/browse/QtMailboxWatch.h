#pragma once
// The window's side of MailboxWatch: its inotify descriptor on a socket notifier and its settle
// time on a single-shot timer, so the event loop wakes only when PostPet writes. `due` gets the
// mailboxes to read; the window decides when (never while another command runs) and tells how the
// read went, so that a failed one is tried again.
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "import/MailboxWatch.h"

class QSocketNotifier;
class QTimer;

namespace kamo {

class QtMailboxWatch : public QObject {
    Q_OBJECT
public:
    using DueFn = std::function<void(std::vector<MailboxChoice>)>;
    // Throws std::system_error when inotify cannot be had.
    QtMailboxWatch(std::filesystem::path postPetDir, std::vector<MailboxChoice> mailboxes,
                   std::chrono::milliseconds settle, DueFn due, QObject* parent = nullptr);
    ~QtMailboxWatch() override;

    // As MailboxWatch::ReadFailed and SetAsideUnfinished, with the timer set for the retry.
    std::chrono::milliseconds ReadFailed(const std::vector<MailboxChoice>& boxes);
    std::string SetAsideUnfinished(const std::vector<MailboxChoice>& read, ReadSummary& summary);

private:
    void Step();
    void SetTimer();

    MailboxWatch watch_;
    DueFn due_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace kamo
