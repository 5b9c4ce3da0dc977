#pragma once
// The main window's controls as the control lock sees them: every button, list and menu entry is
// switched off while long work runs; a control that runs a command follows the command table
// (common/CommandTable.h): the writing ones stay off while a backup is on display, whatever the lock
// does, and the way back to the archive is on only then.
#include <QList>
#include <QSet>

class QObject;

namespace kamo {

class QtCommandRegistry {
public:
    // Switched off and on with the lock.
    void AddLockable(QObject* control);
    // A control that runs a command: lockable, and declared in the command table under its object
    // name. Throws std::logic_error for one that is not, so no command escapes the backup view.
    void AddCommand(QObject* control);
    // Lockable, but left on by a lock that lets the user go on typing (a read beside the user).
    void AddTypingField(QObject* control);
    // Every lockable control on (except blocked ones) or off; `keepTyping`: the typing fields stay on.
    void ApplyEnabled(bool enabled, bool keepTyping = false);
    // Blocks what the command table keeps off in the backup view (viewing) or in the archive's.
    void ApplyBackupView(bool viewing);
    // True when the lock switches the control off, itself or through a parent.
    bool Locks(const QObject* control) const;

private:
    QList<QObject*> lockable_;
    QList<QObject*> commands_;
    QList<QObject*> typing_;
    QSet<const QObject*> blocked_;
};

} // namespace kamo
