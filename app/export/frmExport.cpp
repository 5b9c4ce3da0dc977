#include "export/frmExport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kamo {
namespace {

// The folder an upload goes to until the user names another.
constexpr const char* kUploadFolder = "PostPet";

// chkFolders' caption: where each PostPet mailbox's mail goes.
QString FoldersCaption(bool upload) {
    return upload ? QString::fromUtf8("PostPet のメールボックスごとに分ける（サーバーのフォルダの下にフォルダを作る）")
                  : QString::fromUtf8("PostPet のメールボックスごとに分ける（書き出し先はフォルダ）");
}

} // namespace

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
        cmbFormat->addItem(QString::fromUtf8(f.caption), static_cast<int>(f.format));
    cmbSeen = new QComboBox(this);
    cmbSeen->setObjectName("cmbSeen");
    for (const auto& c : SeenChoices())
        cmbSeen->addItem(QString::fromUtf8(c.caption), static_cast<int>(c.seen));
    chkOriginal = new QCheckBox(
        QString::fromUtf8("元のメールのまま書き出す（ヘッダーも本文も受け取ったときのバイトのまま）"), this);
    chkOriginal->setObjectName("chkOriginal");
    chkFolders = new QCheckBox(FoldersCaption(false), this);
    chkFolders->setObjectName("chkFolders");
    txtTarget = new QLineEdit(this);
    txtTarget->setObjectName("txtTarget");
    txtTarget->setMinimumWidth(360);
    cmdBrowse = new QPushButton(QString::fromUtf8("参照(&B)..."), this);
    cmdBrowse->setObjectName("cmdBrowse");
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(txtTarget, 1);
    targetRow->addWidget(cmdBrowse);

    txtServer = new QLineEdit(this);
    txtServer->setObjectName("txtServer");
    txtServer->setMinimumWidth(260);
    txtServer->setPlaceholderText(QString::fromUtf8("imap.example.jp"));
    txtPort = new QLineEdit(this);
    txtPort->setObjectName("txtPort");
    txtPort->setValidator(new QIntValidator(1, 65535, txtPort));
    txtPort->setMaximumWidth(80);
    auto* serverRow = new QWidget(this);
    auto* serverLayout = new QHBoxLayout(serverRow);
    serverLayout->setContentsMargins(0, 0, 0, 0);
    serverLayout->addWidget(txtServer, 1);
    serverLayout->addWidget(new QLabel(QString::fromUtf8("ポート："), serverRow));
    serverLayout->addWidget(txtPort);
    cmbSecurity = new QComboBox(this);
    cmbSecurity->setObjectName("cmbSecurity");
    cmbSecurity->addItem(QString::fromUtf8("SSL/TLS（imaps）"), static_cast<int>(ImapTls::Implicit));
    cmbSecurity->addItem(QString::fromUtf8("STARTTLS（imap）"), static_cast<int>(ImapTls::StartTls));
    txtUser = new QLineEdit(this);
    txtUser->setObjectName("txtUser");
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName("txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    txtFolder = new QLineEdit(QString::fromUtf8(kUploadFolder), this);
    txtFolder->setObjectName("txtFolder");

    form_ = new QFormLayout;
    form_->addRow(QString::fromUtf8("形式："), cmbFormat);
    form_->addRow(QString::fromUtf8("書き出し先："), targetRow);
    targetRow_ = targetRow;
    form_->addRow(QString::fromUtf8("サーバー："), serverRow);
    form_->addRow(QString::fromUtf8("暗号化："), cmbSecurity);
    form_->addRow(QString::fromUtf8("ユーザー名："), txtUser);
    form_->addRow(QString::fromUtf8("パスワード："), txtPassword);
    form_->addRow(QString::fromUtf8("フォルダ："), txtFolder);
    serverRows_ = {serverRow, cmbSecurity, txtUser, txtPassword, txtFolder};
    form_->addRow(QString::fromUtf8("既読："), cmbSeen);
    form_->addRow(chkOriginal);
    form_->addRow(chkFolders);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    cmdOk = buttons->button(QDialogButtonBox::Ok);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setText(QString::fromUtf8("書き出す"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cmdCancel");
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("キャンセル"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(which);
    layout->addLayout(form_);
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
    for (QLineEdit* field : {txtServer, txtUser, txtPassword})
        connect(field, &QLineEdit::textChanged, this, &frmExport::UpdateOk);
    connect(cmbSecurity, &QComboBox::currentIndexChanged, this, &frmExport::OnSecurityChanged);
    OnSecurityChanged();
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

ImapTargetFields frmExport::ServerFields() const {
    ImapTargetFields fields;
    fields.host = txtServer->text().trimmed().toStdString();
    fields.port = txtPort->text().trimmed().toStdString();
    fields.user = txtUser->text().trimmed().toStdString();
    fields.folder = txtFolder->text().trimmed().toStdString();
    fields.tls = static_cast<ImapTls>(cmbSecurity->currentData().toInt());
    return fields;
}

std::variant<ImapTarget, Failure> frmExport::UploadTarget() const {
    return ParseImapTarget(ImapAddressOf(ServerFields()));
}

QString frmExport::Password() const {
    return txtPassword->text();
}

void frmExport::SetServerFields(const ImapTargetFields& fields) {
    txtServer->setText(QString::fromStdString(fields.host));
    txtPort->setText(QString::fromStdString(fields.port));
    txtUser->setText(QString::fromStdString(fields.user));
    txtFolder->setText(QString::fromStdString(fields.folder));
    if (const int index = cmbSecurity->findData(static_cast<int>(fields.tls)); index >= 0)
        cmbSecurity->setCurrentIndex(index);
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
    const bool upload = InfoOf(Format()).upload;
    // A suggested target follows the format; one the user gave stays.
    if (!upload && !targetTyped_ && suggest_)
        txtTarget->setText(suggest_(Format()));
    form_->setRowVisible(targetRow_, !upload);
    for (QWidget* field : serverRows_)
        form_->setRowVisible(field, upload);
    chkFolders->setText(FoldersCaption(upload));
    cmbSeen->setEnabled(InfoOf(Format()).hasFlags); // .eml files and HTML pages carry no read mark
    UpdateOk();
}

void frmExport::OnSecurityChanged() {
    // An empty port is the one of the connection's kind: shown greyed in the field.
    const auto tls = static_cast<ImapTls>(cmbSecurity->currentData().toInt());
    txtPort->setPlaceholderText(QString::number(ImapDefaultPort(tls)));
}

void frmExport::OnBrowse() {
    const bool folder = InfoOf(Format()).folder || chkFolders->isChecked();
    const QString chosen = chooseTarget_ ? chooseTarget_(this, Format(), folder, Target()) : QString();
    if (!chosen.isEmpty())
        SetTarget(chosen);
}

void frmExport::UpdateOk() {
    if (InfoOf(Format()).upload)
        cmdOk->setEnabled(!txtServer->text().trimmed().isEmpty() && !txtUser->text().trimmed().isEmpty() &&
                          !txtPassword->text().isEmpty());
    else
        cmdOk->setEnabled(!Target().isEmpty());
}

} // namespace kamo
