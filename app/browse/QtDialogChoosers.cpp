#include "browse/QtDialogChoosers.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLocale>
#include <QStringList>
#include <utility>

namespace kamo {

PostPetChooser PostPetFolderDialog(QWidget* parent) {
    return [parent](const std::vector<FoundPostPet>& found) -> std::optional<size_t> {
        QStringList items;
        for (const auto& f : found)
            items << QString::fromStdString(f.dir.string()) + QString::fromUtf8("（") +
                         QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(f.mails)) +
                         QString::fromUtf8(" 通）");
        bool ok = false;
        const QString item = QInputDialog::getItem(
            parent, QString::fromUtf8("PostPet のフォルダ"),
            QString::fromUtf8("PostPet のフォルダが見つかりました。読み込むフォルダを選んで下さい。"), items, 0, false,
            &ok);
        if (!ok)
            return std::nullopt;
        return static_cast<size_t>(items.indexOf(item));
    };
}

FolderChooser FolderDialog(QWidget* parent, std::function<QString()> start) {
    return [parent, start = std::move(start)](const QString& caption) -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(parent, caption, start());
        return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    };
}

FileChooser FriendFileDialog(QWidget* parent) {
    return [parent](const QString& start) -> std::optional<QString> {
        const QString file =
            QFileDialog::getOpenFileName(parent, QString::fromUtf8("おともだちファイルを選んで下さい"), start,
                                         QString::fromUtf8("PostPet おともだちファイル (*.dat);;すべてのファイル (*)"));
        return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
    };
}

} // namespace kamo
