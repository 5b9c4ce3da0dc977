#pragma once
// What the main window's two lists (keys, mail lines) share: the font of their lines and how they are
// made, the chosen line kept marked while the list has not the keyboard or is locked, and the
// right-click menu of the window's commands on a line.
#include <QFont>
#include <functional>

class QAbstractItemModel;
class QListView;
class QWidget;

namespace kamo {

// The lines' font (the lists, the subject heading and the mail header).
QFont ListFont();

// A list of one line per item, chosen one at a time, never edited, named `name` for the tests and
// the window's commands.
QListView* MakeLineList(QWidget* parent, const char* name, QAbstractItemModel* model);

// A right-click on a line of `list` chooses the line, gives the list the keyboard (削除 deletes what
// the list holds) and offers the window's commands on it in the menu `menuName` (a child of
// `menuParent`); the entries are the window's own actions, so they are on and off as its menus have
// them. Nothing while `locked` says so.
void OfferLineMenu(QListView* list, const char* menuName, QWidget* menuParent, std::function<bool()> locked);

} // namespace kamo
