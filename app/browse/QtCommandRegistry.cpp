#include "browse/QtCommandRegistry.h"

#include <QAction>
#include <QWidget>

namespace kamo {
namespace {

void SetEnabled(QObject* object, bool on) {
    if (auto* widget = qobject_cast<QWidget*>(object))
        widget->setEnabled(on);
    else if (auto* action = qobject_cast<QAction*>(object))
        action->setEnabled(on);
}

} // namespace

QString QtCommandRegistry::NotAvailableText() {
    return QString::fromUtf8("この機能はまだ使用できません");
}

void QtCommandRegistry::AddLockable(QObject* control) {
    lockable_.push_back(control);
}

void QtCommandRegistry::MarkPending(QObject* command) {
    if (!command)
        return;
    pending_.insert(command);
    SetEnabled(command, false);
    SetToolTip(command, ownToolTips_.value(command, command->property("toolTip").toString()));
}

void QtCommandRegistry::SetToolTip(QObject* command, const QString& tip) {
    ownToolTips_[command] = tip;
    QString shown = tip;
    if (pending_.contains(command))
        shown = tip.isEmpty() ? NotAvailableText()
                              : tip + QString::fromUtf8("（") + NotAvailableText() + QString::fromUtf8("）");
    if (auto* widget = qobject_cast<QWidget*>(command))
        widget->setToolTip(shown);
    else if (auto* action = qobject_cast<QAction*>(command)) {
        action->setToolTip(shown.isEmpty() ? action->text().remove('&') : shown);
        action->setStatusTip(shown);
    }
}

void QtCommandRegistry::SetAvailable(QObject* command, bool available, bool locked) {
    if (!command)
        return;
    if (!available) {
        MarkPending(command);
        return;
    }
    pending_.remove(command);
    SetEnabled(command, !locked);
    SetToolTip(command, ownToolTips_.value(command, command->property("toolTip").toString()));
}

void QtCommandRegistry::ApplyEnabled(bool enabled) {
    for (QObject* object : lockable_)
        SetEnabled(object, enabled && !pending_.contains(object) && !blocked_.contains(object));
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
