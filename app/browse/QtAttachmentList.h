#pragma once
// The attachments of the mail on display, under its text: name and size of each, and saving one or
// all of them into a folder the user chooses.
#include <QWidget>
#include <functional>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "db/Attachments.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace kamo {

class Prompter;

class QtAttachmentList : public QWidget {
    Q_OBJECT
public:
    // Asks for the folder to save into; an empty answer cancels. Tests set their own.
    using FolderChooser = std::function<QString(QWidget* parent)>;

    explicit QtAttachmentList(Prompter& prompter, QWidget* parent = nullptr);

    // Lists the attachments of the mail with `key`; hidden when it has none. `db` must outlive the
    // list or the next Clear.
    void ShowMail(SQLite::Database& db, const MailKey& key);
    void Clear();
    int Count() const { return static_cast<int>(entries_.size()); }

    void SetFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }

    // Saves the chosen line, or every attachment, into the folder the chooser gives; an existing file
    // keeps its name and the attachment gets "name (2).ext". Says what was saved where, or what could
    // not be saved and why. True when every one asked for was saved.
    bool SaveChosen();
    bool SaveAll();

private:
    bool Save(const std::vector<int>& rows);

    Prompter& prompter_;
    SQLite::Database* db_ = nullptr;
    MailKey key_;
    std::vector<AttachmentEntry> entries_;
    FolderChooser chooser_;
    QLabel* lblAttachment = nullptr;
    QListWidget* lstAttachment = nullptr;
    QPushButton* cmdAttachSave = nullptr;
    QPushButton* cmdAttachSaveAll = nullptr;
};

} // namespace kamo
