#include "filters/frmFilterOrder.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "filters/FilterStore.h"

namespace kamo {
namespace {

QString U(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

frmFilterOrder::frmFilterOrder(SQLite::Database& db, FilterTables& tables, Prompter& prompter, QWidget* parent)
    : QDialog(parent), db_(db), tables_(tables), prompter_(prompter) {
    setObjectName("frmFilterOrder");
    setWindowTitle(U("フィルター表示順変更"));
    setModal(true);

    // Start from what is stored, as the editor saved it just before.
    LoadFilters(db_, tables_, wait_);
    order_ = tables_;

    auto* note = new QLabel(U("フィルターを選んで、上へ・下へで表示の順番を変えてください。\n"
                              "「振り分ける」フィルターは「読み込まない」フィルターより前に並びます。"),
                            this);
    lstFilter = new QListWidget(this);
    lstFilter->setObjectName("lstFilter");
    lstFilter->setMinimumSize(360, 240);

    auto makeButton = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(U(caption), this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    cmdUp = makeButton("cmdUp", "上　へ");
    cmdUp->setToolTip(U("選択したフィルターを一つ上へ移動します"));
    cmdDown = makeButton("cmdDown", "下　へ");
    cmdDown->setToolTip(U("選択したフィルターを一つ下へ移動します"));
    comOk = makeButton("comOk", "Ｏ　Ｋ");
    comCancel = makeButton("comCancel", "キャンセル");

    auto* side = new QVBoxLayout;
    side->addWidget(cmdUp);
    side->addWidget(cmdDown);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(lstFilter, 1);
    middle->addLayout(side);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(comOk);
    bottom->addWidget(comCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(lstFilter, &QListWidget::currentRowChanged, this, &frmFilterOrder::UpdateButtons);
    connect(cmdUp, &QPushButton::clicked, this, &frmFilterOrder::OnCmdUp);
    connect(cmdDown, &QPushButton::clicked, this, &frmFilterOrder::OnCmdDown);
    connect(comOk, &QPushButton::clicked, this, &frmFilterOrder::OnComOk);
    connect(comCancel, &QPushButton::clicked, this, &frmFilterOrder::OnComCancel);
    FillList(order_.count > 0 ? 0 : -1);
}

QString frmFilterOrder::ItemText(const FilterEntry& entry) {
    const char* action = entry.actionCode == 0 ? "［振り分ける］　" : "［読み込まない］　";
    return U(action) + QString::fromStdString(entry.header);
}

void frmFilterOrder::FillList(int current) {
    lstFilter->clear();
    for (int i = 0; i < order_.count; ++i)
        lstFilter->addItem(ItemText(order_.filters[static_cast<size_t>(i)]));
    lstFilter->setCurrentRow(current);
    UpdateButtons();
}

void frmFilterOrder::UpdateButtons() {
    const int row = lstFilter->currentRow();
    cmdUp->setEnabled(CanMoveFilter(order_, row, -1));
    cmdDown->setEnabled(CanMoveFilter(order_, row, +1));
}

void frmFilterOrder::Move(int step) {
    const int row = lstFilter->currentRow();
    if (MoveFilter(order_, row, step))
        FillList(row + step);
}

void frmFilterOrder::OnCmdUp() {
    Move(-1);
}
void frmFilterOrder::OnCmdDown() {
    Move(+1);
}

void frmFilterOrder::OnComOk() {
    FilterTables edited = order_;
    if (!SaveFilters(db_, edited, wait_)) {
        prompter_.Error("フィルターの表示順を保存できませんでした。");
        return;
    }
    tables_ = edited;
    accept();
}

void frmFilterOrder::OnComCancel() {
    LoadFilters(db_, tables_, wait_);
    reject();
}

} // namespace kamo
