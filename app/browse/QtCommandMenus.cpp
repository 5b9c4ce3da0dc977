#include "browse/QtCommandMenus.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "browse/QtCommandRegistry.h"
#include "common/CommandTable.h"

namespace kamo {
namespace {

QString U(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QKeySequence ShortcutOf(std::string_view name) {
    static const std::map<std::string_view, QKeySequence::StandardKey> standard = {
        {"Copy", QKeySequence::Copy},     {"SelectAll", QKeySequence::SelectAll},       {"Find", QKeySequence::Find},
        {"Delete", QKeySequence::Delete}, {"HelpContents", QKeySequence::HelpContents}, {"Print", QKeySequence::Print},
    };
    if (auto it = standard.find(name); it != standard.end())
        return QKeySequence(it->second);
    return QKeySequence::fromString(U(name), QKeySequence::PortableText);
}

const std::function<void()>& SlotOf(const CommandSlots& handlers, std::string_view control) {
    auto it = handlers.find(control);
    if (it == handlers.end())
        throw std::logic_error("no handler for the command " + std::string(control));
    return it->second;
}

// The table's commands in `menu`, by their place.
std::vector<const CommandDef*> CommandsIn(std::string_view menu) {
    std::vector<const CommandDef*> in;
    for (const auto& c : Commands())
        if (c.menu == menu)
            in.push_back(&c);
    std::stable_sort(in.begin(), in.end(),
                     [](const CommandDef* a, const CommandDef* b) { return a->place < b->place; });
    return in;
}

} // namespace

void BuildCommandMenus(QMenuBar& bar, QObject& owner, QtCommandRegistry& registry, const CommandSlots& handlers) {
    std::map<std::string_view, QMenu*> menus;
    for (const MenuDef& def : Menus()) {
        QMenu* parent = def.parent.empty() ? nullptr : menus.at(def.parent);
        QMenu* menu = parent ? parent->addMenu(U(def.caption)) : bar.addMenu(U(def.caption));
        menu->setObjectName(U(def.menu));
        menu->setToolTipsVisible(true);
        if (!def.control.empty()) {
            menu->menuAction()->setObjectName(U(def.control));
            registry.AddLockable(menu->menuAction());
        }
        menus[def.menu] = menu;
    }
    for (const auto& [name, menu] : menus) {
        int group = -1;
        for (const CommandDef* c : CommandsIn(name)) {
            if (group >= 0 && c->place / 10 != group)
                menu->addSeparator();
            group = c->place / 10;
            QAction* action = menu->addAction(U(c->caption));
            action->setObjectName(U(c->control));
            action->setParent(&owner);
            if (!c->toolTip.empty())
                action->setToolTip(U(c->toolTip));
            if (!c->shortcut.empty())
                action->setShortcut(ShortcutOf(c->shortcut));
            action->setCheckable(c->checkable);
            QObject::connect(action, &QAction::triggered, &owner, SlotOf(handlers, c->control));
            registry.AddCommand(action);
        }
    }
}

QHBoxLayout* BuildCommandButtons(QWidget& parent, QtCommandRegistry& registry, const CommandSlots& handlers) {
    auto* row = new QHBoxLayout;
    int group = -1;
    for (const CommandDef* c : CommandsIn(kButtonRow)) {
        if (group >= 0 && c->place / 10 != group)
            row->addStretch(1);
        group = c->place / 10;
        auto* button = new QPushButton(U(c->caption), &parent);
        button->setObjectName(U(c->control));
        button->setToolTip(U(c->toolTip));
        QObject::connect(button, &QPushButton::clicked, &parent, SlotOf(handlers, c->control));
        registry.AddCommand(button);
        row->addWidget(button);
    }
    return row;
}

} // namespace kamo
