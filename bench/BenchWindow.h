#pragma once
// The main window of a benchmark over an existing archive: settings in a scratch folder (a PostPet
// folder that exists, so the start neither searches nor asks), a session that does not own the file
// (nothing is compacted), the window loaded and shown.
#include <QApplication>
#include <iostream>
#include <memory>

#include "browse/frmKamoMail.h"
#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "startup/TerminalPrompter.h"
#include "testsupport/TestSupport.h"

namespace kamo::bench {

struct BenchWindow {
    explicit BenchWindow(const std::filesystem::path& archive) {
        test::WriteFile(temp / "KAMOMAIL.ini", "[PostPet Mail Option]\nPostPet Dir=/tmp\nDisplay Type=0\n");
        Settings settings;
        settings.settingsPath = (temp / "KAMOMAIL.ini").string();
        AppFolders folders;
        folders.settingsDir = temp.path();
        folders.dataDir = temp.path();
        // Opened as the program opens an archive: the tables it adds beside the six, and the month
        // counts with them, are made the first time (the archive is kept for later runs).
        auto db = OpenArchive(archive);
        AddMissingTables(*db);
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
        loaded = window->Load();
        if (loaded) {
            window->show();
            QCoreApplication::processEvents();
        }
    }
    test::TempDir temp;
    TerminalPrompter prompter{std::cerr, std::cerr};
    std::unique_ptr<ArchiveSession> session; // outlives the window
    std::unique_ptr<frmKamoMail> window;
    bool loaded = false;
};

} // namespace kamo::bench
