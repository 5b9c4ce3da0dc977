#pragma once
// The export window (ファイル → メールを書き出す…): which mails, in which format, to where, and
// which of them are marked read (all by default; eml files have no such mark); whether each mail goes
// as its original and whether each PostPet mailbox gets a file or folder of its own. For the upload to
// a mail server (IMAP) the file's row gives way to the server's: its name and port, the kind of
// connection, the user, the password (shown as dots, never kept) and the folder.
#include <QDialog>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "common/Failure.h"
#include "export/MailExport.h"
#include "export/MailSelection.h"
#include "imap/ImapTarget.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kamo {

// One "which mails" line of the window: the selection and how the window names it.
struct ExportChoice {
    MailSelection selection;
    std::string caption;
};

class frmExport : public QDialog {
    Q_OBJECT
public:
    // Asks for the target: a file to save (mbox) or a folder (`folder`: Maildir, eml, or one per
    // mailbox); empty when cancelled.
    using ChooseTarget =
        std::function<QString(QWidget* parent, MailFormat format, bool folder, const QString& current)>;

    // `chosen` is the line ticked first; `suggest` gives a target for a format until one is typed.
    frmExport(std::vector<ExportChoice> choices, size_t chosen, std::function<QString(MailFormat)> suggest,
              ChooseTarget chooseTarget, QWidget* parent = nullptr);

    MailFormat Format() const;
    const ExportChoice& Choice() const;
    QString Target() const;
    SeenMail Seen() const;
    ExportOptions Options() const; // the read mark, the original, the folders

    // The server's fields as typed (trimmed), and the upload's target read from them by the one
    // reading of an address (ImapTarget.h), or why it is refused.
    ImapTargetFields ServerFields() const;
    std::variant<ImapTarget, Failure> UploadTarget() const;
    QString Password() const;

    void SetFormat(MailFormat format);
    void SetChoice(size_t index);
    void SetTarget(const QString& target);
    void SetSeen(SeenMail seen);
    void SetServerFields(const ImapTargetFields& fields); // a kind of connection not offered stays as it was

private:
    void OnFormatChanged();
    void OnSecurityChanged();
    void OnBrowse();
    void UpdateOk();

    std::vector<ExportChoice> choices_;
    std::function<QString(MailFormat)> suggest_;
    ChooseTarget chooseTarget_;
    bool targetTyped_ = false;
    QComboBox* cmbFormat = nullptr;
    QComboBox* cmbSeen = nullptr;
    QCheckBox* chkOriginal = nullptr;
    QCheckBox* chkFolders = nullptr;
    std::vector<QRadioButton*> optChoice_;
    QLineEdit* txtTarget = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLineEdit* txtServer = nullptr;
    QLineEdit* txtPort = nullptr;
    QComboBox* cmbSecurity = nullptr;
    QLineEdit* txtUser = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtFolder = nullptr;
    QPushButton* cmdOk = nullptr;
    QFormLayout* form_ = nullptr;
    QLayout* targetRow_ = nullptr;
    std::vector<QWidget*> serverRows_; // the fields of the server's rows, shown for an upload only
};

} // namespace kamo
