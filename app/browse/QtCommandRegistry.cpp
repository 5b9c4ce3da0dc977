#include "browse/QtCommandRegistry.h"

#include <QAction>
#include <QWidget>

namespace kamo {

void QtCommandRegistry::AddLockable(QObject* control) {
    lockable_.push_back(control);
}

void QtCommandRegistry::ApplyEnabled(bool enabled) {
    for (QObject* object : lockable_) {
        const bool on = enabled && !blocked_.contains(object);
        if (auto* widget = qobject_cast<QWidget*>(object))
            widget->setEnabled(on);
        else if (auto* action = qobject_cast<QAction*>(object))
            action->setEnabled(on);
    }
}

void QtCommandRegistry::SetBlocked(QObject* command, bool blocked) {
    if (!command)
        return;
    if (blocked)
        blocked_.insert(command);
    else
        blocked_.remove(command);
}

} // namespace kamo
