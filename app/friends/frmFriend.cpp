#include "friends/frmFriend.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <set>

#include "common/Messages.h"
#include "common/Prompter.h"
#include "friends/FriendCommands.h"
#include "platform/QtScreenFit.h"
#include "platform/SettingsStore.h"

namespace kamo {
namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QTableWidgetItem* Cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

frmFriend::frmFriend(SQLite::Database& db, Settings& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), db_(db), settings_(settings), prompter_(prompter) {
    setObjectName("frmFriend");
    setWindowTitle(U("おともだち帳"));
    grdFriend = new QTableWidget(this);
    grdFriend->setObjectName("grdFriend");
    grdFriend->setColumnCount(5);
    grdFriend->setHorizontalHeaderLabels(
        {U("ペットの種類"), U("ペットの名前"), U("飼い主の名前"), U("アドレス"), U("メール数")});
    grdFriend->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdFriend->verticalHeader()->hide();
    grdFriend->setTabKeyNavigation(false);
    // A double-click opens the friend's mail; a cell is edited by typing, F2 or a click on the chosen cell.
    grdFriend->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                               QAbstractItemView::SelectedClicked);
    grdFriend->setToolTip(U("ダブルクリックで、そのアドレスのメールを表示します（F2 で編集）"));
    connect(grdFriend, &QTableWidget::cellDoubleClicked, this, &frmFriend::OnDoubleClick);
    connect(grdFriend, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 3)
            FitAddressColumn();
    });

    auto* add = new QPushButton(U("追　加"), this);
    add->setObjectName("cmdAdd");
    auto* del = new QPushButton(U("削　除"), this);
    del->setObjectName("cmdDelete");
    auto* cards = new QPushButton(U("vCard に書き出し…"), this);
    cards->setObjectName("cmdExportCards");
    connect(add, &QPushButton::clicked, this, &frmFriend::OnAdd);
    connect(del, &QPushButton::clicked, this, &frmFriend::OnDelete);
    connect(cards, &QPushButton::clicked, this, &frmFriend::OnExportCards);
    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(U("Ｏ　Ｋ"), QDialogButtonBox::AcceptRole);
    ok->setObjectName("cmdOk");
    auto* cancel = buttons->addButton(U("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName("cmdCancel");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(add);
    row->addWidget(del);
    row->addWidget(cards);
    row->addStretch(1);
    row->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdFriend, 1);
    layout->addLayout(row);

    // Names and addresses are read on one line each, cut with "…" when a column is narrow; the table
    // fills the window's width.
    grdFriend->setWordWrap(false);
    grdFriend->setTextElideMode(Qt::ElideRight);
    grdFriend->horizontalHeader()->setStretchLastSection(true);
    grdFriend->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    // A size saved on a larger screen is fitted to this one, as the main window's is.
    PlaceOnScreen(*this, {TwipsToPixels(settings_.friendLeft), TwipsToPixels(settings_.friendTop),
                          std::max(200, TwipsToPixels(settings_.friendWidth)),
                          std::max(150, TwipsToPixels(settings_.friendHeight))});
    Fill(LoadFriends(db_));
    FitColumns();
}

void frmFriend::FitColumns() {
    // Widths the user never set (the settings' defaults, all alike) give way to the contents: each
    // column as wide as its header and its longest entry, within reason. Widths the user set stay.
    const auto& stored = settings_.friendColWidth;
    const bool untouched = std::all_of(stored.begin(), stored.end(), [&](int16_t w) { return w == stored[0]; });
    if (!untouched) {
        for (int c = 0; c < 5; ++c)
            grdFriend->setColumnWidth(c, std::max(20, TwipsToPixels(stored[static_cast<size_t>(c)])));
    } else {
        grdFriend->resizeColumnsToContents();
        const int widest = std::max(160, width() * 2 / 3);
        for (int c = 0; c < 5; ++c)
            grdFriend->setColumnWidth(c, std::clamp(grdFriend->columnWidth(c) + 12, 48, widest));
    }
    FitAddressColumn();
}

void frmFriend::FitAddressColumn() {
    // An address cut short is a different address: its column is never narrower than the longest one,
    // whatever width was stored; the table scrolls sideways instead.
    const QAbstractItemView* view = grdFriend; // the table's own hint, public through the base
    const int needed = std::max(view->sizeHintForColumn(3), grdFriend->horizontalHeader()->sectionSizeHint(3)) + 12;
    if (grdFriend->columnWidth(3) < needed)
        grdFriend->setColumnWidth(3, needed);
}

