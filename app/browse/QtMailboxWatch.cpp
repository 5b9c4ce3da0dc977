#include "browse/QtMailboxWatch.h"

#include <QSocketNotifier>
#include <QTimer>

namespace kamo {

QtMailboxWatch::QtMailboxWatch(std::filesystem::path postPetDir, std::vector<MailboxChoice> mailboxes,
                               std::chrono::milliseconds settle, DueFn due, QObject* parent)
    : QObject(parent), watch_(std::move(postPetDir), std::move(mailboxes), settle), due_(std::move(due)) {
    notifier_ = new QSocketNotifier(watch_.Fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        watch_.TakeEvents();
        Step();
    });
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &QtMailboxWatch::Step);
    Step();
}

QtMailboxWatch::~QtMailboxWatch() = default;

void QtMailboxWatch::Step() {
    std::vector<MailboxChoice> due = watch_.TakeDue();
    SetTimer();
    if (!due.empty() && due_)
        due_(std::move(due));
}

void QtMailboxWatch::SetTimer() {
    // No timer at all while nothing settles, no retry waits and every folder is there.
    const int timeout = watch_.TimeoutMs();
    if (timeout >= 0)
        timer_->start(timeout);
    else
        timer_->stop();
}

std::chrono::milliseconds QtMailboxWatch::ReadFailed(const std::vector<MailboxChoice>& boxes) {
    const auto wait = watch_.ReadFailed(boxes);
    SetTimer();
    return wait;
}

std::string QtMailboxWatch::SetAsideUnfinished(const std::vector<MailboxChoice>& read, ReadSummary& summary) {
    std::string note = kamo::SetAsideUnfinished(watch_, read, summary);
    SetTimer();
    return note;
}

} // namespace kamo
