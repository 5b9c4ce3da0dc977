#pragma once
// The option dialog: PostPet folder, the user's own address, handle and pet name, the mail-text font,
// and 自動読み込み (the window reads each mailbox PostPet writes).
// OK copies the values into the settings in memory; the caller writes the file.
#include <QDialog>
#include <QFont>
#include <functional>
#include <optional>

#include "common/Prompter.h"
#include "common/Settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kamo {

class frmOption : public QDialog {
    Q_OBJECT
public:
    frmOption(Settings& settings, Prompter& prompter, QWidget* parent = nullptr);

    // Replaceable choosers (tests answer them without a modal dialog).
    using FolderChooser = std::function<std::optional<QString>(const QString& current)>;
    using FontChooser = std::function<std::optional<QFont>(const QFont& current)>;
    void SetFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }
    void SetFontChooser(FontChooser chooser) { fontChooser_ = std::move(chooser); }

    // The read-options button; HookReadOptions wires it.
    QPushButton* ReadOptionsButton() const { return cmdReadOpt_; }
    // Runs when the user has chosen a PostPet folder with 参照... (HookReadOptions ticks its mailboxes).
    void SetFolderChosenHook(std::function<void(const QString& folder)> hook) { folderChosen_ = std::move(hook); }
    // Where the folder chooser opens: the folder in the field when it is there, else the nearest
    // folder above it that is, else the home folder (never the root of the disk).
    QString FolderToStartIn() const;

    void accept() override;

    QCheckBox* Chk_AutoRead = nullptr;

private slots:
    void OnCmdFolder();
    void OnCmdFont();

private:
    void ShowFont();

    Settings& settings_;
    Prompter& prompter_;
    QLineEdit* txtPostPetDir_ = nullptr;
    QLineEdit* txtMyMailAddr_ = nullptr;
    QLineEdit* txtMyMailHandle_ = nullptr;
    QLineEdit* txtMyPetName_ = nullptr;
    QLabel* lblFont_ = nullptr;
    QPushButton* cmdReadOpt_ = nullptr;
    std::string fontName_;
    int32_t fontSize_ = 10;
    std::string fontStyle_;
    FolderChooser folderChooser_;
    std::function<void(const QString&)> folderChosen_;
    FontChooser fontChooser_;
};

// Enables the dialog's read-options button: it opens frmMailReadOpt on copies of the two flag rows,
// which reach `settings` when the option dialog closes with OK.
void HookReadOptions(frmOption& dialog, Settings& settings, Prompter& prompter);

// The font the mail text is shown in: the setting's face when this machine has it, else a
// fixed-pitch Japanese face (the Windows face "ＭＳ ゴシック" is not on Linux desktops).
QFont MailTextFont(const std::string& name, int32_t size, const std::string& style);

} // namespace kamo
