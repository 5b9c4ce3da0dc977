#pragma once
// A main window over a fresh archive in a temporary folder, for window tests: the settings file,
// the folders, the session and the window. `fill` puts the test's mail into the archive before the
// session opens it; the look-up lists are rebuilt from it.
#include <filesystem>
#include <functional>
#include <memory>

#include <QTest>

#include "browse/frmKamoMail.h"
#include "db/ArchiveSession.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

namespace kamo::test {

struct WindowArchive {
    explicit WindowArchive(const std::function<void(SQLite::Database&)>& fill) {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        WriteFile(dir / "config" / "KAMOMAIL.ini", "[PostPet Mail Option]\nPostPet Dir=/tmp\nDisplay Type=0\n");
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        folders.libraryPath = BuildLibraryPath();
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        fill(*db);
        RebuildNameList(*db);
        RebuildAddressList(*db);
        MarkDerivedDataMade(*db); // filter results the fill wrote by hand stand for made ones
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
    }
    template <typename T> T* Find(const char* name) const { return window->findChild<T*>(name); }
    // Loads and shows the window as the start does, and lets what its first show offers run.
    bool LoadAndShow() {
        if (!window->Load())
            return false;
        window->show();
        QTest::qWait(0);
        return window->isVisible();
    }

    TempDir dir;
    Settings settings;
    AppFolders folders;
    ScriptedPrompter prompter;
    std::unique_ptr<ArchiveSession> session;
    std::unique_ptr<frmKamoMail> window;
};

} // namespace kamo::test
