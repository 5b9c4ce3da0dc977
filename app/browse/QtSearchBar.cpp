#include "browse/QtSearchBar.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "browse/SearchRows.h"
#include "common/ArchiveView.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "search/SearchIndex.h"
#include "search/SearchTerms.h"

namespace kamo {

QtSearchBar::QtSearchBar(ArchiveSession& session, WaitReporter& wait, ArchiveView& view, ShowRows show, QWidget* parent)
    : QWidget(parent), session_(session), wait_(wait), view_(view), show_(std::move(show)) {
    setObjectName("QtSearchBar");
    auto* label = new QLabel(QString::fromUtf8("検索："), this);
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName("txtSearch");
    txtSearch->setPlaceholderText(QString::fromUtf8(
        "探す言葉、from: to: subject: body: date: has: is: in:（Enter で検索、Esc で戻る、書き方は ？）"));
    txtSearch->setToolTip(QString::fromUtf8(SearchSyntaxHelp()));
    txtSearch->setClearButtonEnabled(true);
    // Japanese is typed here: the input method stays on.
    txtSearch->setAttribute(Qt::WA_InputMethodEnabled, true);
    txtSearch->installEventFilter(this);
    label->setBuddy(txtSearch);
    btnSearchHelp = new QToolButton(this);
    btnSearchHelp->setObjectName("btnSearchHelp");
    btnSearchHelp->setText(QString::fromUtf8("？"));
    btnSearchHelp->setToolTip(QString::fromUtf8("検索の書き方"));
    btnSearchHelp->setCheckable(true);
    // Out of the Tab walk (field, lines, text, buttons); the field's tool tip says the same.
    btnSearchHelp->setFocusPolicy(Qt::NoFocus);
    lblSearchError = new QLabel(this);
    lblSearchError->setObjectName("lblSearchError");
    lblSearchError->setWordWrap(true);
    lblSearchError->setStyleSheet("color: #b00000;");
    lblSearchError->hide();
    lblSearchHelp = new QLabel(QString::fromUtf8(SearchSyntaxHelp()), this);
    lblSearchHelp->setObjectName("lblSearchHelp");
    lblSearchHelp->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblSearchHelp->setFrameShape(QFrame::StyledPanel);
    lblSearchHelp->hide();
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(label);
    row->addWidget(txtSearch, 1);
    row->addWidget(btnSearchHelp);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(row);
    layout->addWidget(lblSearchError);
    layout->addWidget(lblSearchHelp);

    connect(btnSearchHelp, &QToolButton::toggled, lblSearchHelp, &QLabel::setVisible);

    connect(txtSearch, &QLineEdit::returnPressed, this, &QtSearchBar::Search);
    connect(txtSearch, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            lblSearchError->hide();
        if (text.isEmpty() && !active_.isEmpty())
            BackToView();
    });
}

void QtSearchBar::FocusField() {
    txtSearch->setFocus(Qt::ShortcutFocusReason);
    txtSearch->selectAll();
}

void QtSearchBar::SearchAgain(const QString& query) {
    {
        const QSignalBlocker quiet(txtSearch);
        txtSearch->setText(query);
    }
    Search();
}

void QtSearchBar::Reset() {
    active_.clear();
    lblSearchError->hide();
    const QSignalBlocker quiet(txtSearch);
    txtSearch->clear();
}

void QtSearchBar::BackToView() {
    Reset();
    view_.ShowViewMode();
}

void QtSearchBar::Search() {
    if (held_ && held_())
        return;
    const QString text = txtSearch->text();
    ParsedSearch parsed = ParseSearch(text.toStdString());
    if (parsed.error) {
        // Said where the user types; what the list shows stays.
        lblSearchError->setText(QString::fromStdString(SearchErrorText(*parsed.error)));
        lblSearchError->show();
        return;
    }
    lblSearchError->hide();
    if (parsed.terms.empty()) {
        if (!active_.isEmpty())
            BackToView();
        return;
    }
    const bool hadFocus = txtSearch->hasFocus();
    show_([this, terms = std::move(parsed.terms)]() -> std::unique_ptr<SubjectRowSource> {
        // Mail changed since the last search (a read, a deletion, a rename) is indexed first; a
        // large backlog or a first build shows the wait window.
        UpdateSearchIndex(session_.Database(), wait_);
        return std::make_unique<SearchRows>(session_.Database(), terms);
    });
    active_ = text;
    if (txtSearch->text() != text) { // the list was refilled by something else meanwhile
        const QSignalBlocker quiet(txtSearch);
        txtSearch->setText(text);
    }
    if (hadFocus)
        txtSearch->setFocus();
}

bool QtSearchBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != txtSearch || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Down) {
        // Down from the field goes on to the lines found, the first one shown.
        if (auto* list = window()->findChild<QAbstractItemView*>("lstSubject"); list && list->model()->rowCount() > 0) {
            list->setFocus(Qt::TabFocusReason);
            if (!list->currentIndex().isValid())
                list->setCurrentIndex(list->model()->index(0, 0));
            return true;
        }
    }
    if (key == Qt::Key_Escape) {
        // Back to the view from a search result; with no result shown, only the typing is dropped.
        if (!active_.isEmpty())
            BackToView();
        else
            Reset();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kamo
