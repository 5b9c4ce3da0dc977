#include "import/ReadCommand.h"

#include <exception>
#include <iostream>

#include "common/Prompter.h"
#include "filters/FilterStore.h"
#include "import/MailRead.h"
#include "platform/Folders.h"
#include "platform/KamoLibrary.h"
#include "startup/SettingsStore.h"
#include "startup/StartupSteps.h"

namespace kamo {
namespace {

constexpr const char* kUsage = "使い方: kamomail read [--postpet-dir DIR] [--all]";

} // namespace

int RunReadCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string postPetDir;
    bool all = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--all") {
            all = true;
        } else if (args[i] == "--postpet-dir" && i + 1 < args.size() && !args[i + 1].empty()) {
            postPetDir = args[++i];
        } else if (args[i].rfind("--postpet-dir=", 0) == 0 && args[i].size() > 14) {
            postPetDir = args[i].substr(14);
        } else {
            err << "kamomail read: 不明な引数です: " << args[i] << '\n' << kUsage << '\n';
            return 2;
        }
    }

    // Messages go to standard error; a question is answered No (nothing is deleted unasked).
    StreamPrompter prompter(err, false);
    try {
        const AppFolders folders = ResolveFolders();
        Settings settings;
        StartedArchive started = StartWithoutWindow(folders, settings, prompter);
        if (!started)
            return 1;
        FormGeometry geometry;
        if (!ReadSettings(settings, geometry, ScreenTwips{}, prompter))
            return 1;
        FilterTables filters;
        NullWaitReporter quiet;
        LoadFilters(*started.db, filters, quiet);

        const ReadRequest request = MakeReadRequest(settings, folders, all, postPetDir);
        const ReadSummary summary = ReadPostPetMail(*started.db, ProgramLibrary(folders.libraryPath), request,
                                                    StandardReadHooks(*started.db, filters), prompter, quiet);
        if (!summary.completed)
            return 1;
        out << "PostPetのメールを読み込みました。(" << request.postPetDir.string() << ")\n" << FormatSummary(summary);
        out.flush();
        for (const auto& box : summary.mailboxes)
            if (box.code < 0)
                return 1;
        return 0;
    } catch (const std::exception& e) {
        err << "kamomail read: メールの読み込み中にエラーが発生しました。" << e.what() << '\n';
        return 1;
    }
}

int ReadCommand(const std::vector<std::string>& args) {
    return RunReadCommand(args, std::cout, std::cerr);
}

} // namespace kamo
