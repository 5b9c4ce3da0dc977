#pragma once
// The main window: the browser (lists and mail), the command menus and buttons from the command table,
// the control lock with its wait window, and the idle work. Its handlers hand the session, a prompter
// and the wait reporter to the commands.
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "browse/BusyFlags.h"
#include "browse/QtCommandMenus.h"
#include "browse/QtControlLock.h"
#include "browse/QtMailBrowser.h"
#include "common/ArchiveView.h"
#include "common/MailRecord.h"
#include "common/Prompter.h"
#include "common/Settings.h"
#include "common/WaitReporter.h"

class QAction;
class QLabel;
class QPushButton;
class QUrl;

namespace kamo {

class ArchiveSession;
struct FoundPostPet;
struct MailSelection;
class frmBackupList;
class frmFriend;
class frmOption;
class frmWait;
class QtIdleWork;
class QtMailBrowser;
class QtStatusProgress;
class SubjectRowSource;

class frmKamoMail : public QMainWindow, public ArchiveView {
    Q_OBJECT
public:
    // The window works on the session it is given, which outlives it: the lists' prepared
    // statements are gone before the archive closes.
    frmKamoMail(ArchiveSession& session, Prompter& prompter, QWidget* parent = nullptr);
    ~frmKamoMail() override;

    // Load: reads the settings, fills the view. False when the program must end.
    bool Load();
    // Clears the mail display and subject list and refills the left list by Display Type.
    void ShowViewMode() override;
    // A read added mail: the lists take it in where the user is.
    void ShowNewMail() override;
    // Drops the lists' statements before the archive connection changes.
    void LetGoOfArchive() override;
    // Puts a backup on display, read-only (memBackUp_FileSelect after the choice).
    void ShowBackup(const std::filesystem::path& backup);

    BusyFlags& Flags() { return flags_; }

    // What commands report their progress to: within a WaitScope on it the wait window is shown and
    // the controls are locked (nested scopes count; the lock is released also when the work throws).
    WaitReporter& Wait() { return lock_; }
    frmWait& WaitWindow() { return lock_.WaitWindow(); }

    // The control lock: buttons, lists and menus off (nested calls count) or back on. Commands that
    // are not available stay off. A subject list still coming in is read to its end first.
    void LockControls() { lock_.Lock(); }
    void UnlockControls() { lock_.Unlock(); }
    bool ControlsLocked() const { return lock_.Locked(); }

    // The browser's: the mode label's switch, the key list's focus, a key or subject line chosen, a
    // search result shown, a month of the years picture opened, the mail on display.
    void AdvanceViewMode();
    void FocusKeyList();
    void ChooseKey(int row);
    void ChooseSubject(int row);
    void ShowSubjectRows(const std::function<std::unique_ptr<SubjectRowSource>()>& makeRows);
    void ShowMonthInDateView(const QString& month);
    std::optional<MailRecord> CurrentMail() const;

    // Applies the mail-text font of the settings to txtMail.
    void ApplyMailFont();
    // Opens the option dialog modally; on OK the settings are written to the file.
    bool RunOptionDialog();

    // Test seams: how the option dialog runs (default: exec) and how a mailto: link opens.
    void SetOptionDialogRunner(std::function<int(frmOption&)> runner) { optionRunner_ = std::move(runner); }
    void SetUrlOpener(std::function<bool(const QUrl&)> opener) { urlOpener_ = std::move(opener); }
    void SetBackupListRunner(std::function<int(frmBackupList&)> runner) { backupListRunner_ = std::move(runner); }
    void SetFriendBookRunner(std::function<int(frmFriend&)> runner) { friendBookRunner_ = std::move(runner); }
    // First run: where PostPet folders are looked for, and which found folder the user takes.
    void SetPostPetSearch(std::function<std::vector<std::filesystem::path>()> roots,
                          std::function<std::optional<size_t>(const std::vector<FoundPostPet>&)> chooser) {
        searchRoots_ = std::move(roots);
        searchHome_ = std::filesystem::path(); // only the roots given
        postPetChooser_ = std::move(chooser);
    }
    // Where the home-folder walk starts (default: $HOME); empty for none.
    void SetPostPetHome(std::filesystem::path home) { searchHome_ = std::move(home); }
    void SetPostPetChooser(std::function<std::optional<size_t>(const std::vector<FoundPostPet>&)> chooser) {
        postPetChooser_ = std::move(chooser);
    }
    void SetFolderChooser(std::function<std::optional<QString>(const QString& caption)> chooser) {
        folderChooser_ = std::move(chooser);
    }
    void SetFriendFileChooser(std::function<std::optional<QString>(const QString&)> chooser) {
        friendFileChooser_ = std::move(chooser);
    }

protected:
    void closeEvent(QCloseEvent* event) override;
    // The first show after a load offers the friend file found beside the mailboxes, once the window
    // is on screen and the splash gone.
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    // Each command control of the table and its handler, run under the error trap.
    CommandSlots Slots();
    void SetDefaultSeams();
    // Runs a handler under the error trap: a failure is reported, the window stays usable.
    void Guarded(const std::function<void()>& work);
    void ShowClock();
    // The writing commands off (and the caption saying so) while a backup is on display.
    void ApplyBackupView();
    // The configured PostPet folder is not there: offers the ones found; true when one was taken.
    bool OfferFoundPostPet();
    FormGeometry CurrentGeometry() const;
    void KeepFocus(QWidget* focus);

    // The command handlers, by their control's name.
    void OnComMailDel();
    void OnCmdAddrDel();
    void OnMemUndo();
    void OnMemMailDel();
    void OnMemExport();
    // The mail commands that offer every mail, the chosen key's, the search result's and (`shownMail`)
    // the mail on display.
    using MailsCommand = bool (*)(ArchiveSession&, Prompter&, WaitReporter&, QWidget*,
                                  const std::vector<MailSelection>&);
    void WithMailsOnOffer(MailsCommand command, bool shownMail);
    void OnMemInport();
    void OnMemBackUpFileSelect();
    void OnMemNomalDisp();
    void OnMemFriendEd();
    void OnMemFriendF();
    void OnMemAddressAdd();

    ArchiveSession& session_;
    Settings& settings_; // the session's
    Prompter& prompter_;
    BusyFlags flags_;
    QtControlLock lock_;
    QtMailBrowser* browser_ = nullptr;
    // Where the last deletion was made, for 元に戻す to choose the restored mail there.
    std::optional<QtMailBrowser::Place> deletedFrom_;
    QtIdleWork* idle_ = nullptr;
    QtStatusProgress* readProgress_ = nullptr; // a read's progress and 中止, in the status bar
    QLabel* lblDate = nullptr;
    QPushButton* comMailRead = nullptr;
    QPushButton* cmdAddrDel = nullptr;
    QAction* memYears = nullptr;
    bool loaded_ = false;
    bool offerFriendFile_ = false; // the load's friend-file offer, made when the window shows
    // Geometry as read: an unmoved window writes back what it read.
    FormGeometry readGeometry_{};
    std::function<int(frmOption&)> optionRunner_;
    std::function<bool(const QUrl&)> urlOpener_;
    std::function<int(frmBackupList&)> backupListRunner_;
    std::function<int(frmFriend&)> friendBookRunner_;
    std::function<std::optional<QString>(const QString&)> friendFileChooser_;
    std::function<std::optional<QString>(const QString&)> folderChooser_;
    std::function<std::vector<std::filesystem::path>()> searchRoots_;
    std::optional<std::filesystem::path> searchHome_;
    std::function<std::optional<size_t>(const std::vector<FoundPostPet>&)> postPetChooser_;
};

} // namespace kamo
