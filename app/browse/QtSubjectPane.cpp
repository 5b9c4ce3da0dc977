#include "browse/QtSubjectPane.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "browse/QtControlLock.h"
#include "browse/QtListConventions.h"
#include "browse/QtListModels.h"
#include "browse/SubjectLines.h"
#include "browse/ThreadedLines.h"
#include "common/Guarded.h"
#include "common/Prompter.h"
#include "db/ArchiveSession.h"
#include "search/ConversationIndex.h"

namespace kamo {
namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

QtSubjectPane::QtSubjectPane(ArchiveSession& session, Prompter& prompter, QtControlLock& lock, ArchiveView& view,
                             QtSearchBar::ShowRows showRows, QWidget* parent)
    : QWidget(parent), session_(session), prompter_(prompter), lock_(lock) {
    lblRecCount = new QLabel(this);
    lblRecCount->setObjectName("lblRecCount");
    model_ = new SubjectListModel(this);
    lstSubject = MakeLineList(this, "lstSubject", model_);
    connect(lstSubject->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    emit LineChosen(current.row());
            });
    connect(model_, &SubjectListModel::CountChanged, this, [this](qsizetype count, bool) {
        lblRecCount->setText(QString::fromStdString(RecCountText(static_cast<size_t>(count))));
    });
    connect(model_, &SubjectListModel::LoadFailed, this,
            [this](const QString& message) { prompter_.Error("エラーが発生しました。\n" + message.toStdString()); });

    // The search field sits on top of the list it fills.
    searchBar_ = new QtSearchBar(session_, lock_, view, std::move(showRows), this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(searchBar_);
    // The heading of the subject columns, in the lines' own font and columns; a click turns the
    // order round (oldest or newest first).
    cmdSubjectOrder = new QPushButton(this);
    cmdSubjectOrder->setObjectName("cmdSubjectOrder");
    cmdSubjectOrder->setFlat(true);
    cmdSubjectOrder->setFont(ListFont());
    cmdSubjectOrder->setStyleSheet("text-align: left; padding-left: 4px;");
    cmdSubjectOrder->setFocusPolicy(Qt::NoFocus);
    connect(cmdSubjectOrder, &QPushButton::clicked, this, &QtSubjectPane::TurnOrder);
    // Beside it: each conversation's later mails under its first, in the order the heading says.
    cmdThreads = new QPushButton(U("スレッド"), this);
    cmdThreads->setObjectName("cmdThreads");
    cmdThreads->setCheckable(true);
    cmdThreads->setFocusPolicy(Qt::NoFocus);
    cmdThreads->setToolTip(U("オンにすると、同じ会話のメールを最初のメールの下に字下げしてまとめます"));
    connect(cmdThreads, &QPushButton::clicked, this, &QtSubjectPane::ToggleThreads);
    ShowOrder();
    auto* headingRow = new QHBoxLayout;
    headingRow->setContentsMargins(0, 0, 0, 0);
    headingRow->addWidget(cmdSubjectOrder, 1);
    headingRow->addWidget(cmdThreads);
    layout->addLayout(headingRow);
    layout->addWidget(lstSubject, 1);
}

void QtSubjectPane::SetRows(std::unique_ptr<SubjectRowSource> rows, bool newestFirst) {
    model_->SetStream(session_.Database(), std::move(rows));
    ApplyOrder(newestFirst);
}

void QtSubjectPane::Clear() {
    model_->Clear();
}

void QtSubjectPane::ClearCount() {
    lblRecCount->clear();
}

void QtSubjectPane::ZeroCount() {
    lblRecCount->setText(QString::fromStdString(RecCountText(0)));
}

void QtSubjectPane::Choose(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    QModelIndex index = model_->index(row);
    if (lstSubject->currentIndex() != index)
        lstSubject->setCurrentIndex(index);
    else
        emit LineChosen(row);
}

int64_t QtSubjectPane::ChosenRowId() const {
    return model_->RowIdAt(lstSubject->currentIndex().row());
}

bool QtSubjectPane::Threaded() const {
    return cmdThreads->isChecked();
}

void QtSubjectPane::SetThreaded(bool on) {
    cmdThreads->setChecked(on);
}

void QtSubjectPane::ApplyOrder(bool newestFirst) {
    newestFirst_ = newestFirst;
    if (chosenNewestFirst_ && *chosenNewestFirst_ != newestFirst) {
        model_->Reverse();
        newestFirst_ = *chosenNewestFirst_;
    }
    ShowOrder();
    ApplyThreads();
}

void QtSubjectPane::TurnOrder() {
    chosenNewestFirst_ = !newestFirst_;
    const int64_t chosen = ChosenRowId();
    model_->Reverse();
    newestFirst_ = *chosenNewestFirst_;
    ShowOrder();
    if (chosen != 0) // the same mail stays chosen, at its new place
        Choose(model_->RowOf(chosen));
}

void QtSubjectPane::ApplyThreads() {
    if (!cmdThreads->isChecked()) {
        model_->Ungroup();
        return;
    }
    // Grouping needs the whole list: the rest is read first.
    model_->FinishLoading();
    if (model_->rowCount() == 0)
        return;
    SQLite::Database& db = session_.Database();
    const std::vector<int64_t> lines = model_->ListOrder();
    if (lines.size() < groupBesideFrom_ && ConversationIndexOwed(db) <= kQuietConversationRows) {
        model_->GroupByConversation(ThreadsOfLines(db, model_->Source(), lines, lock_, OwedIndex::MakeWhenFew));
        return;
    }
    // A long list, or an index still being made while the window is idle (the archive is then read
    // whole): on a thread of its own under the wait window, the window's events running meanwhile.
    std::optional<std::vector<std::string>> threads;
    {
        WaitScope busy(lock_);
        lock_.ShowBusy(WaitPhase::GroupingConversations);
        lock_.OfferCancel();
        threads = ThreadsOfLinesBeside(
            db, model_->Source(), lines, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); },
            [this] { return lock_.CancelRequested(); });
    }
    if (!threads) {
        // 中止: the lines stay as they were, in the list's own order.
        cmdThreads->setChecked(false);
        model_->Ungroup();
        return;
    }
    model_->GroupByConversation(std::move(*threads));
}

void QtSubjectPane::ToggleThreads() {
    const int64_t chosen = ChosenRowId();
    {
        QtControlLock::Scope lock(lock_);
        Guarded(prompter_, [&] { ApplyThreads(); });
    }
    if (chosen != 0) // the same mail stays chosen, at its new place
        Choose(model_->RowOf(chosen));
}

void QtSubjectPane::ShowOrder() {
    // The columns of FormatSubjectLine: date and time, then who, the subject from the 56th column.
    const QString arrow = newestFirst_ ? U("▼") : U("▲");
    QString head = U("日付") + arrow + U("     時刻     送受　相手");
    int columns = 0;
    for (QChar c : head)
        columns += c.unicode() < 0x80 ? 1 : 2;
    head += QString(std::max(1, 55 - columns), ' ') + U("件名");
    cmdSubjectOrder->setText(head);
    cmdSubjectOrder->setToolTip(newestFirst_ ? U("新しいメールが上です。クリックすると古い順にします")
                                             : U("古いメールが上です。クリックすると新しい順にします"));
}

} // namespace kamo
