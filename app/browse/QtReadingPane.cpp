#include "browse/QtReadingPane.h"

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSyntaxHighlighter>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

#include "browse/MailView.h"
#include "browse/QtAttachmentList.h"
#include "browse/QtConversationLine.h"
#include "browse/QtListConventions.h"
#include "browse/QtMailPictures.h"
#include "browse/frmOption.h"

namespace kamo {
namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

// Quoted lines of a reply (">" or the full-width "＞") in a quieter colour.
class QuoteHighlighter : public QSyntaxHighlighter {
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString& text) override {
        QString trimmed = text.trimmed();
        if (trimmed.startsWith('>') || trimmed.startsWith(QChar(0xFF1E))) {
            QTextCharFormat format;
            format.setForeground(QColor(0x1F, 0x5F, 0x9F));
            setFormat(0, static_cast<int>(text.size()), format);
        }
    }
};

} // namespace

QtReadingPane::QtReadingPane(Prompter& prompter, WaitReporter& wait, QWidget* parent) : QWidget(parent) {
    lblHead = new QLabel(this);
    lblHead->setObjectName("lblHead");
    lblHead->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblHead->setTextFormat(Qt::PlainText);
    // The header can be selected and copied like the body, with the mouse or the keyboard.
    lblHead->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblHead->setContextMenuPolicy(Qt::DefaultContextMenu);
    lblHead->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QFont listFont = ListFont();
    lblHead->setFont(listFont);
    lblHead->setMinimumHeight(QFontMetrics(listFont).lineSpacing() * 4 + 8);

    txtMail = new QPlainTextEdit(this);
    txtMail->setObjectName("txtMail");
    txtMail->setReadOnly(true);
    // Read-only text takes no keys of its own: with a keyboard cursor, Ctrl+End and Ctrl+Home, the
    // arrows and Shift-selection work in the mail as in any reader, and the cursor's line is shown whole.
    txtMail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtMail->setAttribute(Qt::WA_InputMethodEnabled, true);
    txtMail->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtMail->setTabChangesFocus(true);
    new QuoteHighlighter(txtMail->document());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lblHead);
    conversation_ = new QtConversationLine(wait, prompter, this);
    layout->addWidget(conversation_);
    attachmentList_ = new QtAttachmentList(prompter, this);
    // The text and its pictures in one pane that scrolls as one; a picture opens, saves, copies and
    // drags out as its line in the attachment list does.
    pictures_ = new QtMailPictures(this);
    pictures_->SetText(txtMail);
    pictures_->SetOpener([this](int64_t position) { return attachmentList_->OpenAttachment(position); });
    pictures_->SetMenuMaker(
        [this](int64_t position, QWidget* parent) { return attachmentList_->MenuOf(position, parent); });
    pictures_->SetDragger(
        [this](int64_t position, QWidget* source) { return attachmentList_->DragAttachment(position, source); });
    layout->addWidget(pictures_, 1);
    layout->addWidget(attachmentList_);
}

void QtReadingPane::Clear() {
    currentMail_.reset();
    txtMail->clear();
    lblHead->clear();
    attachmentList_->Clear();
    pictures_->Clear();
    conversation_->Clear();
}

void QtReadingPane::Forget() {
    conversation_->Forget();
}

void QtReadingPane::ShowMail(SQLite::Database& db, const std::optional<MailKey>& key) {
    Clear();
    std::optional<MailRecord> mail = key ? ReadMail(db, *key) : std::nullopt;
    if (!mail) {
        lblHead->setText(U("このメールはアーカイブにありません。"));
        return;
    }
    lblHead->setText(QString::fromStdString(MailHeadText(*mail)));
    const std::string body = MailBodyText(*mail);
    txtMail->setPlainText(body.find_first_not_of(" \t\n\r") == std::string::npos ? U("（本文なし）")
                                                                                 : QString::fromStdString(body));
    attachmentList_->ShowMail(db, *key);
    pictures_->ShowMail(db, *key);
    conversation_->ShowMail(db, *key);
    currentMail_ = std::move(mail);
}

void QtReadingPane::SetHint(const QString& hint) {
    txtMail->setPlaceholderText(hint);
}

void QtReadingPane::ApplyMailFont(const std::string& name, int32_t size, const std::string& style) {
    txtMail->setFont(MailTextFont(name, size, style));
}

QString QtReadingPane::ChosenText(const QWidget* focus) const {
    if (focus == lblHead)
        return lblHead->selectedText();
    if (txtMail->textCursor().hasSelection())
        return txtMail->textCursor().selection().toPlainText();
    return {};
}

QString QtReadingPane::WholeText() const {
    return currentMail_ ? lblHead->text() + "\n\n" + txtMail->toPlainText() : QString();
}

void QtReadingPane::SelectAll() {
    txtMail->setFocus(Qt::ShortcutFocusReason);
    txtMail->selectAll();
}

void QtReadingPane::OpenConversation() {
    conversation_->OpenPage();
}

} // namespace kamo
