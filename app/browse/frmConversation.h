#pragma once
// One conversation as one scrollable page, oldest mail first: each mail with its sender, time and
// text, the user's own (sent) mail on the right on green as messaging programs show it, received mail
// on the left; pictures inline, fitted to the page. Esc closes the page and the window is as it was.
#include <QDialog>
#include <cstdint>
#include <vector>

#include <SQLiteCpp/Database.h>

class QVBoxLayout;

namespace kamo {

class frmConversation : public QDialog {
    Q_OBJECT
public:
    // `rows` are rowids of tblKamoMail in the order shown; `chosen` is scrolled into view.
    frmConversation(SQLite::Database& db, const std::vector<int64_t>& rows, int64_t chosen, QWidget* parent);
    // The number of mails on the page.
    int MailCount() const { return mails_; }

private:
    int mails_ = 0;
};

} // namespace kamo
