#pragma once
// The browser's reading pane: the mail's header (lblHead), the line of its conversation, its text
// (txtMail, quoted lines in a quieter colour) with its pictures under it in one scroll area, and the
// list of its attachments.
#include <QString>
#include <QWidget>
#include <optional>
#include <string>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"

class QLabel;
class QPlainTextEdit;

namespace kamo {

class Prompter;
class QtAttachmentList;
class QtConversationLine;
class QtMailPictures;
class WaitReporter;

class QtReadingPane : public QWidget {
    Q_OBJECT
public:
    // `wait` shows the conversation line's first look-up (which may make its index).
    QtReadingPane(Prompter& prompter, WaitReporter& wait, QWidget* parent = nullptr);

    // Shows the mail with `key` as `db` holds it (nothing but a note when it holds none; `key` empty
    // for a line whose mail is gone). Throws on a failing archive.
    void ShowMail(SQLite::Database& db, const std::optional<MailKey>& key);
    // Nothing on display.
    void Clear();
    // The archive's connection is about to go: nothing read from it is kept.
    void Forget();
    std::optional<MailRecord> CurrentMail() const { return currentMail_; }

    // What the pane says while no mail is on display (how an empty view is filled).
    void SetHint(const QString& hint);
    void ApplyMailFont(const std::string& name, int32_t size, const std::string& style);
    // The text chosen with `focus` in the pane: the header's selection when it has the focus, else
    // the mail text's; empty when nothing is chosen.
    QString ChosenText(const QWidget* focus) const;
    // The header and the text of the mail on display; empty when none is.
    QString WholeText() const;
    void SelectAll();
    // The page of the conversation of the mail on display (nothing when none is).
    void OpenConversation();

    QPlainTextEdit* Text() const { return txtMail; }
    QtAttachmentList* Attachments() const { return attachmentList_; }
    QtMailPictures* Pictures() const { return pictures_; }

private:
    QLabel* lblHead = nullptr;
    QPlainTextEdit* txtMail = nullptr;
    QtAttachmentList* attachmentList_ = nullptr; // under txtMail
    QtMailPictures* pictures_ = nullptr;         // holds txtMail with the pictures under it
    QtConversationLine* conversation_ = nullptr; // under lblHead
    std::optional<MailRecord> currentMail_;
};

} // namespace kamo
