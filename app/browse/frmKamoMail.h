#pragma once
// The main window: four view modes, the lists, the mail display, the commands.
#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "browse/BusyFlags.h"
#include "browse/QtCommandRegistry.h"
#include "browse/QtMailboxWatch.h"
#include "browse/ViewModes.h"
#include "common/ArchiveView.h"
#include "common/MailRecord.h"
#include "common/Prompter.h"
#include "common/Settings.h"
#include "common/WaitReporter.h"

class QAction;
class QComboBox;
class QLabel;
class QListView;
class QMenu;
class QModelIndex;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QUrl;

namespace kamo {

class ArchiveSession;
struct FoundPostPet;
struct MailSelection;
class frmBackupList;
class frmFriend;
class frmOption;
class frmWait;
class KeyListModel;
class QtAttachmentList;
class QtConversationLine;
class QtMailPictures;
class QtMonthChart;
class QtSearchBar;
class SubjectListModel;
class SubjectRowSource;

class frmKamoMail : public QMainWindow, public ArchiveView {
    Q_OBJECT
public:
    // The window works on the session it is given, which outlives it: the lists' prepared
    // statements are gone before the archive closes.
    frmKamoMail(ArchiveSession& session, Prompter& prompter, QWidget* parent = nullptr);

    // Load: reads the settings, fills the view. False when the program must end.
    bool Load();
    // Clears the mail display and subject list and refills the left list by Display Type.
    void ShowViewMode() override;
    // Drops the lists' statements before the archive connection changes.
    void LetGoOfArchive() override;
    // Puts a backup on display, read-only (memBackUp_FileSelect after the choice).
    void ShowBackup(const std::filesystem::path& backup);

    BusyFlags& Flags() { return flags_; }

    // What commands report their progress to: within a WaitScope on it the wait window is shown and
    // the controls are locked (nested scopes count; the lock is released also when the work throws).
    WaitReporter& Wait() { return wait_; }

    // The control lock: buttons, lists and menus off (nested calls count) or back on. Commands that
    // are not available stay off. A subject list still coming in is read to its end first.
    void LockControls();
    void UnlockControls();
    bool ControlsLocked() const { return lockDepth_ > 0; }

    // The mode label click / memNameOrAddr: next Display Type, refilled under the control lock.
    void AdvanceViewMode();
    // After a switch by the mode label: the key list takes the focus.
    void FocusKeyList();
    // Chooses a left-list line (as a click does) and fills the subject list.
    void ChooseKey(int row);
    // Chooses a subject line and shows its mail.
    void ChooseSubject(int row);
    // Fills the subject list with other lines than a key's (a search result): the list is emptied,
    // then `makeRows` runs and its rows stream in.
    void ShowSubjectRows(const std::function<std::unique_ptr<SubjectRowSource>()>& makeRows);
    // The years at a glance (memYears): a month chosen on it opens that month in the date view,
    // through the date view's year-and-month chooser. `month` is "yyyy/mm".
    void ShowMonthInDateView(const QString& month);
    // The mail on display, if any.
    std::optional<MailRecord> CurrentMail() const { return currentMail_; }

    // Applies the mail-text font of the settings to txtMail.
    void ApplyMailFont();
    // Opens the option dialog modally; on OK the settings are written to the file.
    bool RunOptionDialog();

    // Test seams: how the option dialog runs (default: exec) and how a mailto: link opens.
    void SetOptionDialogRunner(std::function<int(frmOption&)> runner) { optionRunner_ = std::move(runner); }
    void SetUrlOpener(std::function<bool(const QUrl&)> opener) { urlOpener_ = std::move(opener); }
    void SetBackupListRunner(std::function<int(frmBackupList&)> runner) { backupListRunner_ = std::move(runner); }
    void SetFriendEditorRunner(std::function<int(frmFriend&)> runner) { friendEditorRunner_ = std::move(runner); }
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

