#pragma once
// The splash window shown while the archive is prepared at start.
#include <QWidget>

class QLabel;

namespace kamo {

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    // What a long step of the start is doing, with the seconds it has taken so far; painted at once.
    void ShowDoing(const QString& doing, int seconds);

    QLabel* lblVersion;
    QLabel* lblStatus;
};

} // namespace kamo
