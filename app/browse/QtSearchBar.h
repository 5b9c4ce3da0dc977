#pragma once
// The search field above the subject list. Enter lists the mails that meet every term (the syntax
// of search/SearchTerms.h; newest first, streamed like any list); a malformed term is named in a
// line under the field and the list stays as it was. The ? button beside the field shows the
// syntax. Down goes on to the first line found; Escape, or emptying the field, goes back to the
// current view. The window's 検索 entry (Ctrl+F) moves to the field. The search runs only on
// Enter, so typing never waits on the archive.
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QToolButton;

namespace kamo {

class ArchiveSession;
class ArchiveView;
class SubjectRowSource;
class WaitReporter;

class QtSearchBar : public QWidget {
    Q_OBJECT
public:
    // Fills the subject list from the rows `make` returns (called once the list is cleared, under
    // the window's error trap).
    using ShowRows = std::function<void(const std::function<std::unique_ptr<SubjectRowSource>()>& make)>;

    QtSearchBar(ArchiveSession& session, WaitReporter& wait, ArchiveView& view, ShowRows show,
                QWidget* parent = nullptr);

    // The query whose result the subject list shows; empty when it shows something else.
    QString ActiveQuery() const { return active_; }
    // The list shows something else now: the field is emptied, quietly.
    void Reset();
    // What Enter does.
    void Search();
    // Runs `query` again (after the archive changed under a result on display).
    void SearchAgain(const QString& query);
    // Ctrl+F: the field takes the keyboard, its text selected.
    void FocusField();
    // While `held` says so (work beside the user), Enter waits: the typing stays in the field.
    void SetHeld(std::function<bool()> held) { held_ = std::move(held); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BackToView();

    ArchiveSession& session_;
    WaitReporter& wait_;
    ArchiveView& view_;
    ShowRows show_;
    QLineEdit* txtSearch = nullptr;
    QToolButton* btnSearchHelp = nullptr;
    QLabel* lblSearchError = nullptr;
    QLabel* lblSearchHelp = nullptr;
    QString active_;
    std::function<bool()> held_;
};

} // namespace kamo
