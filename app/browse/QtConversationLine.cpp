#include "browse/QtConversationLine.h"

#include <QHBoxLayout>
#include <QLabel>

#include "browse/frmConversation.h"
#include "common/Guarded.h"
#include "db/MailRows.h"
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
    // Only the mails linked to this one are read (the conversation index); the first look-up in an
    // archive without the index makes it, under the wait window.
    rows_ = ConversationOf(db, row_, wait_).rows;
    count_ = static_cast<int>(rows_.size());
    if (count_ > 1) {
        lblConversation->setText(QString::fromUtf8("<a href=\"conversation\">この会話: %1 通</a>").arg(count_));
        show();
    }
}

void QtConversationLine::Clear() {
    db_ = nullptr;
    row_ = 0;
    count_ = 0;
    rows_.clear();
    hide();
}

void QtConversationLine::Forget() {
    Clear();
}

void QtConversationLine::OpenPage() {
    if (!db_ || count_ == 0)
        return;
    // Everything is read when the page is made; it holds nothing of the archive while open.
    auto* page = new frmConversation(*db_, rows_, row_, window());
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->open();
}

} // namespace kamo
