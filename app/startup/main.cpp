// Entry point of the program: the commands that run without a display, and Main of basKamoMail,
// the start sequence of the window program.
#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "browse/QtJapanese.h"
#include "browse/frmKamoMail.h"
#include "common/Messages.h"
#include "common/MessagesArchive.h"
#include "common/QtPrompter.h"
#include "common/Version.h"
#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "export/QtMailPrint.h"
#include "platform/Folders.h"
#include "startup/ExportCommand.h"
#include "startup/TerminalCommands.h"
#include "startup/frmSplash.h"

namespace {

bool EnvSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// Whether Qt can open a window here, decided before Qt tries (it aborts when it cannot).
bool HasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform)
        return EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
    // "wayland;xcb" lists fallbacks; "xcb:option" carries options.
    std::string list = platform;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        std::string name = list.substr(start, end - start);
        name = name.substr(0, name.find(':'));
        if (name.rfind("xcb", 0) == 0) {
            if (EnvSet("DISPLAY"))
                return true;
        } else if (name.rfind("wayland", 0) == 0) {
            if (EnvSet("WAYLAND_DISPLAY"))
                return true;
        } else if (!name.empty()) {
            return true; // offscreen, minimal, vnc, eglfs, linuxfb: no display server needed
        }
        start = end + 1;
    }
    return false;
}

// SIGTERM, SIGINT and SIGHUP close the main window the way comEnd does. The handler only writes to
// a pipe; the event loop reads it.
int signalPipe[2] = {-1, -1};

extern "C" void OnEndSignal(int sig) {
    const int saved = errno;
    const unsigned char c = static_cast<unsigned char>(sig);
    (void)!::write(signalPipe[1], &c, 1);
    // A second signal of the same kind ends the program at once, for a window that hangs.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    errno = saved;
}

bool InstallEndSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    ::sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    return true;
}

// Main of basKamoMail.
int RunWindowProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("KamoMail");
    QApplication::setApplicationVersion(QString::fromStdString(kamo::VersionText()));
    // The desktop file's id, so that docks on Wayland match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName("io.github.kamomail.KamoMail");
    kamo::InstallJapaneseTranslations(app);
    kamo::MapWindowsFontNames();

    QPointer<kamo::frmKamoMail> mainWindow;
    bool endRequested = false;
    std::unique_ptr<QSocketNotifier> endNotifier;
    // Closing the main window runs its unload (settings saved, temporary files removed). While a
    // command runs the window refuses to close: its open dialog is answered "No" (closed) and the
    // close is tried again shortly.
    std::function<void()> tryEnd = [&] {
        if (mainWindow && !mainWindow->close()) {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != mainWindow)
                modal->close();
            QTimer::singleShot(100, &app, tryEnd);
            return;
        }
        QApplication::closeAllWindows();
        QCoreApplication::exit(0);
    };
    if (InstallEndSignals()) {
        endNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(endNotifier.get(), &QSocketNotifier::activated, [&] {
            unsigned char drain[16];
            while (::read(signalPipe[0], drain, sizeof drain) > 0) {
            }
            endRequested = true;
            tryEnd();
        });
    }
    kamo::QtPrompter prompter;
    kamo::AppFolders folders;
    try {
        folders = kamo::ResolveFolders();
    } catch (const std::exception& e) {
        prompter.Error(kamo::ErrorText(e));
        return 1;
    }

    // 1. One copy per user.
    auto lock = kamo::TakeInstanceLock(folders, prompter);
    if (!lock)
        return 1;

    // 2. Splash.
    auto splash = std::make_unique<kamo::frmSplash>();
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    // 3-8. "Ver" check and upgrade, paths, create when missing, compact, open: the archive session,
    // which outlives the window.
    // The .Bak and the compaction run beside the window's start (ArchiveUpkeep): the first screen does not wait.
    kamo::StartupOptions options;
    options.compact = false;
    // Each step says so on the splash, which keeps being painted (and moved, under a window manager).
    splash->Follow(options);
    auto session = kamo::OpenSession(folders, std::move(lock), prompter, options);
    if (!session)
        return 1;

    // The .Bak is taken now, before the window's load asks anything (the first-run question waits for
    // the user); the compaction follows on the same worker while the window is in use.
    session->StartUpkeep();

    // 9. The main window; its load reads the settings.
    splash->Tell(kamo::Say(kamo::ArchiveText::PreparingList));
    auto window = std::make_unique<kamo::frmKamoMail>(*session, prompter);
    mainWindow = window.get();
    prompter.SetParent(window.get());
    if (!window->Load()) {
        session->EndUpkeepAfterBackup();
        return 1;
    }
    if (endRequested) {
        // Asked to end during the start: end the way comEnd does, settings written, the .Bak kept.
        window->close();
        session->EndUpkeepAfterBackup();
        return 0;
    }
    window->show();
    splash->close();
    splash.reset();

    const int status = QApplication::exec();
    prompter.SetParent(nullptr);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    kamo::ConfigureSqliteForProcess();
    kamo::SetPdfWriter(kamo::WriteMailPdfOnTerminal);
    if (argc > 1) {
        const std::string first = argv[1];
        if (const kamo::TerminalHandler run = kamo::FindTerminalHandler(first))
            return run(std::vector<std::string>(argv + 2, argv + argc));
        // Anything else starting with '-' is left to Qt (-platform, -style, ...).
        if (first.empty() || first[0] != '-') {
            std::cerr << kamo::Say(kamo::ArchiveText::UnknownCommand, {first, kamo::TerminalCommandNames()}) << '\n';
            return 2;
        }
    }
    if (!HasDisplay()) {
        std::cerr << kamo::Say(kamo::ArchiveText::NoDisplay, {kamo::TerminalCommandNames()}) << '\n';
        return 1;
    }
    return RunWindowProgram(argc, argv);
}
