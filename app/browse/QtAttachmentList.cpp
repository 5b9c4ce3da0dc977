#include "browse/QtAttachmentList.h"

#include <stdexcept>

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
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
    // Room for three lines: the mail's text keeps the space.
    lstAttachment->setMaximumHeight(lstAttachment->fontMetrics().lineSpacing() * 3 + 8);
    cmdAttachSave = new QPushButton(U("保存..."), this);
    cmdAttachSave->setObjectName("cmdAttachSave");
    cmdAttachSave->setToolTip(U("選択されている添付ファイルを保存します"));
    cmdAttachSaveAll = new QPushButton(U("すべて保存..."), this);
    cmdAttachSaveAll->setObjectName("cmdAttachSaveAll");
    cmdAttachSaveAll->setToolTip(U("このメールの添付ファイルをすべて保存します"));
    connect(cmdAttachSave, &QPushButton::clicked, this, [this] { SaveChosen(); });
    connect(cmdAttachSaveAll, &QPushButton::clicked, this, [this] { SaveAll(); });
    connect(lstAttachment, &QListWidget::itemActivated, this, [this] { SaveChosen(); });

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAttachSave);
    buttons->addWidget(cmdAttachSaveAll);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lblAttachment, 0, Qt::AlignTop);
    layout->addWidget(lstAttachment, 1);
    layout->addLayout(buttons);

    chooser_ = [](QWidget* parentWidget) {
        return QFileDialog::getExistingDirectory(parentWidget, U("添付ファイルを保存するフォルダ"));
    };
    hide();
}

void QtAttachmentList::ShowMail(SQLite::Database& db, const MailKey& key) {
    Clear();
    db_ = &db;
    key_ = key;
    entries_ = ListAttachments(db, key);
    for (const auto& entry : entries_)
        lstAttachment->addItem(QString::fromStdString(AttachmentLabel(entry)));
    if (!entries_.empty())
        lstAttachment->setCurrentRow(0);
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
    prompter_.Message("添付ファイルを " + folder.toStdString() + " に保存しました。" + saved);
    return true;
}

} // namespace kamo
