#pragma once
// The choices the main window asks of the user through the desktop's standard dialogs: which
// PostPet folder of those found, a folder, the friend file. Each is a function the window holds, so
// that tests put their own answers in its place.
#include <QString>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "import/PostPetFinder.h"

namespace kamo {

using PostPetChooser = std::function<std::optional<size_t>(const std::vector<FoundPostPet>&)>;
using FolderChooser = std::function<std::optional<QString>(const QString& caption)>;
using FileChooser = std::function<std::optional<QString>(const QString& start)>;

// The folders found, each with its number of mails; nothing when the user cancels.
PostPetChooser PostPetFolderDialog(QWidget* parent);
// A folder, the dialog opening at `start()`; nothing when the user cancels.
FolderChooser FolderDialog(QWidget* parent, std::function<QString()> start);
// A PostPet friend file, the dialog opening at the folder given; nothing when the user cancels.
FileChooser FriendFileDialog(QWidget* parent);

} // namespace kamo
