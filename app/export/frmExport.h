#pragma once
// The export window (ファイル → メールを書き出す…): which mails, in which format, to where, and
// which of them are marked read (all by default; eml files have no such mark); whether each mail goes
// as its original and whether each PostPet mailbox gets a file or folder of its own.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "export/MailExport.h"
#include "export/MailSelection.h"

class QCheckBox;
class QComboBox;
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

    void SetFormat(MailFormat format);
    void SetChoice(size_t index);
    void SetTarget(const QString& target);
    void SetSeen(SeenMail seen);

private:
    void OnFormatChanged();
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
    QPushButton* cmdOk = nullptr;
};

} // namespace kamo
