#pragma once
// The main window's browsing part: the view mode's label and key list (with the date view's
// year-and-month chooser), the search field over the subject list, the mail's header, text, pictures
// and attachments, and the years at a glance. It reads through the session's connection and locks the
// window's controls while a list refills.
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "browse/ViewModes.h"
#include "common/MailRecord.h"

class QComboBox;
class QHBoxLayout;
class QLabel;
class QListView;
class QModelIndex;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

namespace kamo {

class ArchiveSession;
class ArchiveView;
class KeyListModel;
class Prompter;
class QtAttachmentList;
class QtControlLock;
class QtConversationLine;
class QtMailPictures;
class QtMonthChart;
class QtSearchBar;
class SubjectListModel;
class SubjectRowSource;
struct KeyItem;
struct Settings;

class QtMailBrowser : public QWidget {
    Q_OBJECT
public:
    // `view` is the window: it shows the view mode anew (ShowViewMode) when the mode changes.
    QtMailBrowser(ArchiveSession& session, Prompter& prompter, QtControlLock& lock, ArchiveView& view, QWidget* parent);

    // The row above the lists, for what the window puts at its right end.
    QHBoxLayout& TopRow() { return *topRow_; }
    // The browsing controls in the order Tab walks them.
    QList<QWidget*> TabChain() const;

    // Empties the lists and the mail display and refills the key list by Display Type (throws on a
    // failing archive).
    void ShowViewMode();
    // Next Display Type, refilled under the control lock; FocusKeyList: the key list takes the focus.
    void AdvanceViewMode();
    void FocusKeyList();
    // Chooses a key-list line (as a click does) and fills the subject list.
    void ChooseKey(int row);
    // Chooses a subject line and shows its mail.
    void ChooseSubject(int row);
    // Fills the subject list with other lines than a key's (a search result).
    void ShowSubjectRows(const std::function<std::unique_ptr<SubjectRowSource>()>& makeRows);
    // Mail added beside the user (a read): the lists take it in where they are; the chosen key and
    // line, the mail on display, the search typed or on display and the keyboard stay.
    void ShowNewMail();
    // A month ("yyyy/mm") chosen on the years picture: with a key of the address or name view
    // chosen, the key's mail of that month (the same month again: all of the key's mail); otherwise
    // opened in the date view.
    void ChooseMonth(const QString& month);
    void ShowMonthInDateView(const QString& month);
    // The month the key's list is narrowed to; empty for all of the key's mail.
    QString KeyMonth() const { return QString::fromStdString(month_); }
    // The years at a glance shown or hidden.
    void ShowYearsPicture(bool shown);
    bool YearsPictureShown() const;
    // The layout the user left (the splitters) taken from the settings and given back to them.
    void RestoreLayout(const Settings& settings);
    void SaveLayout(Settings& settings) const;
    std::optional<MailRecord> CurrentMail() const { return currentMail_; }
    const KeyItem* CurrentKey() const;
    bool KeyListHasFocus() const;
    // The query whose result the subject list shows; empty when it shows something else.
    QString ActiveQuery() const;

    void ApplyMailFont(const std::string& name, int32_t size, const std::string& style);
    // Empties everything, the statements included (before the connection changes).
    void Clear();
    // A subject list still coming in is read to its end.
    void FinishLoading();

    // Where the user is in the lists, to come back to after the archive changed.
    struct Place {
        std::string key;
        int keyRow = -1;
        int subjectRow = -1;
    };
    Place CurrentPlace() const;
    void RestorePlace(const Place& place);
    // After a mail of the search result `query` was deleted: the result again, the mail after it chosen.
    void SearchAgain(const QString& query, const Place& place);

