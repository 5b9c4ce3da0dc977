#include "browse/frmTrash.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "browse/MailDeletion.h"
#include "browse/QtLayoutSizes.h"
#include "common/Guarded.h"
#include "common/Settings.h"
#include "db/ArchiveSession.h"
#include "db/Trash.h"

namespace kamo {
namespace {

QString U(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

enum Role { kBatch = Qt::UserRole, kYmd, kHms, kSubKey, kSent, kSnd, kRcv };

} // namespace

frmTrash::frmTrash(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view, QWidget* parent)
    : QDialog(parent), session_(session), prompter_(prompter), wait_(wait), view_(view) {
    setWindowTitle(U("ゴミ箱"));
    lstTrash = new QTreeWidget(this);
    lstTrash->setObjectName("lstTrash");
    lstTrash->setRootIsDecorated(false);
    lstTrash->setHeaderLabels({U("削除日時"), U("日付"), U("差出人"), U("宛先"), U("件名")});
    lstTrash->header()->setSectionResizeMode(QHeaderView::Interactive); // the columns' edges can be dragged
    // The last column stretches with the window: only the others are the user's widths.
    connect(lstTrash->header(), &QHeaderView::sectionResized, this,
            [this](int column) { dragged_ = dragged_ || (!filling_ && column < lstTrash->columnCount() - 1); });
    txtTrashMail = new QPlainTextEdit(this);
    txtTrashMail->setObjectName("txtTrashMail");
    txtTrashMail->setReadOnly(true);
    cmdRestore = new QPushButton(U("元に戻す(&R)"), this);
    cmdEmpty = new QPushButton(U("ゴミ箱を空にする(&E)"), this);
    auto* close = new QPushButton(U("閉じる"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRestore);
    buttons->addWidget(cmdEmpty);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstTrash, 1);
    layout->addWidget(txtTrashMail, 1);
    layout->addLayout(buttons);
    connect(lstTrash, &QTreeWidget::currentItemChanged, this, [this] { Guarded(prompter_, [this] { ShowChosen(); }); });
    connect(cmdRestore, &QPushButton::clicked, this, [this] { Guarded(prompter_, [this] { Restore(); }); });
    connect(cmdEmpty, &QPushButton::clicked, this, [this] {
        Guarded(prompter_, [this] {
            if (RunEmptyTrash(session_, prompter_) > 0)
                Fill();
        });
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(720, 480);
    Fill();
}

frmTrash::~frmTrash() {
    if (!dragged_)
        return; // widths fitted to this time's contents are not the user's
    QList<int> widths;
    for (int column = 0; column < lstTrash->columnCount(); ++column)
        widths << lstTrash->header()->sectionSize(column);
    session_.AppSettings().trashColumns = SizesText(widths);
}

void frmTrash::Fill() {
    lstTrash->clear();
    txtTrashMail->clear();
    for (const TrashedMail& m : ListTrash(session_.Database())) {
        auto* item = new QTreeWidgetItem(
            lstTrash, {U(m.time), U(m.key.ymd + " " + m.key.hms), U(m.key.sndAdd), U(m.key.rcvAdd), U(m.subject)});
        item->setData(0, kBatch, QVariant::fromValue<qint64>(m.batch));
        item->setData(0, kYmd, U(m.key.ymd));
        item->setData(0, kHms, U(m.key.hms));
        item->setData(0, kSubKey, QVariant::fromValue<qint64>(m.key.subKey));
        item->setData(0, kSent, m.key.sent);
        item->setData(0, kSnd, U(m.key.sndAdd));
        item->setData(0, kRcv, U(m.key.rcvAdd));
    }
    // The widths the user left, when there are as many as columns; else fitted to the contents.
    filling_ = true;
    if (const QList<int> widths = SplitSizes(session_.AppSettings().trashColumns);
        widths.size() == lstTrash->columnCount()) {
        for (int column = 0; column < widths.size(); ++column)
            lstTrash->header()->resizeSection(column, widths[column]);
    } else {
        lstTrash->header()->resizeSections(QHeaderView::ResizeToContents);
    }
    filling_ = false;
    cmdRestore->setEnabled(lstTrash->topLevelItemCount() > 0);
    cmdEmpty->setEnabled(lstTrash->topLevelItemCount() > 0);
    if (lstTrash->topLevelItemCount() > 0)
        lstTrash->setCurrentItem(lstTrash->topLevelItem(0));
}

void frmTrash::ShowChosen() {
    const QTreeWidgetItem* item = lstTrash->currentItem();
    if (!item) {
        txtTrashMail->clear();
        return;
    }
    MailKey key;
    key.ymd = item->data(0, kYmd).toString().toStdString();
    key.hms = item->data(0, kHms).toString().toStdString();
    key.subKey = item->data(0, kSubKey).toLongLong();
    key.sent = item->data(0, kSent).toBool();
    key.sndAdd = item->data(0, kSnd).toString().toStdString();
    key.rcvAdd = item->data(0, kRcv).toString().toStdString();
    const auto mail = ReadTrashedMail(session_.Database(), item->data(0, kBatch).toLongLong(), key);
    txtTrashMail->setPlainText(mail ? U(mail->body) : QString());
}

void frmTrash::Restore() {
    const QTreeWidgetItem* item = lstTrash->currentItem();
    if (!item)
        return;
    if (!RunRestoreBatch(session_, prompter_, wait_, view_, item->data(0, kBatch).toLongLong()).empty())
        Fill();
}

std::function<int(frmTrash&)>& TrashRun() {
    static std::function<int(frmTrash&)> run = [](frmTrash& window) { return window.exec(); };
    return run;
}

} // namespace kamo
