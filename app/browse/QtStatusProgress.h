#pragma once
// Progress of work that runs beside the user (a read of PostPet mail, by the button or by itself): a
// line, a bar and 中止 in the window's status bar instead of the wait window, the controls locked as
// for any command but the search field left to type in, so nothing the user is doing is taken away.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>

#include "common/WaitReporter.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace kamo {

class QtControlLock;

class QtStatusProgress : public QObject, public WaitReporter {
    Q_OBJECT
public:
    QtStatusProgress(QStatusBar& bar, QtControlLock& lock);

    void SetLine(int index, const std::string& text) override;
    void SetProgress(int64_t done, int64_t total) override;
    void Pump() override;
    void Begin() override;
    void End() override;
    void OfferCancel() override;
    bool CancelRequested() const override { return cancelRequested_; }

    // The line as it stands (the work's lines joined).
    QString Text() const;

private:
    void ShowLines();

    QtControlLock& lock_;
    QLabel* lblProgress_ = nullptr;
    QProgressBar* prgProgress_ = nullptr;
    QPushButton* cmdStop_ = nullptr;
    std::array<QString, kLines> lines_;
    QElapsedTimer sincePump_;
    int depth_ = 0;
    bool cancelRequested_ = false;
    bool showNextPump_ = false;
};

} // namespace kamo