    // The edit menu: the chosen text (or the whole mail) to the clipboard, the whole mail text
    // selected, the search field.
    void CopyChosenText();
    void SelectMailText();
    void FocusSearch();
    // The chosen mail's conversation on one page (nothing when no mail is chosen).
    void OpenConversation();
    // A friend's mail (from the friend book): the address view with `address` chosen, its mail listed. False
    // when no mail has that address (or a command runs).
    bool ShowAddressMail(const std::string& address);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLists();
    void BuildMailPane(QWidget* pane);
    void ClearMailDisplay();
    void ShowEmptyViewHint();
    void FillSubjects(int keyRow);
    // The chosen key's lines (narrowed to month_ when one is chosen).
    std::unique_ptr<SubjectRowSource> KeyRows(const KeyItem& item) const;
    int RowOfKey(const std::string& text) const;
    // The lists keep their chosen line marked without the focus; Enter goes on to the next pane; a
    // right-click offers the window's commands on the line.
    void SetUpListConventions(QListView* list);
    void ShowListMenu(QListView* list, const QPoint& at);
    // The date view's chooser on the month of the chosen date.
    void FollowYearMonth();
    void ShowMail(const QModelIndex& current);
    // After a new subject list came in (`newestFirst`: its own order): the user's order applied and
    // the heading saying which it is.
    void ApplySubjectOrder(bool newestFirst);
    void ShowSubjectOrder();
    void TurnSubjectOrder();
    // The lines grouped by conversation when cmdThreads is on, in the list's own order otherwise.
    void ApplyThreads();
    // cmdThreads clicked: the lines grouped or not, the chosen mail kept.
    void ToggleThreads();
    // The date view's year-and-month chooser; hidden in the other views.
    void FillYearMonths(ViewMode mode);
    // The chooser's entries with their mail counts, once the date view is on screen.
    void CountYearMonths();
    static QString MonthEntryText(const QString& month, int days, std::optional<int64_t> mails);
    void ChooseYearMonth(int index);
    static constexpr int kMonthRole = Qt::UserRole + 1; // "yyyy/mm" of a chooser entry
    static constexpr int kDaysRole = Qt::UserRole + 2;  // the days the date view lists of it
    int yearMonthFills_ = 0;                            // a count waiting for an earlier fill is dropped
    // Counts the years picture again for what the view shows, when it is shown.
    void ShowYears();
    ViewMode Mode() const;

    ArchiveSession& session_;
    Prompter& prompter_;
    QtControlLock& lock_;
    ArchiveView& view_;

    QHBoxLayout* topRow_ = nullptr;
    QLabel* lblNameOrAddr = nullptr;
    QLabel* lblRecCount = nullptr;
    QListView* lstNameOrAddr = nullptr;
    QComboBox* cmbYearMonth = nullptr;
    QtMonthChart* picYears = nullptr;
    QSplitter* splMain_ = nullptr;
    QSplitter* splRight_ = nullptr;
    std::string month_;      // the key's list narrowed to this month ("yyyy/mm")
    bool quiet_ = false;     // lists refilled in place: no line chosen anew, no mail shown anew
    bool keepYears_ = false; // a month chosen on the picture: the picture stays while the view switches
    QListView* lstSubject = nullptr;
    QPushButton* cmdSubjectOrder = nullptr; // the subject list's heading; a click turns the order round
    QPushButton* cmdThreads = nullptr;      // beside it, on: the lines grouped by conversation
    QPlainTextEdit* txtMail = nullptr;
    QLabel* lblHead = nullptr;
    QtAttachmentList* attachmentList_ = nullptr; // under txtMail
    QtMailPictures* pictures_ = nullptr;         // holds txtMail with the pictures under it
    QtConversationLine* conversation_ = nullptr; // under lblHead
    QtSearchBar* searchBar_ = nullptr;
    KeyListModel* keyModel_ = nullptr;
    SubjectListModel* subjectModel_ = nullptr;
    // The subject list's order: a key's mail comes oldest first, a search's newest first, until the
    // user chooses one order with the heading; that order then holds for every list.
    std::optional<bool> chosenNewestFirst_;
    bool subjectsNewestFirst_ = false; // the order of the lines on display
    std::optional<MailRecord> currentMail_;
};

} // namespace kamo
