#include "browse/QtKeyPane.h"

#include <QListView>
#include <QVBoxLayout>

#include "browse/QtListConventions.h"
#include "browse/QtListModels.h"
#include "browse/QtYearMonthChooser.h"

namespace kamo {

QtKeyPane::QtKeyPane(QWidget* parent) : QWidget(parent) {
    model_ = new KeyListModel(this);
    lstNameOrAddr = MakeLineList(this, "lstNameOrAddr", model_);
    connect(lstNameOrAddr->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    emit KeyChosen(current.row());
            });
    // The date view lists every day: a year-and-month chooser above it jumps to a month.
    cmbYearMonth = new QtYearMonthChooser(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cmbYearMonth);
    layout->addWidget(lstNameOrAddr, 1);
}

void QtKeyPane::SetKeys(std::vector<KeyItem> keys) {
    model_->SetItems(std::move(keys));
}

void QtKeyPane::ShowMonths(ViewMode mode) {
    if (mode == ViewMode::Date)
        cmbYearMonth->Fill(*model_);
    else
        cmbYearMonth->Empty();
}

void QtKeyPane::Clear() {
    model_->Clear();
}

int QtKeyPane::Count() const {
    return model_->rowCount();
}

const KeyItem* QtKeyPane::At(int row) const {
    return model_->At(row);
}

const KeyItem* QtKeyPane::Current() const {
    return model_->At(lstNameOrAddr->currentIndex().row());
}

int QtKeyPane::CurrentRow() const {
    return lstNameOrAddr->currentIndex().row();
}

int QtKeyPane::RowOf(const std::string& text) const {
    for (int i = 0; i < model_->rowCount(); ++i)
        if (model_->At(i)->text == text)
            return i;
    return -1;
}

} // namespace kamo
