#pragma once
// The help window: the HTML help page in a browser pane, one window per main window.
#include <QWidget>

namespace kamo {

class Prompter;
struct AppFolders;

class frmHelp : public QWidget {
    Q_OBJECT
public:
    frmHelp(const QString& path, QWidget* parent);

    // Shows the help page in the help window of `owner` (made on first use); tells the user when the
    // page is missing.
    static void Show(QWidget* owner, const QString& path, Prompter& prompter);
    // ヘルプ → バージョン情報: the version, the folders in use and the libraries it runs on.
    static void ShowVersion(const AppFolders& folders, Prompter& prompter);
};

} // namespace kamo
