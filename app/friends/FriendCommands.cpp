#include "friends/FriendCommands.h"

#include <exception>
#include <functional>

#include "common/ArchiveView.h"
#include "common/AsciiText.h"
#include "common/Messages.h"
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
            const std::function<int64_t(SQLite::Database&)>& change, const std::string& done) {
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
        prompter.Error(std::string("メールの名前を変えられませんでした。\n") + ErrorText(e), "おともだち");
        return false;
    }
    view.ShowViewMode();
    if (!filtered)
        prompter.Error("名前は変えましたが、フィルターの実行に失敗しました。", "おともだち");
    prompter.Message(WithSeparators(changed) + " 件のメールの" + done, "おともだち");
    return filtered;
}

// The damaged records by their place in the file: the first ten, then how many more.
std::string DamagedSummary(const std::vector<DamagedFriendRecord>& damaged) {
    std::string text =
        "壊れたレコード " + WithSeparators(static_cast<int64_t>(damaged.size())) + " 件は読み込みませんでした。";
    constexpr size_t kShown = 10;
    for (size_t i = 0; i < damaged.size() && i < kShown; ++i) {
        const auto& d = damaged[i];
        text += "\n　" + WithSeparators(d.record) + " 件目（バイト位置 " +
                WithSeparators(static_cast<int64_t>(d.offset)) + "、" + WithSeparators(static_cast<int64_t>(d.size)) +
                " バイト）";
    }
    if (damaged.size() > kShown)
        text += "\n　ほか " + WithSeparators(static_cast<int64_t>(damaged.size() - kShown)) + " 件";
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
        prompter.Error(ErrorText(e), "おともだち");
        return false;
    } catch (const std::exception& e) {
        prompter.Error(std::string("おともだちファイルを読み込めませんでした。\n") + ErrorText(e), "おともだち");
        return false;
    }
    const std::string summary = "おともだちファイルを読み込みました。\n追加 " + WithSeparators(read.added) +
                                " 件 / 更新 " + WithSeparators(read.updated) + " 件 / 変更なし " +
                                WithSeparators(read.unchanged) + " 件";
    if (read.damaged.empty()) {
        prompter.Message(summary, "おともだち");
        return true;
    }
    prompter.Error(summary + "\n" + DamagedSummary(read.damaged), "おともだち");
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
    if (!prompter.AskYesNo("PostPet のおともだちファイルが見つかりました。おともだち帳に読み込みますか？\n" +
                               file.string(),
                           "おともだち")) {
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
        prompter.Error(std::string("おともだち帳を書き出せませんでした。\n") + ErrorText(e), "おともだち");
        return false;
    }
    prompter.Message("おともだち " + WithSeparators(static_cast<int64_t>(friends.size())) +
                         " 人を vCard に書き出しました。\n" + target.string(),
                     "おともだち");
    return true;
}

bool RenameCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                   FriendName which) {
    return Rename(
        session, prompter, wait, view, [which](SQLite::Database& db) { return ApplyFriendNames(db, which); },
        which == FriendName::Owner ? "名前を飼い主の名前にしました。" : "名前をペットの名前にしました。");
}

bool RestoreNamesCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view) {
    return Rename(session, prompter, wait, view, RestoreMailNames, "名前をメールのもとの名前に戻しました。");
}

} // namespace kamo
