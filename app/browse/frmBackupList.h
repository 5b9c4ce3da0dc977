#pragma once
// The backups of the archive in a grid (date, size, number of mails): one is chosen to be shown
// (memBackUp_FileSelect), or some are chosen to be deleted after asking (memBackUp_FileEdit).
#include <QDialog>
#include <filesystem>
#include <optional>
#include <vector>

#include "db/Backups.h"

class QPushButton;
class QTableWidget;

namespace kamo {

class Prompter;

class frmBackupList : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Select, Organize };
    frmBackupList(Mode mode, std::filesystem::path dataDir, Prompter& prompter, QWidget* parent = nullptr);

    // Select: the backup chosen with 表示 (OK); empty after キャンセル.
    std::optional<std::filesystem::path> Chosen() const { return chosen_; }

private slots:
    void OnShow();
    void OnDelete();

private:
    void Fill();
    std::vector<int> ChosenRows() const;

    Mode mode_;
    std::filesystem::path dataDir_;
    Prompter& prompter_;
    std::vector<BackupInfo> backups_;
    QTableWidget* grdBackup = nullptr;
    std::optional<std::filesystem::path> chosen_;
};

} // namespace kamo
