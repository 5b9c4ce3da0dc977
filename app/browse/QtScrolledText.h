#pragma once
// A text shown at its full height in a scroll area, with what stands under it scrolling along (the
// reading pane's text over its pictures): the text has no scroll bar of its own, the wheel over it
// turns the pane, the keyboard cursor's line is kept in view and Page Up/Down move the pane a page,
// the cursor with it. While nothing stands under it, the text fills at least the pane's height.
#include <QScrollArea>
#include <QTimer>

class QPlainTextEdit;
class QVBoxLayout;

namespace kamo {

class QtScrolledText : public QScrollArea {
    Q_OBJECT
public:
    explicit QtScrolledText(QWidget* parent = nullptr);

    // Puts `text` at the top of the pane.
    void SetText(QPlainTextEdit* text);

protected:
    // The scrolled content and `below`, the part under the text (one of its children), with room
    // under that.
    QWidget* Content() const { return content_; }
    void SetBelow(QWidget* below);
    // The text's height for its width now: all of it, the pane's when it has the pane to itself.
    void FitText();
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowCursor();
    // Page Up/Down in the text: the pane moves a page, the cursor with it.
    void TurnPage(bool down);

    QWidget* content_ = nullptr;
    QVBoxLayout* contentLayout_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QWidget* below_ = nullptr;
    QTimer fitTimer_;           // the text measured again once its new width is laid out
    bool followCursor_ = false; // a key moved the text cursor: the pane shows it
};

} // namespace kamo
