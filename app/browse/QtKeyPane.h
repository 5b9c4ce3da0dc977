#pragma once
// The browser's left column: the key list (lstNameOrAddr: the addresses, names, days or filters of
// the view mode) with the date view's year-and-month chooser above it.
#include <QWidget>
#include <string>
#include <vector>

#include "browse/KeyLists.h"
#include "browse/ViewModes.h"

class QListView;

namespace kamo {

class KeyListModel;
class QtYearMonthChooser;

class QtKeyPane : public QWidget {
    Q_OBJECT
public:
    explicit QtKeyPane(QWidget* parent = nullptr);

    // The keys of the view, none chosen.
    void SetKeys(std::vector<KeyItem> keys);
    // The chooser: the keys' months in the date view (`mode`), hidden in the others.
    void ShowMonths(ViewMode mode);
    void Clear();
    int Count() const;
    const KeyItem* At(int row) const;
    // The chosen key (nullptr for none) and its row (-1).
    const KeyItem* Current() const;
    int CurrentRow() const;
    // The row of the key `text`; -1 when the list has none.
    int RowOf(const std::string& text) const;

    QListView* List() const { return lstNameOrAddr; }
    QtYearMonthChooser* Chooser() const { return cmbYearMonth; }

signals:
    // Another key became the chosen one (by the user or by the program).
    void KeyChosen(int row);

private:
    KeyListModel* model_ = nullptr;
    QListView* lstNameOrAddr = nullptr;
    QtYearMonthChooser* cmbYearMonth = nullptr;
};

} // namespace kamo
