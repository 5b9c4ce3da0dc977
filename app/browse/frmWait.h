#pragma once
// The wait window: up to six message lines and a progress bar, shown during long work.
#include <QDialog>
#include <QElapsedTimer>
#include <array>
#include <functional>

#include "common/WaitReporter.h"

class QLabel;
class QProgressBar;
class QPushButton;

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
    // The 中止 button: shown while work offers to stop, and whether it was pressed. `askFirst`, for
    // work whose stop loses what it did, is asked before Esc stops it (true: stop).
    void OfferCancel(bool offered, std::function<bool()> askFirst = nullptr);
    bool CancelRequested() const { return cancelRequested_; }
    // Esc, in this window or in the main window under it: 中止 where the work offers it.
    void Escape();

protected:
    // Esc means 中止 where the work offers it; the window never just hides while the work goes on.
    void reject() override;

private:
    std::array<QLabel*, kLines> lines_{};
    QProgressBar* progress_ = nullptr;
    QElapsedTimer sincePump_;
    QPushButton* cmdCancel_ = nullptr;
    bool cancelRequested_ = false;
    std::function<bool()> askFirst_;
};

} // namespace kamo
