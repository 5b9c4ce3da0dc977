#pragma once
// "この会話: 7 通" under the mail header: how many mails the chosen mail's conversation has
// (search/Conversations.h), and the way to its page (frmConversation): the line's link, or the
// window's command memConversation (表示 → この会話を表示, Ctrl+T). Hidden for a mail that is alone. Only the mails
// linked to the chosen one are read, through the conversation index.
#include <QWidget>
#include <cstdint>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"

class QLabel;

namespace kamo {

class Prompter;
class WaitReporter;

class QtConversationLine : public QWidget {
    Q_OBJECT
public:
    // `wait` shows the first look-up that has to make the conversation index.
    QtConversationLine(WaitReporter& wait, Prompter& prompter, QWidget* parent = nullptr);
    ~QtConversationLine() override;

    // The mail on display; `db` must outlive the line or the next Clear.
    void ShowMail(SQLite::Database& db, const MailKey& key);
    void Clear();
    // The archive's connection is about to go (a backup on display, a recreation): nothing read
    // from it is kept.
    void Forget();
    // Opens the page of the chosen mail's conversation (nothing when no mail is chosen).
    void OpenPage();
    // The mails of the conversation on display (0 when none, or while it waits for the index).
    int Count() const { return count_; }
    // Whether the mail on display waits for the conversation index, which owes many mails (an archive
    // from before it, the index being made while the window is idle); Refresh looks again.
    bool Waiting() const { return waiting_; }
    void Refresh();

private:
    void ShowRows(std::vector<int64_t> rows);

    QLabel* lblConversation = nullptr;
    SQLite::Database* db_ = nullptr;
    int64_t row_ = 0;
    int count_ = 0;
    bool waiting_ = false;
    WaitReporter& wait_;
    Prompter& prompter_;        // the page is made under the trap
    std::vector<int64_t> rows_; // the conversation of the mail on display, oldest first
};

} // namespace kamo
