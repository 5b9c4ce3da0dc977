#include "browse/QtAttachmentList.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "browse/AttachmentFiles.h"
#include "common/Messages.h"
#include "common/Prompter.h"
#include "db/MailPictures.h"
#include "db/QtPictureDecoder.h"
#include "platform/FileUtil.h"

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

    lstAttachment->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstAttachment, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int row = lstAttachment->indexAt(at).row();
        if (row < 0 || row >= Count())
            return;
        lstAttachment->setCurrentRow(row);
        MenuOf(entries_[static_cast<std::size_t>(row)].position, this)->exec(lstAttachment->mapToGlobal(at));
    });
    lstAttachment->viewport()->installEventFilter(this);

    chooser_ = [this](QWidget* parentWidget) {
        return QFileDialog::getExistingDirectory(parentWidget, U("添付ファイルを保存するフォルダ"), StartFolder());
    };
    fileChooser_ = [](QWidget* parentWidget, const QString& suggested) {
        return QFileDialog::getSaveFileName(parentWidget, U("添付ファイルを保存"), suggested);
    };
    dragStarter_ = [](QMimeData* data, QWidget* source) {
        auto* drag = new QDrag(source);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    };
    opener_ = [](const QString& file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };
    hide();
}

QString QtAttachmentList::StartFolder() const {
    // Not wherever the program was started.
    return !lastFolder_.isEmpty() && QDir(lastFolder_).exists() ? lastFolder_ : QDir::homePath();
}

const AttachmentEntry* QtAttachmentList::Find(int64_t position) const {
    for (const AttachmentEntry& entry : entries_)
        if (entry.position == position)
            return &entry;
    return nullptr;
}

std::string QtAttachmentList::FileNameOf(int64_t position) const {
    const AttachmentEntry* entry = Find(position);
    return entry ? SafeFileName(entry->name, entry->position, entry->contentType) : std::string();
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
    const AttachmentEntry* entry = Find(position);
    return entry && db_ && isEnabled() && Open(*entry);
}

std::filesystem::path QtAttachmentList::PrivateCopy(const AttachmentEntry& entry, std::string& bytes) {
    std::optional<std::string> stored = AttachmentBytes(*db_, key_, entry.position);
    if (!stored)
        throw std::runtime_error("アーカイブにありません");
    bytes = std::move(*stored);
    const std::string name = SafeFileName(entry.name, entry.position, entry.contentType);
    const std::filesystem::path copy = WriteViewingCopy(std::filesystem::temp_directory_path(), name, bytes);
    copies_.push_back(copy);
    return copy;
}

