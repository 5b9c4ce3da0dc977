#include "export/frmExport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kamo {

frmExport::frmExport(std::vector<ExportChoice> choices, size_t chosen, std::function<QString(MailFormat)> suggest,
                     ChooseTarget chooseTarget, QWidget* parent)
    : QDialog(parent), choices_(std::move(choices)), suggest_(std::move(suggest)),
      chooseTarget_(std::move(chooseTarget)) {
    setObjectName("frmExport");
    setWindowTitle(QString::fromUtf8("メールの書き出し"));

    auto* which = new QGroupBox(QString::fromUtf8("書き出すメール"), this);
    auto* whichLayout = new QVBoxLayout(which);
    for (size_t i = 0; i < choices_.size(); ++i) {
        auto* option = new QRadioButton(QString::fromStdString(choices_[i].caption), which);
        option->setObjectName(QString("optChoice%1").arg(i));
        option->setChecked(i == chosen);
        whichLayout->addWidget(option);
        optChoice_.push_back(option);
    }

    cmbFormat = new QComboBox(this);
    cmbFormat->setObjectName("cmbFormat");
    for (const auto& f : MailFormats())
        if (!f.upload) // the window has no place for a server's address and password yet
            cmbFormat->addItem(QString::fromUtf8(f.caption), static_cast<int>(f.format));
    cmbSeen = new QComboBox(this);
    cmbSeen->setObjectName("cmbSeen");
    for (const auto& c : SeenChoices())
        cmbSeen->addItem(QString::fromUtf8(c.caption), static_cast<int>(c.seen));
    chkOriginal = new QCheckBox(
        QString::fromUtf8("元のメールのまま書き出す（ヘッダーも本文も受け取ったときのバイトのまま）"), this);
    chkOriginal->setObjectName("chkOriginal");
    chkFolders = new QCheckBox(QString::fromUtf8("PostPet のメールボックスごとに分ける（書き出し先はフォルダ）"), this);
    chkFolders->setObjectName("chkFolders");
    txtTarget = new QLineEdit(this);
    txtTarget->setObjectName("txtTarget");
    txtTarget->setMinimumWidth(360);
    cmdBrowse = new QPushButton(QString::fromUtf8("参照(&B)..."), this);
    cmdBrowse->setObjectName("cmdBrowse");
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(txtTarget, 1);
    targetRow->addWidget(cmdBrowse);

    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8("形式："), cmbFormat);
    form->addRow(QString::fromUtf8("書き出し先："), targetRow);
    form->addRow(QString::fromUtf8("既読："), cmbSeen);
    form->addRow(chkOriginal);
    form->addRow(chkFolders);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    cmdOk = buttons->button(QDialogButtonBox::Ok);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setText(QString::fromUtf8("書き出す"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cmdCancel");
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("キャンセル"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(which);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmbFormat, &QComboBox::currentIndexChanged, this, &frmExport::OnFormatChanged);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmExport::OnBrowse);
    connect(chkFolders, &QCheckBox::toggled, this, &frmExport::OnFormatChanged);
    connect(txtTarget, &QLineEdit::textEdited, this, [this] {
        targetTyped_ = true;
        UpdateOk();
    });
    OnFormatChanged();
}

MailFormat frmExport::Format() const {
    return static_cast<MailFormat>(cmbFormat->currentData().toInt());
}

const ExportChoice& frmExport::Choice() const {
    for (size_t i = 0; i < optChoice_.size(); ++i)
        if (optChoice_[i]->isChecked())
            return choices_[i];
    return choices_.front();
}

QString frmExport::Target() const {
    return txtTarget->text().trimmed();
}

SeenMail frmExport::Seen() const {
    return static_cast<SeenMail>(cmbSeen->currentData().toInt());
}

ExportOptions frmExport::Options() const {
    ExportOptions options;
    options.seen = Seen();
    options.original = chkOriginal->isChecked();
    options.folders = chkFolders->isChecked();
    return options;
}

void frmExport::SetSeen(SeenMail seen) {
    cmbSeen->setCurrentIndex(cmbSeen->findData(static_cast<int>(seen)));
}

void frmExport::SetFormat(MailFormat format) {
    cmbFormat->setCurrentIndex(cmbFormat->findData(static_cast<int>(format)));
}

void frmExport::SetChoice(size_t index) {
    if (index < optChoice_.size())
        optChoice_[index]->setChecked(true);
}

void frmExport::SetTarget(const QString& target) {
    txtTarget->setText(target);
    targetTyped_ = true;
    UpdateOk();
}

void frmExport::OnFormatChanged() {
    // A suggested target follows the format; one the user gave stays.
    if (!targetTyped_ && suggest_)
        txtTarget->setText(suggest_(Format()));
    cmbSeen->setEnabled(InfoOf(Format()).hasFlags); // .eml files and HTML pages carry no read mark
    UpdateOk();
}

void frmExport::OnBrowse() {
    const bool folder = InfoOf(Format()).folder || chkFolders->isChecked();
    const QString chosen = chooseTarget_ ? chooseTarget_(this, Format(), folder, Target()) : QString();
    if (!chosen.isEmpty())
        SetTarget(chosen);
}

void frmExport::UpdateOk() {
    cmdOk->setEnabled(!Target().isEmpty());
}

} // namespace kamo
