#include "browse/QtAttachmentList.h"

#include <stdexcept>

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "browse/AttachmentFiles.h"
#include "common/Prompter.h"

namespace kamo {
namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

QtAttachmentList::QtAttachmentList(Prompter& prompter, QWidget* parent) : QWidget(parent), prompter_(prompter) {
    setObjectName("fraAttachment");
    lblAttachment = new QLabel(U("添付ファイル："), this);
    lblAttachment->setObjectName("lblAttachment");
    lstAttachment = new QListWidget(this);
    lstAttachment->setObjectName("lstAttachment");
    lstAttachment->setSelectionMode(QAbstractItemView::SingleSelection);

    cmdAttachSave = new QPushButton(U("保存..."), this);
    cmdAttachSave->setObjectName("cmdAttachSave");
    cmdAttachSave->setToolTip(U("選択されている添付ファイルを保存します"));
    cmdAttachSaveAll = new QPushButton(U("すべて保存..."), this);
    cmdAttachSaveAll->setObjectName("cmdAttachSaveAll");
    cmdAttachSaveAll->setToolTip(U("このメールの添付ファイルをすべて保存します"));
    connect(cmdAttachSave, &QPushButton::clicked, this, [this] { SaveChosen(); });
    connect(cmdAttachSaveAll, &QPushButton::clicked, this, [this] { SaveAll(); });
    connect(lstAttachment, &QListWidget::itemActivated, this, [this] { OpenChosen(); });
    lstAttachment->setToolTip(U("ダブルクリックか Enter で開きます"));
    lstAttachment->setTextElideMode(Qt::ElideMiddle);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAttachSave);
    buttons->addWidget(cmdAttachSaveAll);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lblAttachment, 0, Qt::AlignTop);
    layout->addWidget(lstAttachment, 1);
    layout->addLayout(buttons);

    chooser_ = [this](QWidget* parentWidget) {
        // The folder of the last save, else the home folder (not wherever the program was started).
        const QString start = !lastFolder_.isEmpty() && QDir(lastFolder_).exists() ? lastFolder_ : QDir::homePath();
        return QFileDialog::getExistingDirectory(parentWidget, U("添付ファイルを保存するフォルダ"), start);
    };
    opener_ = [](const QString& file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };
    hide();
}

QtAttachmentList::~QtAttachmentList() {
    for (const auto& copy : copies_) {
        std::error_code ec;
        std::filesystem::remove_all(copy.parent_path(), ec);
    }
}

bool QtAttachmentList::OpenChosen() {
    const int row = lstAttachment->currentRow();
    if (!db_ || row < 0 || row >= Count())
        return false;
    return Open(entries_[static_cast<std::size_t>(row)]);
}

bool QtAttachmentList::OpenAttachment(int64_t position) {
    for (const AttachmentEntry& entry : entries_)
        if (entry.position == position)
            return db_ && isEnabled() && Open(entry);
    return false;
}

bool QtAttachmentList::Open(const AttachmentEntry& entry) {
    const std::string name = SafeFileName(entry.name, entry.position, entry.contentType);
    try {
        const std::optional<std::string> bytes = AttachmentBytes(*db_, key_, entry.position);
        if (!bytes)
            throw std::runtime_error("アーカイブにありません");
        const std::filesystem::path copy = WriteViewingCopy(std::filesystem::temp_directory_path(), name, *bytes);
        copies_.push_back(copy);
        if (!opener_(QString::fromStdString(copy.string()))) {
            prompter_.Message("添付ファイル " + name +
                              " を開くプログラムが見つかりません。「保存...」で保存して下さい。");
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        prompter_.Error("添付ファイル " + name + " を開けませんでした。\n" + e.what());
        return false;
    }
}

void QtAttachmentList::ShowMail(SQLite::Database& db, const MailKey& key) {
    Clear();
    db_ = &db;
    key_ = key;
    entries_ = ListAttachments(db, key);
    for (const auto& entry : entries_)
        lstAttachment->addItem(QString::fromStdString(AttachmentLabel(entry)));
    if (!entries_.empty()) {
        lstAttachment->setCurrentRow(0);
        // Every line whole up to four; more scroll.
        const int rows = std::min<int>(static_cast<int>(entries_.size()), 4);
        const int rowHeight = std::max(lstAttachment->sizeHintForRow(0), lstAttachment->fontMetrics().height() + 4);
        lstAttachment->setFixedHeight(std::max(rows, 2) * rowHeight + 2 * lstAttachment->frameWidth() + 2);
        for (int i = 0; i < lstAttachment->count(); ++i)
            lstAttachment->item(i)->setToolTip(lstAttachment->item(i)->text());
    }
    setVisible(!entries_.empty());
}

void QtAttachmentList::Clear() {
    lstAttachment->clear();
    entries_.clear();
    db_ = nullptr;
    hide();
}

bool QtAttachmentList::SaveChosen() {
    const int row = lstAttachment->currentRow();
    if (row < 0 || row >= Count()) {
        prompter_.Message("保存する添付ファイルを選択して下さい。");
        return false;
    }
    return Save({row});
}

bool QtAttachmentList::SaveAll() {
    std::vector<int> rows;
    for (int i = 0; i < Count(); ++i)
        rows.push_back(i);
    return !rows.empty() && Save(rows);
}

bool QtAttachmentList::Save(const std::vector<int>& rows) {
    if (!db_)
        return false;
    const QString folder = chooser_(this);
    if (folder.isEmpty())
        return false;
    std::string saved, failed;
    for (int row : rows) {
        const AttachmentEntry& entry = entries_[static_cast<std::size_t>(row)];
        const std::string name = SafeFileName(entry.name, entry.position, entry.contentType);
        try {
            const std::optional<std::string> bytes = AttachmentBytes(*db_, key_, entry.position);
            if (!bytes)
                throw std::runtime_error("アーカイブにありません");
            saved += "\n" + SaveAttachmentFile(folder.toStdString(), name, *bytes).filename().string();
        } catch (const std::exception& e) {
            failed += "\n" + name + "（" + e.what() + "）";
        }
    }
    if (!failed.empty()) {
        prompter_.Error("添付ファイルを " + folder.toStdString() + " に保存できませんでした。" + failed +
                        (saved.empty() ? "" : "\n保存できたもの：" + saved));
        return false;
    }
    lastFolder_ = folder;
    prompter_.Message("添付ファイルを " + folder.toStdString() + " に保存しました。" + saved);
    return true;
}

} // namespace kamo
