#pragma once
// The main window's controls as the control lock sees them: every button, list and menu entry is
// switched off while long work runs; blocked commands (the writing ones while a backup is on
// display) stay off whatever the lock does.
#include <QList>
#include <QSet>

class QObject;

namespace kamo {

class QtCommandRegistry {
public:
    // Switched off and on with the lock.
    void AddLockable(QObject* control);
    // Every lockable control on (except blocked ones) or off.
    void ApplyEnabled(bool enabled);
    void SetBlocked(QObject* command, bool blocked);
    bool Blocked(const QObject* command) const { return blocked_.contains(command); }

private:
    QList<QObject*> lockable_;
    QSet<const QObject*> blocked_;
};

} // namespace kamo
