#pragma once
// The wait window: up to six message lines and a progress bar, shown during long work.
#include <QDialog>
#include <QElapsedTimer>
#include <array>

#include "common/WaitReporter.h"

class QLabel;
class QProgressBar;

namespace kamo {

class frmWait : public QDialog, public WaitReporter {
    Q_OBJECT
public:
    explicit frmWait(QWidget* parent = nullptr);

    void SetLine(int index, const std::string& text) override;
    void SetProgress(int64_t done, int64_t total) override;
    // Runs pending events at most every ~50 ms, so per-record calls cost next to nothing.
    void Pump() override;
    // Empties the lines and the bar for the next piece of work.
    void Reset();
    QString LineText(int index) const;

private:
    std::array<QLabel*, kLines> lines_{};
    QProgressBar* progress_ = nullptr;
    QElapsedTimer sincePump_;
};

} // namespace kamo
