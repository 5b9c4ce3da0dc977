#pragma once
// The attachments of the mail on display, under its text: name and size of each, and saving one or
// all of them into a folder the user chooses.
#include <QWidget>
#include <filesystem>
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
    // How a file is handed to the desktop's program for its kind (tests record it instead).
    using FileOpener = std::function<bool(const QString& file)>;
    void SetFileOpener(FileOpener opener) { opener_ = std::move(opener); }
    ~QtAttachmentList() override;

    // Double-click or Enter on a line: a private copy of the attachment opened with the desktop's
    // program for it. True when it was handed over.
    bool OpenChosen();
    // The same for the attachment at `position` (a picture clicked under the mail text).
    bool OpenAttachment(int64_t position);

    // Saves the chosen line, or every attachment, into the folder the chooser gives; an existing file
    // keeps its name and the attachment gets "name (2).ext". Says what was saved where, or what could
    // not be saved and why. True when every one asked for was saved.
    bool SaveChosen();
    bool SaveAll();

private:
    bool Save(const std::vector<int>& rows);
    bool Open(const AttachmentEntry& entry);

    Prompter& prompter_;
    SQLite::Database* db_ = nullptr;
    MailKey key_;
    std::vector<AttachmentEntry> entries_;
    FolderChooser chooser_;
    FileOpener opener_;
    QString lastFolder_;                        // where the last save went: the next one starts there
    std::vector<std::filesystem::path> copies_; // viewing copies, removed with the list
    QLabel* lblAttachment = nullptr;
    QListWidget* lstAttachment = nullptr;
    QPushButton* cmdAttachSave = nullptr;
    QPushButton* cmdAttachSaveAll = nullptr;
};

} // namespace kamo
