#include "startup/TerminalSession.h"

#include <ostream>

#include "common/CommandTable.h"
#include "common/Messages.h"
#include "common/MessagesRead.h"
#include "common/WaitReporter.h"
#include "filters/FilterCommands.h"
#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "upkeep/TableRegistry.h"

namespace kamo {

std::unique_ptr<ArchiveSession> StartTerminalSession(Prompter& prompter, std::ostream& err,
                                                     const std::string& command) {
    StartupOptions options;
    const CommandDef* def = FindTerminalCommand(command);
    options.compact = def && def->compacts;
    auto session = StartSession(ResolveFolders(), prompter, options);
    if (!session)
        return nullptr;
    FormGeometry geometry;
    if (!ReadSettings(session->AppSettings(), geometry, ScreenTwips{}, prompter))
        return nullptr;
    if (const auto failure = FilterStartUp(*session)) {
        err << "kamomail " << command << ": " << Say(ReadText::StartStopped, {MessageOf(*failure)}) << '\n';
        return nullptr;
    }
    NullWaitReporter quiet;
    RefreshOwedDerivedData(session->Database(), session->Filters(), quiet);
    return session;
}

} // namespace kamo
