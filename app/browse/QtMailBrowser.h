#pragma once
// The main window's browsing part, the coordinator of its panes: the view mode's label over the key
// list with the date view's year-and-month chooser (QtKeyPane, QtYearMonthChooser), the mail lines
// under the search field (QtSubjectPane), the reading pane (QtReadingPane) and the years at a glance
// (QtYearsPicture). It carries what one pane's choice means for the others, reads through the
// session's connection and locks the window's controls while a list refills.
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "browse/ViewModes.h"
#include "common/MailRecord.h"

class QHBoxLayout;
class QLabel;
class QListView;
class QSplitter;

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class QtControlLock;
class QtKeyPane;
class QtReadingPane;
class QtSubjectPane;
class QtYearsPicture;
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
    std::optional<MailRecord> CurrentMail() const;
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
    void BuildLayout();
    // The browser's controls in the control lock, in the order it switches them.
    void RegisterControls();
    void ShowEmptyViewHint();
    void FillSubjects(int keyRow);
    // The chosen key's lines (narrowed to month_ when one is chosen).
    std::unique_ptr<SubjectRowSource> KeyRows(const KeyItem& item) const;
    // The date view's chooser on the month of the chosen date.
    void FollowYearMonth();
    void ChooseYearMonth(int index);
    // The mail of the subject list's line `row` in the reading pane.
    void ShowMail(int row);
    // Counts the years picture again for what the view shows, when it is shown.
    void ShowYears();
    ViewMode Mode() const;

    ArchiveSession& session_;
    Prompter& prompter_;
    QtControlLock& lock_;
    ArchiveView& view_;

    QHBoxLayout* topRow_ = nullptr;
    QLabel* lblNameOrAddr = nullptr; // the view mode; a click switches it
    QtKeyPane* keys_ = nullptr;
    QtSubjectPane* subjects_ = nullptr;
    QtReadingPane* reading_ = nullptr;
    QtYearsPicture* picYears = nullptr;
    QSplitter* splMain_ = nullptr;
    QSplitter* splRight_ = nullptr;
    std::string month_;      // the key's list narrowed to this month ("yyyy/mm")
    bool quiet_ = false;     // lists refilled in place: no line chosen anew, no mail shown anew
    bool keepYears_ = false; // a month chosen on the picture: the picture stays while the view switches
};

} // namespace kamo
