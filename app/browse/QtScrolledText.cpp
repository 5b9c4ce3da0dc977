#include "browse/QtScrolledText.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace kamo {

QtScrolledText::QtScrolledText(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Always there: the text's width, and so its height, never change as the bar comes and goes.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::NoFocus);
    content_ = new QWidget(this);
    contentLayout_ = new QVBoxLayout(content_);
    contentLayout_->setContentsMargins(0, 0, 0, 0);
    contentLayout_->setSpacing(0);
    setWidget(content_);
    fitTimer_.setSingleShot(true);
    fitTimer_.setInterval(0);
    connect(&fitTimer_, &QTimer::timeout, this, &QtScrolledText::FitText);
}

void QtScrolledText::SetBelow(QWidget* below) {
    below_ = below;
    contentLayout_->addWidget(below_);
    contentLayout_->addStretch(1);
    below_->hide();
}

void QtScrolledText::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (!below_ || below_->isHidden())
        FitText(); // the text fills the pane (and is measured again once a new width is laid out)
}

void QtScrolledText::SetText(QPlainTextEdit* text) {
    text_ = text;
    text_->setParent(content_);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    contentLayout_->insertWidget(0, text_);
    text_->installEventFilter(this);
    text_->viewport()->installEventFilter(this);
    connect(text_->document(), &QTextDocument::contentsChanged, this, &QtScrolledText::FitText);
    connect(text_, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (followCursor_)
            FollowCursor();
    });
    FitText();
}

void QtScrolledText::FitText() {
    if (!text_)
        return;
    // The text's own scroll bar moves nothing once every line fits its view: at least its lines and
    // the document's margins (the bar counts whole lines, so a pixel to spare).
    const QTextDocument* document = text_->document();
    const QAbstractTextDocumentLayout* lines = document->documentLayout();
    qreal height = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        height += std::ceil(lines->blockBoundingRect(block).height());
    const QMargins margins = text_->contentsMargins();
    int needed = static_cast<int>(height + 2 * document->documentMargin()) + 2 + margins.top() + margins.bottom();
    if (!below_ || below_->isHidden())
        needed = std::max(needed, viewport()->height());
    if (text_->height() != needed || text_->minimumHeight() != needed)
        text_->setFixedHeight(needed);
}

void QtScrolledText::FollowCursor() {
    // The cursor's line whole, with the text's margin: the first line brings the pane to its top.
    const QRect cursor = text_->cursorRect();
    const int margin = static_cast<int>(text_->document()->documentMargin());
    const QRect line =
        QRect(text_->viewport()->mapTo(content_, cursor.topLeft()), cursor.size()).adjusted(0, -margin, 0, margin);
    QScrollBar* bar = verticalScrollBar();
    if (line.top() < bar->value())
        bar->setValue(line.top());
    else if (line.bottom() >= bar->value() + viewport()->height())
        bar->setValue(line.bottom() - viewport()->height() + 1);
}

void QtScrolledText::TurnPage(bool down) {
    // The cursor keeps its place in the view while the pane moves a page under it.
    QPoint at = text_->viewport()->mapTo(viewport(), text_->cursorRect().center());
    at.setY(std::clamp(at.y(), 0, viewport()->height() - 1));
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + (down ? bar->pageStep() : -bar->pageStep()));
    QPoint inText = text_->viewport()->mapFrom(viewport(), at);
    inText.setY(std::clamp(inText.y(), 0, text_->viewport()->height() - 1));
    // The line under that point may stick out of the pane by a part of its height (a page is not a
    // whole number of lines): the cursor goes to the next line in, so it is seen whole.
    QTextCursor cursor = text_->cursorForPosition(inText);
    const auto lineInView = [&](const QTextCursor& c) {
        const QRect rect = text_->cursorRect(c);
        return QRect(text_->viewport()->mapTo(viewport(), rect.topLeft()), rect.size());
    };
    const QRect line = lineInView(cursor);
    if (line.top() < 0)
        cursor.movePosition(QTextCursor::Down);
    else if (line.bottom() >= viewport()->height())
        cursor.movePosition(QTextCursor::Up);
    followCursor_ = false; // the pane stays where the page put it
    text_->setTextCursor(cursor);
}

bool QtScrolledText::eventFilter(QObject* watched, QEvent* event) {
    // The wheel over the text turns the pane (the text has nothing to scroll of its own).
    if (text_ && watched == text_->viewport() && event->type() == QEvent::Wheel &&
        !(static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier)) {
        QCoreApplication::sendEvent(verticalScrollBar(), event);
        return true;
    }
    if (watched == text_) {
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp) &&
                key->modifiers() == Qt::NoModifier) {
                TurnPage(key->key() == Qt::Key_PageDown);
                return true;
            }
            // Selecting all leaves the view where it is.
            followCursor_ = !key->matches(QKeySequence::SelectAll);
            break;
        }
        case QEvent::Resize:
            if (static_cast<QResizeEvent*>(event)->oldSize().width() == text_->width())
                break; // its own height: nothing to measure
            [[fallthrough]];
        case QEvent::FontChange:
            // Measured once the text has laid itself out anew.
            followCursor_ = false;
            fitTimer_.start();
            break;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::FocusOut:
            followCursor_ = false; // the key's work is done (events it causes come between)
            break;
        default:
            break;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

} // namespace kamo
