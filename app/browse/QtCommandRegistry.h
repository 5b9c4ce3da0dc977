#pragma once
// The main window's commands as the control lock sees them: every button, list and menu entry that
// is switched off while long work runs, and the commands that are not built yet, which stay off
// with a tool tip saying so whatever the lock does.
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

class QObject;

namespace kamo {

class QtCommandRegistry {
public:
    // Switched off and on with the lock.
    void AddLockable(QObject* control);
    // Not built yet: off, and its tool tip says it cannot be used yet.
    void MarkPending(QObject* command);
    // A pending command becomes usable (enabled unless `locked`), or goes back to pending.
    void SetAvailable(QObject* command, bool available, bool locked);
    bool Available(const QObject* command) const { return command && !pending_.contains(command); }
    // A command's own tool tip; a pending one adds that it cannot be used yet.
    void SetToolTip(QObject* command, const QString& tip);
    // Every lockable control on (except pending and blocked ones) or off.
    void ApplyEnabled(bool enabled);
    // Blocked commands stay off, whatever the lock does (the writing commands while a backup is on
    // display).
    void SetBlocked(QObject* command, bool blocked);
    bool Blocked(const QObject* command) const { return blocked_.contains(command); }

    static QString NotAvailableText();

private:
    QList<QObject*> lockable_;
    QSet<const QObject*> pending_;
    QSet<const QObject*> blocked_;
    QHash<const QObject*, QString> ownToolTips_;
};

} // namespace kamo
