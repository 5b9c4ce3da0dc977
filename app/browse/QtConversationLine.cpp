#include "browse/QtConversationLine.h"

#include <QHBoxLayout>
#include <QLabel>

#include "browse/frmConversation.h"
#include "common/Guarded.h"
#include "db/MailRows.h"
#include "search/ConversationIndex.h"
#include "search/Conversations.h"

namespace kamo {

QtConversationLine::QtConversationLine(WaitReporter& wait, Prompter& prompter, QWidget* parent)
    : QWidget(parent), wait_(wait), prompter_(prompter) {
    setObjectName("QtConversationLine");
    lblConversation = new QLabel(this);
    lblConversation->setObjectName("lblConversation");
    lblConversation->setTextFormat(Qt::RichText);
    lblConversation->setToolTip(QString::fromUtf8("この会話のメールを 1 ページで表示します（Ctrl+T、Esc で戻る）"));
    connect(lblConversation, &QLabel::linkActivated, this, [this] { Guarded(prompter_, [this] { OpenPage(); }); });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(lblConversation);
    layout->addStretch(1);
    hide();
}

QtConversationLine::~QtConversationLine() = default;

void QtConversationLine::ShowMail(SQLite::Database& db, const MailKey& key) {
    Clear();
    const std::optional<int64_t> row = MailRowIdOf(db, key);
    if (!row)
        return;
    db_ = &db;
    row_ = *row;
    Refresh();
}

void QtConversationLine::Refresh() {
    if (!db_)
        return;
    // Only the mails linked to this one are read (the conversation index). An index that owes many
    // mails is not made here: the idle window makes it a piece at a time and then asks again.
    waiting_ = ConversationIndexOwed(*db_) > kQuietConversationRows;
    if (!waiting_)
        ShowRows(ConversationOf(*db_, row_, wait_, OwedIndex::MakeWhenFew).rows);
}

void QtConversationLine::ShowRows(std::vector<int64_t> rows) {
    rows_ = std::move(rows);
    count_ = static_cast<int>(rows_.size());
    if (count_ > 1) {
        lblConversation->setText(QString::fromUtf8("<a href=\"conversation\">この会話: %1 通</a>").arg(count_));
        show();
    } else {
        hide();
    }
}

void QtConversationLine::Clear() {
    db_ = nullptr;
    row_ = 0;
    count_ = 0;
    waiting_ = false;
    rows_.clear();
    hide();
}

void QtConversationLine::Forget() {
    Clear();
}

void QtConversationLine::OpenPage() {
    if (!db_)
        return;
    if (waiting_) {
        // Without the index the archive is read whole: under the wait window.
        WaitScope busy(wait_);
        wait_.ShowBusy(WaitPhase::GroupingConversations);
        ShowRows(ConversationOf(*db_, row_, wait_, OwedIndex::MakeWhenFew).rows);
        waiting_ = false;
    }
    if (count_ == 0)
        return;
    // Everything is read when the page is made; it holds nothing of the archive while open.
    auto* page = new frmConversation(*db_, rows_, row_, window());
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->open();
}

} // namespace kamo
