#include "friends/FriendCommands.h"

#include <exception>
#include <functional>

#include "common/ArchiveView.h"
#include "common/AsciiText.h"
#include "common/Messages.h"
#include "common/MessagesFriends.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "friends/FriendCards.h"
#include "platform/Folders.h"
#include "platform/KamoLibrary.h"
#include "platform/SettingsStore.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

// Renaming work: the change, then the look-ups and filters that follow the names.
bool Rename(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
            const std::function<int64_t(SQLite::Database&)>& change, FriendText done) {
    SQLite::Database& db = session.Database();
    int64_t changed = 0;
    bool filtered = true;
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::RenamingMail);
        changed = change(db);
        filtered = RefreshDerivedData(db, session.Filters(), wait);
    } catch (const std::exception& e) {
        view.ShowViewMode();
        prompter.Error(Say(FriendText::RenameFailed, {ErrorText(e)}), Say(FriendText::Title));
        return false;
    }
    view.ShowViewMode();
    if (!filtered)
        prompter.Error(Say(FriendText::RenamedUnfiltered), Say(FriendText::Title));
    prompter.Message(Say(done, {WithSeparators(changed)}), Say(FriendText::Title));
    return filtered;
}

// The damaged records by their place in the file: the first ten, then how many more.
std::string DamagedSummary(const std::vector<DamagedFriendRecord>& damaged) {
    std::string text = Say(FriendText::DamagedRecords, {WithSeparators(static_cast<int64_t>(damaged.size()))});
    constexpr size_t kShown = 10;
    for (size_t i = 0; i < damaged.size() && i < kShown; ++i) {
        const auto& d = damaged[i];
        text +=
            Say(FriendText::DamagedRecord, {WithSeparators(d.record), WithSeparators(static_cast<int64_t>(d.offset)),
                                            WithSeparators(static_cast<int64_t>(d.size))});
    }
    if (damaged.size() > kShown)
        text += Say(FriendText::DamagedMore, {WithSeparators(static_cast<int64_t>(damaged.size() - kShown))});
    return text;
}

} // namespace

bool ReadFriendsCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait,
                        const std::filesystem::path& friendFile) {
    KamoLibrary& library = ProgramLibrary(session.Folders().libraryPath);
    if (!library.Load()) {
        prompter.Error(MessageOf(*library.Problem()));
        return false;
    }
    FriendFileRead read;
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::ReadingFriends);
        read = ReadFriendFile(session.Database(), library.FriendEdit(), friendFile,
                              session.Folders().dataDir / kFriendTextName);
    } catch (const NotAFriendFile& e) {
        prompter.Error(ErrorText(e), Say(FriendText::Title));
        return false;
    } catch (const std::exception& e) {
        prompter.Error(Say(FriendText::ReadFailed, {ErrorText(e)}), Say(FriendText::Title));
        return false;
    }
    const std::string summary = Say(
        FriendText::Read, {WithSeparators(read.added), WithSeparators(read.updated), WithSeparators(read.unchanged)});
    if (read.damaged.empty()) {
        prompter.Message(summary, Say(FriendText::Title));
        return true;
    }
    prompter.Error(summary + "\n" + DamagedSummary(read.damaged), Say(FriendText::Title));
    return false;
}

std::filesystem::path FriendFileIn(const std::filesystem::path& postPetDir) {
    // Folders copied from a Windows disk keep whatever case the disk gave the name.
    std::error_code ec;
    for (std::filesystem::directory_iterator it(postPetDir, ec), end; !ec && it != end; it.increment(ec))
        if (EqualsNoCase(it->path().filename().string(), kFriendFileName) && it->is_regular_file(ec))
            return it->path();
    return {};
}

bool OfferFriendFileBeside(ArchiveSession& session, Prompter& prompter, WaitReporter& wait) {
    if (session.ViewingBackup() || TrimAscii(session.AppSettings().postPetDir, " \t").empty())
        return false;
    const std::filesystem::path file = FriendFileIn(ResolvePostPetDir(session.AppSettings().postPetDir));
    if (file.empty() || !LoadFriends(session.Database()).empty())
        return false;
    const std::string& settings = session.AppSettings().settingsPath;
    if (ReadFriendFilePath(settings) == file.string() || ReadDeclinedFriendFile(settings) == file.string())
        return false;
    if (!prompter.AskYesNo(Say(FriendText::OfferFriendFile, {file.string()}), Say(FriendText::Title))) {
        WriteDeclinedFriendFile(settings, file.string());
        return false;
    }
    WriteFriendFilePath(settings, file.string());
    return ReadFriendsCommand(session, prompter, wait, file);
}

bool ExportFriendCards(const std::vector<Friend>& friends, const std::filesystem::path& target,
                       const std::filesystem::path& archive, Prompter& prompter) {
    try {
        WriteFriendCards(friends, target, archive);
    } catch (const std::exception& e) {
        prompter.Error(Say(FriendText::CardsFailed, {ErrorText(e)}), Say(FriendText::Title));
        return false;
    }
    prompter.Message(
        Say(FriendText::CardsWritten, {WithSeparators(static_cast<int64_t>(friends.size())), target.string()}),
        Say(FriendText::Title));
    return true;
}

bool RenameCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                   FriendName which) {
    return Rename(
        session, prompter, wait, view, [which](SQLite::Database& db) { return ApplyFriendNames(db, which); },
        which == FriendName::Owner ? FriendText::RenamedToOwner : FriendText::RenamedToPet);
}

bool RestoreNamesCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view) {
    return Rename(session, prompter, wait, view, RestoreMailNames, FriendText::RenamedBack);
}

} // namespace kamo
