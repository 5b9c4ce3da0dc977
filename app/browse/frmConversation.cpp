#include "browse/frmConversation.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "browse/MailView.h"
#include "common/MailHead.h"
#include "db/Attachments.h"
#include "db/MailPictures.h"
#include "db/MailRows.h"
#include "export/MailSelection.h"

namespace kamo {
namespace {

// Pictures on the page are no wider than this.
constexpr int kPageImageWidth = 360;

QString U(const std::string& s) {
    return QString::fromStdString(s);
}

// The mail's pictures, fitted to the page, within the pane's own bounds of decoding.
void AddPictures(SQLite::Database& db, const MailKey& key, QVBoxLayout* into, QWidget* parent) {
    for (const AttachmentEntry& entry : ListAttachments(db, key)) {
        if (!entry.picture || entry.size > kMaxPictureFileBytes)
            continue;
        const auto bytes = AttachmentBytes(db, key, entry.position);
        if (!bytes)
            continue;
        const QByteArray data = QByteArray::fromRawData(bytes->data(), static_cast<qsizetype>(bytes->size()));
        QBuffer buffer;
        buffer.setData(data);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        if (!size.isValid() || static_cast<int64_t>(size.width()) * size.height() > kMaxWholeSourcePixels)
            continue;
        if (size.width() > kPageImageWidth)
            reader.setScaledSize(size.scaled(kPageImageWidth, size.height(), Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        auto* picture = new QLabel(parent);
        picture->setObjectName("picConversation");
        picture->setPixmap(QPixmap::fromImage(image));
        into->addWidget(picture);
    }
}

// A bubble's bold line, who (to whom, of sent mail) and when, and the subject under it.
struct BubbleHead {
    std::string line;
    std::string subject;
};
BubbleHead BubbleHeadOf(const MailRecord& mail) {
    std::string who, when;
    BubbleHead head;
    for (const HeadField& field : MailHead(mail, HeadForm::Conversation)) {
        switch (field.kind) {
        case HeadKind::Sender:
            who = field.value;
            break;
        case HeadKind::Receiver:
            who += " → " + field.value;
            break;
        case HeadKind::Date:
            when = field.value;
            break;
        case HeadKind::Subject:
            head.subject = field.value;
            break;
        case HeadKind::Direction:
            break;
        }
    }
    head.line = who + "　" + when;
    return head;
}

} // namespace

frmConversation::frmConversation(SQLite::Database& db, const std::vector<int64_t>& rows, int64_t chosen,
                                 QWidget* parent)
    : QDialog(parent) {
    setObjectName("frmConversation");
    resize(640, 720);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("scrConversation");
    scroll->setWidgetResizable(true);
    auto* page = new QWidget(scroll);
    auto* column = new QVBoxLayout(page);
    MailRowReader reader(db);
    QWidget* chosenBubble = nullptr;
    for (int64_t row : rows) {
        const std::optional<MailRecord> mail = reader.Read(row);
        if (!mail)
            continue;
        if (mails_ == 0)
            setWindowTitle(QString::fromUtf8("会話 － ") + U(mail->subject));
        ++mails_;
        auto* bubble = new QFrame(page);
        bubble->setObjectName(mail->sent ? "frmSentMail" : "frmReceivedMail");
        bubble->setFrameShape(QFrame::StyledPanel);
        // Sent on the right on green, received on the left: told apart at a glance.
        bubble->setStyleSheet(mail->sent ? "QFrame#frmSentMail { background: #dcf8c6; border-radius: 8px; }"
                                         : "QFrame#frmReceivedMail { background: #f2f2f2; border-radius: 8px; }");
        auto* inside = new QVBoxLayout(bubble);
        const BubbleHead texts = BubbleHeadOf(*mail);
        auto* head = new QLabel(U(texts.line), bubble);
        head->setObjectName("lblConversationHead");
        head->setTextFormat(Qt::PlainText);
        QFont bold = head->font();
        bold.setBold(true);
        head->setFont(bold);
        auto* subject = new QLabel(U(texts.subject), bubble);
        subject->setTextFormat(Qt::PlainText);
        auto* text = new QLabel(U(MailBodyText(*mail)), bubble);
        text->setObjectName("lblConversationText");
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        inside->addWidget(head);
        inside->addWidget(subject);
        inside->addWidget(text);
        AddPictures(db, KeyOf(*mail), inside, bubble);
        auto* line = new QHBoxLayout;
        if (mail->sent)
            line->addStretch(1);
        line->addWidget(bubble, 4);
        if (!mail->sent)
            line->addStretch(1);
        column->addLayout(line);
        if (row == chosen)
            chosenBubble = bubble;
    }
    column->addStretch(1);
    scroll->setWidget(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    if (chosenBubble)
        QTimer::singleShot(0, scroll, [scroll, chosenBubble] { scroll->ensureWidgetVisible(chosenBubble); });
}

} // namespace kamo
