#include "browse/frmOption.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <memory>

#include "browse/MailView.h"
#include "common/Guarded.h"
#include "import/PostPetFinder.h"
#include "import/frmMailReadOpt.h"
#include "platform/Folders.h"

namespace kamo {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

QFont MailTextFont(const std::string& name, int32_t size, const std::string& style) {
    QString family = Q(name);
    if (family.trimmed().isEmpty() || !QFontDatabase::hasFamily(family)) {
        family.clear();
        for (const char* candidate : {"IPAGothic", "IPAゴシック", "Noto Sans Mono CJK JP", "VL Gothic"}) {
            if (QFontDatabase::hasFamily(candidate)) {
                family = candidate;
                break;
            }
        }
    }
    QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(size > 0 ? size : 9);
    FontStyleFlags flags = ParseFontStyle(style);
    font.setBold(flags.bold);
    font.setItalic(flags.italic);
    return font;
}

frmOption::frmOption(Settings& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), settings_(settings), prompter_(prompter), fontName_(settings.mailFontName),
      fontSize_(settings.mailFontSize), fontStyle_(settings.mailFontStyle) {
    setObjectName("frmOption");
    setWindowTitle(QString::fromUtf8("オプション設定"));

    auto* form = new QFormLayout;
    txtPostPetDir_ = new QLineEdit(this);
    txtPostPetDir_->setObjectName("txtPostPetDir");
    txtPostPetDir_->setPlaceholderText(QString::fromUtf8("「参照...」で PostPet のフォルダを選んで下さい"));
    {
        // A Windows path (the first-run default) is shown as the folder it stands for on this machine;
        // one that stands for nothing here is not shown at all, so that the user chooses the folder.
        const std::string& setting = settings.postPetDir;
        const bool windowsPath =
            setting.find('\\') != std::string::npos ||
            (setting.size() >= 2 && setting[1] == ':' && std::isalpha(static_cast<unsigned char>(setting[0])));
        std::error_code ec;
        const std::filesystem::path resolved = ResolvePostPetDir(setting);
        if (!windowsPath)
            txtPostPetDir_->setText(Q(setting));
        else if (std::filesystem::is_directory(resolved, ec))
            txtPostPetDir_->setText(Q(resolved.string()));
    }
    txtPostPetDir_->setMinimumWidth(360);
    auto* cmdFolder = new QPushButton(QString::fromUtf8("参照..."), this);
    cmdFolder->setObjectName("cmdFolder");
    cmdFolder->setToolTip(QString::fromUtf8("PostPetのフォルダを選びます"));
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(txtPostPetDir_);
    dirRow->addWidget(cmdFolder);
    form->addRow(QString::fromUtf8("PostPet フォルダ"), dirRow);

    txtMyMailAddr_ = new QLineEdit(Q(settings.myMailAddr), this);
    txtMyMailAddr_->setObjectName("txtMyMailAddr");
    form->addRow(QString::fromUtf8("あなたのメールアドレス"), txtMyMailAddr_);
    txtMyMailHandle_ = new QLineEdit(Q(settings.myMailHandle), this);
    txtMyMailHandle_->setObjectName("txtMyMailHandle");
    form->addRow(QString::fromUtf8("あなたのハンドル名"), txtMyMailHandle_);
    txtMyPetName_ = new QLineEdit(Q(settings.myPetName), this);
    txtMyPetName_->setObjectName("txtMyPetName");
    form->addRow(QString::fromUtf8("ペットの名前"), txtMyPetName_);

    // Paths and addresses are typed in Latin letters; names in Japanese.
    for (QLineEdit* latin : {txtPostPetDir_, txtMyMailAddr_}) {
        latin->setAttribute(Qt::WA_InputMethodEnabled, false);
        latin->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    }
    for (QLineEdit* japanese : {txtMyMailHandle_, txtMyPetName_})
        japanese->setAttribute(Qt::WA_InputMethodEnabled, true);

    lblFont_ = new QLabel(this);
    lblFont_->setObjectName("lblFont");
    auto* cmdFont = new QPushButton(QString::fromUtf8("フォント..."), this);
    cmdFont->setObjectName("cmdFont");
    cmdFont->setToolTip(QString::fromUtf8("メール本文のフォントを選びます"));
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(lblFont_, 1);
    fontRow->addWidget(cmdFont);
    form->addRow(QString::fromUtf8("メール本文のフォント"), fontRow);

    cmdReadOpt_ = new QPushButton(QString::fromUtf8("読み込むメールボックス..."), this);
    cmdReadOpt_->setObjectName("cmdReadOpt");
    cmdReadOpt_->setEnabled(false);
    cmdReadOpt_->setToolTip(QString::fromUtf8("この機能はまだ使用できません"));
    form->addRow(QString::fromUtf8("読み込み設定"), cmdReadOpt_);
    Chk_AutoRead = new QCheckBox(QString::fromUtf8("自動読み込み"), this);
    Chk_AutoRead->setObjectName("Chk_AutoRead");
    Chk_AutoRead->setChecked(settings.autoRead);
    Chk_AutoRead->setToolTip(
        QString::fromUtf8("ウィンドウを開いている間、PostPetが書き込んだメールボックスを書き終わってから読み込みます"));
    form->addRow(QString(), Chk_AutoRead);

    auto* buttons = new QDialogButtonBox(this);
    auto* cmdOK = buttons->addButton(QString::fromUtf8("OK"), QDialogButtonBox::AcceptRole);
    cmdOK->setObjectName("cmdOK");
    auto* cmdCancel = buttons->addButton(QString::fromUtf8("キャンセル"), QDialogButtonBox::RejectRole);
    cmdCancel->setObjectName("cmdCancel");

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    // The folder chosen is looked into (its mailboxes counted): the file system may refuse.
    connect(cmdFolder, &QPushButton::clicked, this, [this] { Guarded(prompter_, [this] { OnCmdFolder(); }); });
    connect(cmdFont, &QPushButton::clicked, this, &frmOption::OnCmdFont);
    connect(buttons, &QDialogButtonBox::accepted, this, &frmOption::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmOption::reject);

    folderChooser_ = [this](const QString& start) -> std::optional<QString> {
        QString dir = QFileDialog::getExistingDirectory(this, QString::fromUtf8("PostPet フォルダ"), start);
        if (dir.isEmpty())
            return std::nullopt;
        return dir;
    };
    fontChooser_ = [this](const QFont& current) -> std::optional<QFont> {
        bool ok = false;
        QFont font = QFontDialog::getFont(&ok, current, this, QString::fromUtf8("メール本文のフォント"));
        if (!ok)
            return std::nullopt;
        return font;
    };
    ShowFont();
}

void frmOption::ShowFont() {
    FontStyleFlags flags = ParseFontStyle(fontStyle_);
    const QFont shown = MailTextFont(fontName_, fontSize_, fontStyle_);
    // The setting's name, and the font this machine really draws it with when that differs.
    const QString used = QFontInfo(shown).family();
    QString text = Q(fontName_) + QString("  %1pt").arg(fontSize_);
    if (used != Q(fontName_))
        text += QString::fromUtf8("（表示は ") + used + QString::fromUtf8("）");
    if (flags.bold)
        text += QString::fromUtf8("  太字");
    if (flags.italic)
        text += QString::fromUtf8("  斜体");
    lblFont_->setText(text);
    lblFont_->setFont(shown);
}

QString frmOption::FolderToStartIn() const {
    const QString text = txtPostPetDir_->text().trimmed();
    if (!text.isEmpty()) {
        std::error_code ec;
        for (std::filesystem::path p = ResolvePostPetDir(text.toStdString()); !p.empty() && p != p.root_path();
             p = p.parent_path())
            if (std::filesystem::is_directory(p, ec))
                return Q(p.string());
    }
    return QDir::homePath();
}

void frmOption::OnCmdFolder() {
    if (auto dir = folderChooser_(FolderToStartIn())) {
        txtPostPetDir_->setText(*dir);
        if (folderChosen_)
            folderChosen_(*dir);
    }
}

void frmOption::OnCmdFont() {
    auto font = fontChooser_(MailTextFont(fontName_, fontSize_, fontStyle_));
    if (!font)
        return;
    fontName_ = font->family().toStdString();
    fontSize_ = font->pointSize() > 0 ? font->pointSize() : fontSize_;
    fontStyle_ = FormatFontStyle({font->bold(), font->italic()});
    ShowFont();
}

void frmOption::accept() {
    // A blank folder written to the settings file would stop the next start with a read error.
    if (txtPostPetDir_->text().trimmed().isEmpty()) {
        prompter_.Message("PostPet のフォルダを入力して下さい。", "オプション設定");
        txtPostPetDir_->setFocus();
        return;
    }
    const std::string folder = txtPostPetDir_->text().toStdString();
    std::error_code ec;
    const std::filesystem::path resolved = ResolvePostPetDir(folder);
    if (!std::filesystem::is_directory(resolved, ec)) {
        prompter_.Message("PostPet のフォルダが見つかりません。\n" + resolved.string(), "オプション設定");
        txtPostPetDir_->setFocus();
        return;
    }
    if (!HoldsAnyMailbox(resolved)) {
        prompter_.Message("このフォルダには PostPet のメールボックスがありません。\n" + resolved.string(),
                          "オプション設定");
        txtPostPetDir_->setFocus();
        return;
    }
    settings_.postPetDir = folder;
    settings_.myMailAddr = txtMyMailAddr_->text().toStdString();
    settings_.myMailHandle = txtMyMailHandle_->text().toStdString();
    settings_.myPetName = txtMyPetName_->text().toStdString();
    settings_.mailFontName = fontName_;
    settings_.mailFontSize = fontSize_;
    settings_.mailFontStyle = fontStyle_;
    settings_.autoRead = Chk_AutoRead->isChecked();
    QDialog::accept();
}

void HookReadOptions(frmOption& dialog, Settings& settings, Prompter& prompter) {
    QPushButton* button = dialog.ReadOptionsButton();
    if (!button)
        return;
    auto send = std::make_shared<frmMailReadOpt::Flags>(settings.sendReadOptions);
    auto recieve = std::make_shared<frmMailReadOpt::Flags>(settings.recievReadOptions);
    button->setEnabled(true);
    button->setToolTip(QString::fromUtf8("PostPet Mail Read で読み込むメールボックスを選びます"));
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &prompter, send, recieve] {
        frmMailReadOpt options(*send, *recieve, prompter, &dialog);
        options.exec();
    });
    // A folder chosen is read as it is: the mailboxes that hold mail are ticked, the others not.
    dialog.SetFolderChosenHook([send, recieve](const QString& folder) {
        if (const auto found = DescribePostPetFolder(ResolvePostPetDir(folder.toStdString()));
            found && !found->withMail.empty())
            TickMailboxesWithMail(*found, *send, *recieve);
    });
    QObject::connect(&dialog, &QDialog::accepted, &dialog, [&settings, send, recieve] {
        // A folder typed in, with nothing ticked yet: its mailboxes with mail, as for one chosen.
        const auto ticked = [](const frmMailReadOpt::Flags& flags) {
            return std::any_of(flags.begin(), flags.end(), [](int16_t f) { return f != 0; });
        };
        if (!ticked(*send) && !ticked(*recieve))
            if (const auto found = DescribePostPetFolder(ResolvePostPetDir(settings.postPetDir)))
                TickMailboxesWithMail(*found, *send, *recieve);
        settings.sendReadOptions = *send;
        settings.recievReadOptions = *recieve;
    });
}

} // namespace kamo
