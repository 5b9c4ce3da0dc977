#include "browse/frmHelp.h"

#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QtGlobal>
#include <sqlite3.h>

#include "common/Prompter.h"
#include "common/Version.h"
#include "platform/Folders.h"

namespace kamo {

frmHelp::frmHelp(const QString& path, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmHelp");
    setWindowTitle(QString::fromUtf8("KamoMail ヘルプ"));
    auto* browser = new QTextBrowser(this);
    browser->setObjectName("txtHelp");
    browser->setOpenExternalLinks(true);
    browser->setSource(QUrl::fromLocalFile(path));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    resize(640, 520);
    // Closes with Esc and Ctrl+W, as a help window does.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
}

void frmHelp::Show(QWidget* owner, const QString& path, Prompter& prompter) {
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        prompter.Message("ヘルプファイルが見つかりません。\n" + path.toStdString());
        return;
    }
    auto* help = owner->findChild<frmHelp*>("frmHelp");
    if (!help)
        help = new frmHelp(path, owner);
    help->show();
    help->raise();
}

void frmHelp::ShowVersion(const AppFolders& folders, Prompter& prompter) {
    prompter.Message("KamoMail\nVersion " + VersionText() + "\n\n設定フォルダ: " + folders.settingsDir.string() +
                         "\nデータフォルダ: " + folders.dataDir.string() + "\n変換ライブラリ: " +
                         folders.libraryPath.string() + "\n\nQt " + qVersion() + " / SQLite " + sqlite3_libversion(),
                     "バージョン情報");
}

} // namespace kamo