bool QtAttachmentList::Open(const AttachmentEntry& entry) {
    const std::string name = SafeFileName(entry.name, entry.position, entry.contentType);
    try {
        std::string bytes;
        const std::filesystem::path copy = PrivateCopy(entry, bytes);
        if (!opener_(QString::fromStdString(copy.string()))) {
            prompter_.Message("添付ファイル " + name +
                              " を開くプログラムが見つかりません。「保存...」で保存して下さい。");
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        prompter_.Error("添付ファイル " + name + " を開けませんでした。\n" + ErrorText(e));
        return false;
    }
}

void QtAttachmentList::ShowMail(SQLite::Database& db, const MailKey& key) {
    Clear();
    db_ = &db;
    key_ = key;
    entries_ = ListAttachments(db, key);
    for (AttachmentEntry& entry : entries_) {
        // Named by what it holds: an unnamed picture is saved with its format's extension.
        std::string head;
        try {
            head = AttachmentHead(db, key, entry.position, kPictureHeadBytes).value_or("");
        } catch (const std::exception&) {
            // unreadable here: saving it says so
        }
        entry.contentType = ContentTypeOf(entry, head);
    }
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
    return SaveAs(entries_[static_cast<std::size_t>(row)]);
}

bool QtAttachmentList::SaveAttachment(int64_t position) {
    const AttachmentEntry* entry = Find(position);
    return entry && db_ && isEnabled() && SaveAs(*entry);
}

bool QtAttachmentList::SaveAs(const AttachmentEntry& entry) {
    const std::string name = SafeFileName(entry.name, entry.position, entry.contentType);
    const QString file = fileChooser_(this, QDir(StartFolder()).filePath(QString::fromStdString(name)));
    if (file.isEmpty())
        return false;
    const std::filesystem::path path = file.toStdString();
    try {
        const std::optional<std::string> bytes = AttachmentBytes(*db_, key_, entry.position);
        if (!bytes)
            throw std::runtime_error("アーカイブにありません");
        // The dialog asked before replacing a file; a new one is readable as saved files are.
        if (!AtomicWriteFile(path, *bytes, WriteHow{0644, true, true}))
            throw std::system_error(errno ? errno : EIO, std::generic_category(), path.string());
    } catch (const std::exception& e) {
        prompter_.Error("添付ファイルを " + path.string() + " に保存できませんでした。\n" + name + "（" + ErrorText(e) +
                        "）");
        return false;
    }
    lastFolder_ = QString::fromStdString(path.parent_path().string());
    prompter_.Message("添付ファイルを " + path.parent_path().string() + " に保存しました。\n" +
                      path.filename().string());
    return true;
}

QMimeData* QtAttachmentList::MimeDataOf(int64_t position) {
    const AttachmentEntry* entry = Find(position);
    if (!entry || !db_ || !isEnabled())
        return nullptr;
    try {
        std::string bytes;
        const std::filesystem::path copy = PrivateCopy(*entry, bytes);
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(copy.string()))});
        // A picture pastes as itself too, decoded within the bounds of the pane's pictures.
        if (!PictureFormatOf(bytes).empty() && static_cast<int64_t>(bytes.size()) <= kMaxPictureFileBytes) {
            const DecodedPicture picture = DecodePicture(QByteArray::fromStdString(bytes));
            if (picture.Shown())
                data->setImageData(picture.frames.front());
        }
        return data;
    } catch (const std::exception& e) {
        prompter_.Error("添付ファイル " + FileNameOf(position) + " を渡せませんでした。\n" + ErrorText(e));
        return nullptr;
    }
}

bool QtAttachmentList::CopyAttachment(int64_t position) {
    QMimeData* data = MimeDataOf(position);
    if (data)
        QGuiApplication::clipboard()->setMimeData(data);
    return data != nullptr;
}

bool QtAttachmentList::DragAttachment(int64_t position, QWidget* source) {
    QMimeData* data = MimeDataOf(position);
    if (data)
        dragStarter_(data, source);
    return data != nullptr;
}

std::unique_ptr<QMenu> QtAttachmentList::MenuOf(int64_t position, QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    menu->addAction(U("開く"), this, [this, position] { OpenAttachment(position); });
    menu->addAction(U("添付を保存"), this, [this, position] { SaveAttachment(position); });
    menu->addAction(U("コピー"), this, [this, position] { CopyAttachment(position); });
    menu->setEnabled(db_ && isEnabled() && Find(position));
    return menu;
}

bool QtAttachmentList::eventFilter(QObject* watched, QEvent* event) {
    // A line dragged out: the attachment goes to where it is dropped.
    if (watched == lstAttachment->viewport() && isEnabled()) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            pressedAt_ = mouse->position().toPoint();
            pressedRow_ = mouse->button() == Qt::LeftButton ? lstAttachment->indexAt(pressedAt_).row() : -1;
        } else if (event->type() == QEvent::MouseMove) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if ((mouse->buttons() & Qt::LeftButton) && pressedRow_ >= 0 && pressedRow_ < Count() &&
                (mouse->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
                const int64_t position = entries_[static_cast<std::size_t>(pressedRow_)].position;
                pressedRow_ = -1;
                DragAttachment(position, lstAttachment);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
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
            failed += "\n" + name + "（" + ErrorText(e) + "）";
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
