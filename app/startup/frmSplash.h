#pragma once
// The splash window shown while the archive is prepared at start.
#include <QWidget>

class QLabel;

namespace kamo {

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    QLabel* lblVersion;
};

} // namespace kamo
