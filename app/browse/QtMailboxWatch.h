#pragma once
// The window's side of MailboxWatch: its inotify descriptor on a socket notifier and its settle
// time on a single-shot timer, so the event loop wakes only when PostPet writes. `due` gets the
// mailboxes to read; the window decides when (never while another command runs).
#include <QObject>
#include <functional>
#include <memory>
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

private:
    void Step();

    MailboxWatch watch_;
    DueFn due_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace kamo