    frmWait& WaitWindow();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void OnLstNameOrAddrCurrentChanged(const QModelIndex& current);
    void OnLstSubjectCurrentChanged(const QModelIndex& current);
    void OnTimer1();

    void OnComMailRead();
    void OnComMailDel();
    void OnCmdAddrDel();
    void OnComSendMail();
    void OnComEnd();

    void OnMemExport();
    void OnMemMailExport();
    void OnMemPrint();
    void OnMemPdfExport();
    void OnMemInport();
    void OnMemDBEdit();
    void OnMemBackUpMake();
    void OnMemBackUpFileEdit();
    void OnMemBackUpFileSelect();
    void OnMemNomalDisp();
    void OnMemOption();
    void OnMemFriendA();
    void OnMemFriendF();
    void OnMemFriendP();
    void OnMemFriendM();
    void OnMemFriendEd();
    void OnMemAddressAdd();
    void OnMemFilter();
    void OnMemFilterGo();
    void OnMemNameOrAddr();
    void OnMemHelpTop();
    void OnMemVar();
    void OnMemEnd();
    void OnMemMailDel();
    void OnMemCopy();
    void OnMemSelectAll();
    void OnMemSearch();
    void OnMemYears();
    void OnMemOriginalHeader();

private:
    // The mail commands that offer every mail, the chosen key's, the search result's and (`shownMail`)
    // the mail on display.
    using MailsCommand = bool (*)(ArchiveSession&, Prompter&, WaitReporter&, QWidget*,
                                  const std::vector<MailSelection>&);
    void WithMailsOnOffer(MailsCommand command, bool shownMail);
    // Released in the destructor of the scope; the wait window is not shown for quick refills.
    class LockScope {
    public:
        explicit LockScope(frmKamoMail& window) : window_(window) { window_.LockForRefill(); }
        ~LockScope() { window_.UnlockControls(); }
        LockScope(const LockScope&) = delete;
        LockScope& operator=(const LockScope&) = delete;

    private:
        frmKamoMail& window_;
    };

    void BuildControls();
    void BuildMenus();
    // The wait window behind Wait(): shown, and the controls locked, between Begin and End.
    class WindowWait : public WaitReporter {
    public:
        explicit WindowWait(frmKamoMail& window) : window_(window) {}
        void SetLine(int index, const std::string& text) override;
        void SetProgress(int64_t done, int64_t total) override;
        void Pump() override;
        void Begin() override;
        void End() override;
        void OfferCancel() override;
        bool CancelRequested() const override;

    private:
        frmKamoMail& window_;
    };

    QAction* AddAction(QMenu* menu, const char* name, const char* caption, void (frmKamoMail::*slot)());
    QMenu* AddMenu(QMenu* parentMenu, const char* name, const char* caption);
    // The lock of a list refill: the subject list is being replaced, not read to its end.
    void LockForRefill();
    // The writing commands off (and the caption saying so) while a backup is on display.
    void ApplyBackupView();
    // The configured PostPet folder is not there: offers the ones found; true when one was taken.
    bool OfferFoundPostPet();
    // Where the user is in the lists, to come back to after the archive changed.
    struct Place {
        std::string key;
        int keyRow = -1;
        int subjectRow = -1;
    };
    Place CurrentPlace() const;
    void RestorePlace(const Place& place);
    // Runs a handler under the error trap: a failure is reported, the window stays usable.
    void Guarded(const std::function<void()>& work);
    void ShowViewModeUnguarded();
    // What the user can do to fill an empty view, in the empty mail pane.
    void ShowEmptyViewHint();
    // After a new subject list came in (`newestFirst`: its own order): the user's order applied and
    // the heading saying which it is.
    void ApplySubjectOrder(bool newestFirst);
    void ShowSubjectOrder();
    // The date view's year-and-month chooser; hidden in the other views.
    void FillYearMonths(ViewMode mode);
    // The chooser's entry `index`: its month's newest day chosen in the date list.
    void ChooseYearMonth(int index);
    static constexpr int kMonthRole = Qt::UserRole + 1; // "yyyy/mm" of a chooser entry
    // Counts the years picture again for what the view shows, when it is shown.
    void ShowYears();
    void ClearMailDisplay();
    // The start-up upkeep's end: a compacted copy put in place, or a problem told, when the window is idle.
    void FinishUpkeepWhenIdle();
    // 自動読み込み: watches the chosen mailboxes while the option is on (again after the options
    // change), and reads what PostPet wrote once nothing else runs.
    void ArmAutoRead();
    void AutoReadWhenIdle();
    void FillSubjects(int keyRow);
    FormGeometry CurrentGeometry() const;
    void ApplyGeometry(const FormGeometry& geometry);

