#pragma once
// 表示 → 元のヘッダー (memOriginalHeader): the header region of the mail on display as the mail
// file held it, its bytes shown as text (OriginalHeaderText), as mail programs show a mail's source.
#include <QDialog>
#include <functional>
#include <optional>

#include "common/MailRecord.h"

class QPlainTextEdit;

namespace SQLite {
class Database;
}

namespace kamo {

class Prompter;

class frmOriginalHeader : public QDialog {
    Q_OBJECT
public:
    // `headerText`: UTF-8, line breaks "\n".
    frmOriginalHeader(const std::string& headerText, const std::string& mailbox, QWidget* parent = nullptr);
    QString Text() const;

private:
    QPlainTextEdit* txtHeader = nullptr;
};

// How the window is run; tests replace it. Default: exec().
std::function<int(frmOriginalHeader&)>& OriginalHeaderRun();

// Shows the original header of `mail` (the mail on display); tells the user when no mail is on
// display or no original is kept for it (a mail read before the archive kept originals).
void MemOriginalHeader(SQLite::Database& db, Prompter& prompter, QWidget* parent,
                       const std::optional<MailRecord>& mail);

} // namespace kamo
