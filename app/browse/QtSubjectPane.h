#pragma once
// The browser's mail lines: the search field on top, the heading of the columns (a click turns the
// order round) with スレッド beside it (the lines grouped by conversation), and the list (lstSubject),
// whose count shows in the row above the lists. A key's mail comes oldest first and a search's newest
// first until the user chooses an order with the heading; that order then holds for every list.
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "browse/QtSearchBar.h"

class QLabel;
class QListView;
class QPushButton;

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class QtControlLock;
class SubjectListModel;
class SubjectRowSource;

class QtSubjectPane : public QWidget {
    Q_OBJECT
public:
    // `showRows` is what the search field's Enter calls with the rows it found.
    QtSubjectPane(ArchiveSession& session, Prompter& prompter, QtControlLock& lock, ArchiveView& view,
                  QtSearchBar::ShowRows showRows, QWidget* parent = nullptr);

    // The lines of `rows` (`newestFirst`: the order they come in), in the order the user chose and
    // grouped by conversation when スレッド is on; read from the session's archive.
    void SetRows(std::unique_ptr<SubjectRowSource> rows, bool newestFirst);
    void Clear();
    // The count above the lists: none, or no line yet.
    void ClearCount();
    void ZeroCount();
    // Chooses the line `row` (as a click does); LineChosen follows, also for the line already chosen.
    void Choose(int row);
    // The archive row of the chosen line; 0 for none.
    int64_t ChosenRowId() const;
    bool Threaded() const;
    void SetThreaded(bool on);

    QListView* List() const { return lstSubject; }
    SubjectListModel& Model() const { return *model_; }
    QtSearchBar& SearchBar() const { return *searchBar_; }
    QLabel* CountLabel() const { return lblRecCount; }
    QPushButton* OrderHeading() const { return cmdSubjectOrder; }
    QPushButton* ThreadsButton() const { return cmdThreads; }
    // Lists of at least this many lines are grouped on a thread of their own under the wait window,
    // with 中止 (and so is any list while the conversation index owes many mails).
    static constexpr size_t kGroupBesideLines = 20000;
    void SetGroupBesideFrom(size_t lines) { groupBesideFrom_ = lines; }

signals:
    // The line `row` is chosen: its mail is wanted.
    void LineChosen(int row);

private:
    // After a new list came in (`newestFirst`: its own order): the user's order applied and the
    // heading saying which it is.
    void ApplyOrder(bool newestFirst);
    void ShowOrder();
    void TurnOrder();
    // The lines grouped by conversation when cmdThreads is on, in the list's own order otherwise.
    void ApplyThreads();
    // cmdThreads clicked: the lines grouped or not, the chosen mail kept.
    void ToggleThreads();

    ArchiveSession& session_;
    Prompter& prompter_;
    QtControlLock& lock_;
    SubjectListModel* model_ = nullptr;
    QLabel* lblRecCount = nullptr;
    QListView* lstSubject = nullptr;
    QtSearchBar* searchBar_ = nullptr;
    QPushButton* cmdSubjectOrder = nullptr; // the heading; a click turns the order round
    QPushButton* cmdThreads = nullptr;      // beside it, on: the lines grouped by conversation
    std::optional<bool> chosenNewestFirst_; // the user's order, once chosen
    bool newestFirst_ = false;              // the order of the lines on display
    size_t groupBesideFrom_ = kGroupBesideLines;
};

} // namespace kamo