void frmFriend::OnDoubleClick(int row, int column) {
    const QTableWidgetItem* address = grdFriend->item(row, 3);
    if (!address || address->text().trimmed().isEmpty()) {
        // A row without an address yet has no mail: the click edits, as it did.
        if (QTableWidgetItem* cell = grdFriend->item(row, column))
            grdFriend->editItem(cell);
        return;
    }
    const QString wanted = address->text().trimmed();
    accept(); // the book as it stands, as OK keeps it; a book that cannot be saved stays open
    if (result() == QDialog::Accepted)
        emit ShowMailOf(wanted);
}

void frmFriend::Fill(const std::vector<Friend>& friends) {
    grdFriend->setRowCount(static_cast<int>(friends.size()));
    for (int r = 0; r < static_cast<int>(friends.size()); ++r) {
        const Friend& f = friends[static_cast<size_t>(r)];
        auto* kind = Cell(Q(PetKindText(f.petKind)));
        kind->setData(Qt::UserRole, Q(f.petKind));
        grdFriend->setItem(r, 0, kind);
        grdFriend->setItem(r, 1, Cell(Q(f.pet)));
        grdFriend->setItem(r, 2, Cell(Q(f.owner)));
        grdFriend->setItem(r, 3, Cell(Q(f.address)));
        grdFriend->setItem(r, 4, Cell(QString::number(f.mailCount), true));
    }
}

std::vector<Friend> frmFriend::Rows() const {
    std::vector<Friend> rows;
    auto text = [&](int r, int c) {
        const QTableWidgetItem* item = grdFriend->item(r, c);
        return item ? item->text().trimmed().toStdString() : std::string();
    };
    for (int r = 0; r < grdFriend->rowCount(); ++r) {
        Friend f;
        const QTableWidgetItem* kind = grdFriend->item(r, 0);
        // The kind cell shows a name; an edited cell holds the number typed in.
        f.petKind = kind && kind->text() == Q(PetKindText(kind->data(Qt::UserRole).toString().toStdString()))
                        ? kind->data(Qt::UserRole).toString().toStdString()
                        : text(r, 0);
        f.pet = text(r, 1);
        f.owner = text(r, 2);
        f.address = text(r, 3);
        f.mailCount = QString::fromStdString(text(r, 4)).toLongLong();
        rows.push_back(std::move(f));
    }
    return rows;
}

void frmFriend::OnAdd() {
    const int r = grdFriend->rowCount();
    grdFriend->insertRow(r);
    for (int c = 0; c < 5; ++c)
        grdFriend->setItem(r, c, Cell(c == 4 ? QString("0") : QString(), c == 4));
    grdFriend->setCurrentCell(r, 3);
    grdFriend->editItem(grdFriend->item(r, 3));
}

void frmFriend::OnDelete() {
    std::set<int> rows;
    for (const QModelIndex& index : grdFriend->selectionModel()->selectedRows())
        rows.insert(index.row());
    if (rows.empty() && grdFriend->currentRow() >= 0)
        rows.insert(grdFriend->currentRow());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        grdFriend->removeRow(*it);
}

void frmFriend::accept() {
    try {
        SaveFriends(db_, Rows());
    } catch (const std::exception& e) {
        prompter_.Error(std::string("おともだち帳を保存できません。\n") + ErrorText(e), "おともだち帳");
        return;
    }
    QDialog::accept();
}

void frmFriend::done(int result) {
    StoreGeometry();
    QDialog::done(result);
}

void frmFriend::StoreGeometry() {
    auto twips = [](int pixels) { return static_cast<int16_t>(std::clamp(PixelsToTwips(pixels), 0, 32767)); };
    settings_.friendLeft = twips(x());
    settings_.friendTop = twips(y());
    settings_.friendWidth = twips(width());
    settings_.friendHeight = twips(height());
    for (int c = 0; c < 5; ++c)
        settings_.friendColWidth[static_cast<size_t>(c)] = twips(grdFriend->columnWidth(c));
}

void frmFriend::OnExportCards() {
    const QString file = QFileDialog::getSaveFileName(this, U("おともだち帳を vCard に書き出し"), U("おともだち帳.vcf"),
                                                      U("vCard (*.vcf)"));
    if (!file.isEmpty())
        ExportCards(std::filesystem::path(file.toStdString()));
}

bool frmFriend::ExportCards(const std::filesystem::path& target) {
    // The book as the grid shows it, edits not yet saved included: what the user sees is what goes.
    return ExportFriendCards(Rows(), target, db_.getFilename(), prompter_);
}

} // namespace kamo
