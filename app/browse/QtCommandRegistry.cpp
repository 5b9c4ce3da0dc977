#include "browse/QtCommandRegistry.h"

#include <QAction>
#include <QWidget>
#include <stdexcept>

#include "common/CommandTable.h"

namespace kamo {

void QtCommandRegistry::AddLockable(QObject* control) {
    lockable_.push_back(control);
}

void QtCommandRegistry::AddCommand(QObject* control) {
    const std::string name = control->objectName().toStdString();
    if (!FindWindowCommand(name))
        throw std::logic_error("command not in the command table: " + name);
    AddLockable(control);
    commands_.push_back(control);
}

void QtCommandRegistry::AddTypingField(QObject* control) {
    AddLockable(control);
    typing_.push_back(control);
}

void QtCommandRegistry::ApplyEnabled(bool enabled, bool keepTyping) {
    for (QObject* object : lockable_) {
        const bool on = (enabled || (keepTyping && typing_.contains(object))) && !blocked_.contains(object);
        if (auto* widget = qobject_cast<QWidget*>(object))
            widget->setEnabled(on);
        else if (auto* action = qobject_cast<QAction*>(object))
            action->setEnabled(on);
    }
}

bool QtCommandRegistry::Locks(const QObject* control) const {
    for (const QObject* o = control; o; o = o->parent())
        if (lockable_.contains(const_cast<QObject*>(o)))
            return true;
    return false;
}

void QtCommandRegistry::ApplyBackupView(bool viewing) {
    blocked_.clear();
    for (QObject* control : commands_) {
        const CommandDef* command = FindWindowCommand(control->objectName().toStdString());
        if (viewing ? command->writes : command->backupViewOnly)
            blocked_.insert(control);
    }
}

} // namespace kamo
