#include "common/QtPrompter.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kamo {

void QtPrompter::Message(const std::string& text, const std::string& title) {
    QMessageBox::information(parent_, QString::fromStdString(title), QString::fromStdString(text));
}

void QtPrompter::Error(const std::string& text, const std::string& title) {
    QMessageBox::critical(parent_, QString::fromStdString(title), QString::fromStdString(text));
}

bool QtPrompter::AskYesNo(const std::string& text, const std::string& title) {
    return QMessageBox::question(parent_, QString::fromStdString(title), QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void QtPrompter::ShowTable(const Table& table, const std::string& title) {
    QDialog dialog(parent_);
    dialog.setObjectName("frmTable");
    dialog.setWindowTitle(QString::fromStdString(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* headline = new QLabel(QString::fromStdString(table.headline), &dialog);
    headline->setObjectName("lblHeadline");
    layout->addWidget(headline);
    auto* grid = new QTableWidget(static_cast<int>(table.rows.size()), static_cast<int>(table.columns.size()), &dialog);
    grid->setObjectName("grdTable");
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    QStringList headings;
    for (const auto& c : table.columns)
        headings << QString::fromStdString(c);
    grid->setHorizontalHeaderLabels(headings);
    const QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (int r = 0; r < grid->rowCount(); ++r) {
        const auto& row = table.rows[static_cast<size_t>(r)];
        for (int c = 0; c < grid->columnCount() && c < static_cast<int>(row.size()); ++c) {
            const QString text = QString::fromStdString(row[static_cast<size_t>(c)]);
            auto* item = new QTableWidgetItem(text);
            const bool number = !text.isEmpty() && text.at(0).isDigit();
            if (number) {
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                item->setFont(digits);
            }
            if (r == grid->rowCount() - 1) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            grid->setItem(r, c, item);
        }
    }
    grid->resizeColumnsToContents();
    grid->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(grid, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(720, 420);
    dialog.exec();
}

} // namespace kamo
