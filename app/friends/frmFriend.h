#pragma once
// The friend book window ("おともだち帳"): a grid of the five columns, rows added, edited and deleted;
// vCard に書き出し… writes the rows as vCard; OK saves the whole book in one transaction, キャンセル keeps it as it
// was. The window's place, size and column widths come from the "Friend Editer" settings when it opens and go back when
// it closes. A double-click on a friend keeps the book as OK does and asks for that friend's mail (ShowMailOf); the
// window that opened the book shows it.
#include <QDialog>
#include <filesystem>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/Settings.h"
#include "friends/FriendBook.h"

class QTableWidget;

namespace kamo {

class Prompter;

class frmFriend : public QDialog {
    Q_OBJECT
public:
    frmFriend(SQLite::Database& db, Settings& settings, Prompter& prompter, QWidget* parent = nullptr);

    void accept() override;
    void done(int result) override;

    // The rows as they stand in the grid.
    std::vector<Friend> Rows() const;
    // Writes the rows as they stand as vCard to `target` (cmdExportCards asks where); false when it fails.
    bool ExportCards(const std::filesystem::path& target);

signals:
    // The book was closed by a double-click on a friend: show the mail of that address.
    void ShowMailOf(const QString& address);

private slots:
    void OnDoubleClick(int row, int column);
    void OnAdd();
    void OnDelete();
    void OnExportCards();

private:
    void Fill(const std::vector<Friend>& friends);
    void StoreGeometry();
    void FitColumns();
    void FitAddressColumn();

    SQLite::Database& db_;
    Settings& settings_;
    Prompter& prompter_;
    QTableWidget* grdFriend = nullptr;
};

} // namespace kamo
