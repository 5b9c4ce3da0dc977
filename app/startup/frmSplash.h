#pragma once
// The splash window shown while the archive is prepared at start.
#include <QElapsedTimer>
#include <QWidget>
#include <string>

class QLabel;

namespace kamo {

struct StartupOptions;

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    // What a long step of the start is doing, with the seconds it has taken so far; painted at once.
    void ShowDoing(const QString& doing, int seconds);
    // The start's steps told on the splash as they begin (StartupOptions::progress), with the seconds since the
    // splash was made; the window keeps being painted (and moved, under a window manager) while a step runs.
    void Follow(StartupOptions& options);
    void Tell(const std::string& doing);

    QLabel* lblVersion;
    QLabel* lblStatus;

private:
    QElapsedTimer sinceStart_, sinceEvents_;
    std::string shownDoing_;
};

} // namespace kamo
