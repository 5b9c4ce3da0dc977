#pragma once
// The filter editor (caption "フィルター設定"). Edits change the Filter Table at once; they reach
// tblFilter when the caller saves after OK, or through the display-order button.
#include <QDialog>
#include <array>
#include <functional>

#include <SQLiteCpp/Database.h>

#include "common/FilterTable.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "filters/FilterStore.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace kamo {

class frmFilterOrder;

class frmFilter : public QDialog {
    Q_OBJECT
public:
    frmFilter(SQLite::Database& db, FilterTables& tables, Prompter& prompter, QWidget* parent = nullptr);

    // The grid row last clicked (1 = slot 0); 0 = none.
    int SelectedRow() const { return selectedRow_; }

    // Test seam: how the display-order window runs (default: exec).
    void SetOrderDialogRunner(std::function<int(frmFilterOrder&)> runner) { orderRunner_ = std::move(runner); }

public slots:
    // Escape and the title bar's close button leave the editor as Cancel does.
    void reject() override;

private slots:
    void OnGrdFilterClicked(int row, int column);
    void OnComAdd();
    void OnComUp();
    void OnComDel();
    void OnCmdDspChenge();
    void OnComOk();
    void OnComCancel();

private:
    void BuildControls();
    void Load();
    void FilterGridFill();
    void SetGridRow(int row, const FilterEntry& entry);
    void EditAreaClear();
    EditArea ReadEditArea() const;
    int16_t EditAreaChack();

    SQLite::Database& db_;
    FilterTables& tables_;
    Prompter& prompter_;
    NullWaitReporter wait_;
    int selectedRow_ = 0;
    bool closing_ = false;
    std::function<int(frmFilterOrder&)> orderRunner_;

    QLineEdit* txtFilterHeader = nullptr;
    QLineEdit* txtTerms = nullptr;
    std::array<QRadioButton*, 6> optTerms{};
    std::array<QRadioButton*, 2> optAct{};
    QTableWidget* grdFilter = nullptr;
    QPushButton* comAdd = nullptr;
    QPushButton* comUp = nullptr;
    QPushButton* comDel = nullptr;
    QPushButton* cmdDspChenge = nullptr;
    QPushButton* comOk = nullptr;
    QPushButton* comCancel = nullptr;
};

// Widths of grdFilter's columns: 2500, 900, 900 and 3500 twips at 15 twips a pixel.
inline constexpr std::array<int, 4> kFilterGridWidths = {2500 / 15, 900 / 15, 900 / 15, 3500 / 15};

} // namespace kamo
