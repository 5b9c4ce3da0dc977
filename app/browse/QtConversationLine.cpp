#include "browse/QtConversationLine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <sqlite3.h>

#include <SQLiteCpp/Statement.h>

#include "browse/frmConversation.h"
#include "db/MailRows.h"
#include "search/Conversations.h"

namespace kamo {

QtConversationLine::QtConversationLine(QWidget* parent) : QWidget(parent) {
    setObjectName("QtConversationLine");
    lblConversation = new QLabel(this);
    lblConversation->setObjectName("lblConversation");
    lblConversation->setTextFormat(Qt::RichText);
    lblConversation->setToolTip(QString::fromUtf8("この会話のメールを 1 ページで表示します（Ctrl+T、Esc で戻る）"));
    connect(lblConversation, &QLabel::linkActivated, this, [this] { OpenPage(); });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(lblConversation);
    layout->addStretch(1);
    hide();
}

QtConversationLine::~QtConversationLine() = default;

const Conversations& QtConversationLine::Current(SQLite::Database& db) {
    // The connection's own changes and other connections' commits both move one of the two.
    const int64_t changes = sqlite3_total_changes64(db.getHandle());
    const int64_t version = db.execAndGet("PRAGMA data_version").getInt64();
    if (!conversations_ || changes != changes_ || version != dataVersion_) {
        conversations_ = std::make_unique<Conversations>(db);
        changes_ = changes;
        dataVersion_ = version;
    }
    return *conversations_;
}

void QtConversationLine::ShowMail(SQLite::Database& db, const MailKey& key) {
    Clear();
    SQLite::Statement st(db, "SELECT rowid FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail"));
    BindMailKey(st, 1, key);
    if (!st.executeStep())
        return;
    db_ = &db;
    row_ = st.getColumn(0).getInt64();
    count_ = static_cast<int>(Current(db).SizeOf(row_));
    if (count_ > 1) {
        lblConversation->setText(QString::fromUtf8("<a href=\"conversation\">この会話: %1 通</a>").arg(count_));
        show();
    }
}

void QtConversationLine::Clear() {
    db_ = nullptr;
    row_ = 0;
    count_ = 0;
    hide();
}

void QtConversationLine::Forget() {
    Clear();
    conversations_.reset();
}

void QtConversationLine::OpenPage() {
    if (!db_ || count_ == 0)
        return;
    // Everything is read when the page is made; it holds nothing of the archive while open.
    auto* page = new frmConversation(*db_, Current(*db_).MailsWith(row_), row_, window());
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->open();
}

} // namespace kamo
