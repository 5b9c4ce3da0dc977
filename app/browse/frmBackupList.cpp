#include "browse/frmBackupList.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <system_error>

#include "common/Guarded.h"
#include "common/Prompter.h"

namespace kamo {
namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

QString SizeText(uintmax_t bytes) {
    return QLocale(QLocale::Japanese).formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}

} // namespace

frmBackupList::frmBackupList(Mode mode, std::filesystem::path dataDir, Prompter& prompter, QWidget* parent)
    : QDialog(parent), mode_(mode), dataDir_(std::move(dataDir)), prompter_(prompter) {
    setObjectName("frmBackupList");
    setWindowTitle(mode == Mode::Select ? U("バックアップを表示") : U("バックアップファイルの整理"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(mode == Mode::Select ? U("表示するバックアップを選んで下さい。（読み取り専用で開きます）")
                                                 : U("削除するバックアップを選んで下さい。"),
                            this);
    layout->addWidget(note);
    grdBackup = new QTableWidget(this);
    grdBackup->setObjectName("grdBackup");
    grdBackup->setColumnCount(3);
    grdBackup->setHorizontalHeaderLabels({U("日付"), U("大きさ"), U("メール数")});
    grdBackup->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdBackup->setSelectionMode(mode == Mode::Select ? QAbstractItemView::SingleSelection
                                                     : QAbstractItemView::ExtendedSelection);
    grdBackup->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdBackup->verticalHeader()->hide();
    grdBackup->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(grdBackup, 1);

    auto* buttons = new QDialogButtonBox(this);
    if (mode == Mode::Select) {
        auto* show = buttons->addButton(U("表　示"), QDialogButtonBox::AcceptRole);
        show->setObjectName("cmdShow");
        connect(show, &QPushButton::clicked, this, &frmBackupList::OnShow);
        connect(grdBackup, &QTableWidget::cellDoubleClicked, this, &frmBackupList::OnShow);
    } else {
        auto* del = buttons->addButton(U("削　除"), QDialogButtonBox::ActionRole);
        del->setObjectName("cmdDelete");
        connect(del, &QPushButton::clicked, this, [this] { Guarded(prompter_, [this] { OnDelete(); }); });
    }
    auto* close =
        buttons->addButton(mode == Mode::Select ? U("キャンセル") : U("閉じる"), QDialogButtonBox::RejectRole);
    close->setObjectName("cmdClose");
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(420, 300);
    Fill();
}

void frmBackupList::Fill() {
    backups_ = ListBackups(dataDir_);
    grdBackup->setRowCount(static_cast<int>(backups_.size()));
    const QLocale locale(QLocale::Japanese);
    for (int row = 0; row < static_cast<int>(backups_.size()); ++row) {
        const BackupInfo& b = backups_[static_cast<size_t>(row)];
        auto* day = new QTableWidgetItem(QString::fromStdString(b.day));
        auto* size = new QTableWidgetItem(SizeText(b.size));
        auto* mails = new QTableWidgetItem(b.mails < 0 ? U("読めません")
                                                       : locale.toString(static_cast<qlonglong>(b.mails)) + U(" 通"));
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        mails->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grdBackup->setItem(row, 0, day);
        grdBackup->setItem(row, 1, size);
        grdBackup->setItem(row, 2, mails);
    }
    if (!backups_.empty())
        grdBackup->selectRow(0);
}

std::vector<int> frmBackupList::ChosenRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : grdBackup->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void frmBackupList::OnShow() {
    const auto rows = ChosenRows();
    if (rows.empty()) {
        prompter_.Message("表示するバックアップを選んで下さい。");
        return;
    }
    chosen_ = backups_[static_cast<size_t>(rows.front())].path;
    accept();
}

void frmBackupList::OnDelete() {
    const auto rows = ChosenRows();
    if (rows.empty()) {
        prompter_.Message("削除するバックアップを選んで下さい。");
        return;
    }
    std::string names;
    for (int row : rows)
        names += "\n  " + backups_[static_cast<size_t>(row)].day;
    if (!prompter_.AskYesNo("次のバックアップ " + std::to_string(rows.size()) + " 件を削除します。" + names +
                                "\n     よろしいでしょうか？",
                            "バックアップファイルの整理"))
        return;
    for (int row : rows) {
        std::error_code ec;
        if (!std::filesystem::remove(backups_[static_cast<size_t>(row)].path, ec) && ec)
            prompter_.Error("バックアップを削除できません（" + ec.message() + "）。\n" +
                            backups_[static_cast<size_t>(row)].path.string());
    }
    Fill();
}

} // namespace kamo
