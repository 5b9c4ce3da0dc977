#include "export/frmOriginalHeader.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/Prompter.h"
#include "db/MailOriginals.h"
#include "export/OriginalReading.h"

namespace kamo {

frmOriginalHeader::frmOriginalHeader(const std::string& headerText, const std::string& mailbox, QWidget* parent)
    : QDialog(parent) {
    setObjectName("frmOriginalHeader");
    setWindowTitle(QString::fromUtf8("元のヘッダー"));
    auto* place = new QLabel(QString::fromUtf8("メールボックス：") +
                                 QString::fromStdString(mailbox.empty() ? std::string("（不明）") : mailbox),
                             this);
    place->setObjectName("lblMailbox");
    txtHeader = new QPlainTextEdit(this);
    txtHeader->setObjectName("txtHeader");
    txtHeader->setReadOnly(true);
    txtHeader->setLineWrapMode(QPlainTextEdit::NoWrap); // folded lines stay as the mail folded them
    txtHeader->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtHeader->setPlainText(QString::fromStdString(headerText));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName("cmdClose");
    buttons->button(QDialogButtonBox::Close)->setText(QString::fromUtf8("閉じる"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(place);
    layout->addWidget(txtHeader, 1);
    layout->addWidget(buttons);
    resize(640, 420);
}

QString frmOriginalHeader::Text() const {
    return txtHeader->toPlainText();
}

std::function<int(frmOriginalHeader&)>& OriginalHeaderRun() {
    static std::function<int(frmOriginalHeader&)> run = [](frmOriginalHeader& dialog) { return dialog.exec(); };
    return run;
}

void MemOriginalHeader(SQLite::Database& db, Prompter& prompter, QWidget* parent,
                       const std::optional<MailRecord>& mail) {
    const std::string title = "元のヘッダー";
    if (!mail) {
        prompter.Message("メールを選んでください。", title);
        return;
    }
    const auto stored = OriginalReader(db).Read(KeyOf(*mail));
    if (!stored) {
        prompter.Message("このメールの元のヘッダーは保存されていません（元のメールを保存するようになる前に読み込んだ"
                         "メールです）。",
                         title);
        return;
    }
    frmOriginalHeader dialog(OriginalHeaderText(stored->original.header), stored->mailbox, parent);
    OriginalHeaderRun()(dialog);
}

} // namespace kamo
