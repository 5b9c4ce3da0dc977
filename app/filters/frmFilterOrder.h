#pragma once
// The filter display-order window: the filters in their order; one is moved up or down at a time.
// OK stores the new order (numbers 10, 20, ... again); Cancel keeps the stored one.
#include <QDialog>

#include <SQLiteCpp/Database.h>

#include "common/FilterTable.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"

class QListWidget;
class QPushButton;

namespace kamo {

class frmFilterOrder : public QDialog {
    Q_OBJECT
public:
    frmFilterOrder(SQLite::Database& db, FilterTables& tables, Prompter& prompter, QWidget* parent = nullptr);

    // The list line of a filter: its title after its action.
    static QString ItemText(const FilterEntry& entry);

private slots:
    void OnCmdUp();
    void OnCmdDown();
    void OnComOk();
    void OnComCancel();
    void UpdateButtons();

private:
    void Move(int step);
    void FillList(int current);

    SQLite::Database& db_;
    FilterTables& tables_;
    Prompter& prompter_;
    FilterTables order_; // the order being edited; tables_ is left alone until OK
    NullWaitReporter wait_;

    QListWidget* lstFilter = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdDown = nullptr;
    QPushButton* comOk = nullptr;
    QPushButton* comCancel = nullptr;
};

} // namespace kamo
