#include "import/frmMailReadOpt.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/Prompter.h"
#include "import/Mailboxes.h"

namespace kamo {
namespace {

QGroupBox* MakeFrame(const char* caption, const char* objectName, const char* boxPrefix,
                     const std::vector<const MailboxInfo*>& boxes, int MailboxInfo::*index,
                     const frmMailReadOpt::Flags& flags, std::vector<std::pair<int, QCheckBox*>>& out) {
    auto* frame = new QGroupBox(QString::fromUtf8(caption));
    frame->setObjectName(objectName);
    auto* grid = new QGridLayout(frame);
    int row = 0;
    for (const MailboxInfo* box : boxes) {
        const int i = box->*index;
        auto* check = new QCheckBox(QString::fromUtf8(box->name), frame);
        check->setObjectName(QString::fromUtf8(boxPrefix) + QString::number(i));
        check->setChecked(flags[static_cast<std::size_t>(i)] != 0);
        grid->addWidget(check, row % 5, row / 5);
        out.emplace_back(i, check);
        ++row;
    }
    return frame;
}

} // namespace

frmMailReadOpt::frmMailReadOpt(Flags& send, Flags& recieve, Prompter& prompter, QWidget* parent)
    : QDialog(parent), send_(send), recieve_(recieve), prompter_(prompter) {
    setObjectName("frmMailReadOpt");
    setWindowTitle(QString::fromUtf8("メール読み込み設定"));
    auto* frames = new QHBoxLayout;
    frames->addWidget(MakeFrame("送信メール", "fraSend", "Chk_Send_Opt_", SendSideMailboxes(), &MailboxInfo::sendIndex,
                                send_, sendBoxes_));
    frames->addWidget(MakeFrame("受信メール", "fraReciev", "Chk_Reciev_Opt_", RecievSideMailboxes(),
                                &MailboxInfo::recievIndex, recieve_, recievBoxes_));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("cmdOk");
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("Ｏ　Ｋ"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cmdCancel");
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmMailReadOpt::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmMailReadOpt::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addWidget(buttons);
}

void frmMailReadOpt::accept() {
    auto anyTicked = [](const std::vector<std::pair<int, QCheckBox*>>& boxes) {
        for (const auto& [i, check] : boxes)
            if (check->isChecked())
                return true;
        return false;
    };
    if (!anyTicked(sendBoxes_) && !anyTicked(recievBoxes_)) {
        prompter_.Message("最低１ヶ所には、チェックを付けて下さい。");
        return;
    }
    for (const auto& [i, check] : sendBoxes_)
        send_[static_cast<std::size_t>(i)] = check->isChecked() ? 1 : 0;
    for (const auto& [i, check] : recievBoxes_)
        recieve_[static_cast<std::size_t>(i)] = check->isChecked() ? 1 : 0;
    QDialog::accept();
}

} // namespace kamo
