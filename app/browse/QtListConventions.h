#pragma once
// What the main window's two lists (keys, mail lines) share: the font of their lines and how they are
// made, the chosen line kept marked while the list has not the keyboard or is locked.
#include <QFont>

class QAbstractItemModel;
class QListView;
class QWidget;

namespace kamo {

// The lines' font (the lists, the subject heading and the mail header).
QFont ListFont();

// A list of one line per item, chosen one at a time, never edited, named `name` for the tests and
// the window's commands.
QListView* MakeLineList(QWidget* parent, const char* name, QAbstractItemModel* model);

} // namespace kamo
