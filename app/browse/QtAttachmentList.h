#pragma once
// The attachments of the mail on display, under its text: name and size of each, saving one under a
// file name or all of them into a folder the user chooses, a right-click menu (開く, 添付を保存, コピー)
// and dragging one out to a folder or another program. The pictures under the mail text work
// through the same functions, by the attachment's position.
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "db/Attachments.h"

class QLabel;
class QListWidget;
class QMenu;
class QMimeData;
class QPushButton;

namespace kamo {

class Prompter;

class QtAttachmentList : public QWidget {
    Q_OBJECT
public:
    // Asks for the folder to save into; an empty answer cancels. Tests set their own.
    using FolderChooser = std::function<QString(QWidget* parent)>;
    // Asks for the file to save one attachment as, starting from `suggested` (a path); an empty
    // answer cancels. The dialog asks before an existing file is replaced.
    using FileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;
    // Starts a drag of `data` from `source` (tests record it instead; a real drag waits for the drop).
    using DragStarter = std::function<void(QMimeData* data, QWidget* source)>;

    explicit QtAttachmentList(Prompter& prompter, QWidget* parent = nullptr);

    // Lists the attachments of the mail with `key`; hidden when it has none. `db` must outlive the
    // list or the next Clear.
    void ShowMail(SQLite::Database& db, const MailKey& key);
    void Clear();
    int Count() const { return static_cast<int>(entries_.size()); }

    void SetFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
    void SetFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
    void SetDragStarter(DragStarter starter) { dragStarter_ = std::move(starter); }
    // How a file is handed to the desktop's program for its kind (tests record it instead).
    using FileOpener = std::function<bool(const QString& file)>;
    void SetFileOpener(FileOpener opener) { opener_ = std::move(opener); }
    ~QtAttachmentList() override;

    // Double-click or Enter on a line: a private copy of the attachment opened with the desktop's
    // program for it. True when it was handed over.
    bool OpenChosen();
    // The same for the attachment at `position` (a picture clicked under the mail text).
    bool OpenAttachment(int64_t position);

    // Saves the chosen line under the file name the file chooser gives (保存...), or every attachment
    // into the folder the folder chooser gives; there an existing file keeps its name and the
    // attachment gets "name (2).ext". Says what was saved where, or what could not be saved and why.
    // True when every one asked for was saved.
    bool SaveChosen();
    bool SaveAll();
    bool SaveAttachment(int64_t position);

    // The attachment at `position` for another program: the file URL of a private copy and, for a
    // picture, the picture itself. Null when it cannot be written. The caller owns it.
    QMimeData* MimeDataOf(int64_t position);
    // コピー: that to the clipboard; a drag of it from `source`.
    bool CopyAttachment(int64_t position);
    bool DragAttachment(int64_t position, QWidget* source);
    // The right-click menu of the attachment at `position`: 開く, 添付を保存, コピー.
    std::unique_ptr<QMenu> MenuOf(int64_t position, QWidget* parent);
    // The file name an attachment is saved under ("添付ファイルN.png" for an unnamed PNG).
    std::string FileNameOf(int64_t position) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Save(const std::vector<int>& rows);
    bool SaveAs(const AttachmentEntry& entry);
    bool Open(const AttachmentEntry& entry);
    const AttachmentEntry* Find(int64_t position) const;
    // A private copy of the attachment (a folder of its own, removed with the list).
    std::filesystem::path PrivateCopy(const AttachmentEntry& entry, std::string& bytes);
    // Where a save dialog starts: the folder of the last save, else the home folder.
    QString StartFolder() const;

    Prompter& prompter_;
    SQLite::Database* db_ = nullptr;
    MailKey key_;
    std::vector<AttachmentEntry> entries_;
    FolderChooser chooser_;
    FileChooser fileChooser_;
    DragStarter dragStarter_;
    FileOpener opener_;
    QPoint pressedAt_; // where a drag may start on the list
    int pressedRow_ = -1;
    QString lastFolder_;                        // where the last save went: the next one starts there
    std::vector<std::filesystem::path> copies_; // viewing copies, removed with the list
    QLabel* lblAttachment = nullptr;
    QListWidget* lstAttachment = nullptr;
    QPushButton* cmdAttachSave = nullptr;
    QPushButton* cmdAttachSaveAll = nullptr;
};

} // namespace kamo