    ArchiveSession& session_;
    Settings& settings_; // the session's
    Prompter& prompter_;
    BusyFlags flags_;
    WindowWait wait_{*this};
    QtCommandRegistry commands_;

    QLabel* lblNameOrAddr = nullptr;
    QListView* lstNameOrAddr = nullptr;
    QComboBox* cmbYearMonth = nullptr;
    QtMonthChart* picYears = nullptr;
    QAction* memYears = nullptr;
    bool keepYears_ = false; // a month chosen on the picture: the picture stays while the view switches
    QListView* lstSubject = nullptr;
    QPushButton* cmdSubjectOrder = nullptr; // the subject list's heading; a click turns the order round
    QPlainTextEdit* txtMail = nullptr;
    QLabel* lblHead = nullptr;
    QtAttachmentList* attachmentList_ = nullptr; // under txtMail
    QtMailPictures* pictures_ = nullptr;         // between txtMail and the attachment list
    QtConversationLine* conversation_ = nullptr; // under lblHead
    QLabel* lblRecCount = nullptr;
    QLabel* lblDate = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* comMailRead = nullptr;
    QPushButton* comMailDel = nullptr;
    QPushButton* cmdAddrDel = nullptr;
    QPushButton* comSendMail = nullptr;
    QPushButton* comEnd = nullptr;

    QtSearchBar* searchBar_ = nullptr;
    KeyListModel* keyModel_ = nullptr;
    SubjectListModel* subjectModel_ = nullptr;
    frmWait* waitWindow_ = nullptr;
    int lockDepth_ = 0;
    // The subject list's order: a key's mail comes oldest first, a search's newest first, until the
    // user chooses one order with the heading; that order then holds for every list.
    std::optional<bool> chosenNewestFirst_;
    bool subjectsNewestFirst_ = false; // the order of the lines on display
    // Wait scopes open now: the wait window goes when the last one ends, whatever locks remain.
    int waitDepth_ = 0;
    // The control that had the keyboard when the lock began: disabling it moves the focus away, and
    // it takes the focus back when the lock ends.
    QPointer<QWidget> focusBeforeLock_;
    bool loaded_ = false;
    std::unique_ptr<QtMailboxWatch> autoReadWatch_;
    std::vector<MailboxChoice> autoReadDue_;        // written and settled, waiting for the window to be idle
    std::vector<const MailboxInfo*> autoReadBoxes_; // what autoReadWatch_ watches, and where
    std::filesystem::path autoReadDir_;
    bool upkeepTold_ = false;
    std::optional<MailRecord> currentMail_;
    // Geometry as read: an unmoved window writes back what it read.
    FormGeometry readGeometry_{};
    std::function<int(frmOption&)> optionRunner_;
    std::function<bool(const QUrl&)> urlOpener_;
    std::function<int(frmBackupList&)> backupListRunner_;
    std::function<int(frmFriend&)> friendEditorRunner_;
    std::function<std::optional<QString>(const QString&)> friendFileChooser_;
    std::function<std::optional<QString>(const QString&)> folderChooser_;
    std::function<std::vector<std::filesystem::path>()> searchRoots_;
    std::optional<std::filesystem::path> searchHome_;
    std::function<std::optional<size_t>(const std::vector<FoundPostPet>&)> postPetChooser_;
};

} // namespace kamo
