#include "startup/frmSplash.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

#include "common/Version.h"
#include "db/ArchiveStartup.h"

namespace kamo {

frmSplash::frmSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("frmSplash");
    setWindowTitle("KamoMail");

    auto* title = new QLabel("KamoMail", this);
    title->setObjectName("lblTitle");
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);

    auto* note = new QLabel(QString::fromUtf8("PostPet Mail 表示"), this);
    note->setObjectName("lblNote");
    note->setAlignment(Qt::AlignCenter);

    lblVersion = new QLabel(QString::fromStdString("Version " + VersionText()), this);
    lblVersion->setObjectName("lblVersion");
    lblVersion->setAlignment(Qt::AlignCenter);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setAlignment(Qt::AlignCenter);
    // Room for the longest line, so the window does not change size when it appears.
    lblStatus->setMinimumWidth(
        lblStatus->fontMetrics().horizontalAdvance(QString::fromUtf8("アーカイブを検査しています… 999 秒")));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 30, 40, 30);
    layout->addWidget(title);
    layout->addWidget(note);
    layout->addWidget(lblVersion);
    layout->addWidget(lblStatus);
    setFixedSize(sizeHint());
    sinceStart_.start();
    sinceEvents_.start();
}

void frmSplash::Follow(StartupOptions& options) {
    options.progress = [this](const std::string& doing) { Tell(doing); };
}

void frmSplash::Tell(const std::string& doing) {
    // A new step at once; the same step again only every 50 ms, to keep the window painted.
    if (doing == shownDoing_ && sinceEvents_.elapsed() < 50)
        return;
    shownDoing_ = doing;
    sinceEvents_.restart();
    ShowDoing(QString::fromStdString(doing), static_cast<int>(sinceStart_.elapsed() / 1000));
    QApplication::processEvents();
}

void frmSplash::ShowDoing(const QString& doing, int seconds) {
    lblStatus->setText(seconds > 0 ? doing + QString::fromUtf8(" %1 秒").arg(seconds) : doing);
    repaint();
}

} // namespace kamo
