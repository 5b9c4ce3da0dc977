#include "import/MailRead.h"

#include <SQLiteCpp/Transaction.h>
#include <algorithm>
#include <memory>
#include <system_error>

#include "db/ArchiveSession.h"
#include "db/LookupLists.h"
#include "filters/FilterMatch.h"
#include "filters/FilterRun.h"
#include "import/MailDecode.h"
#include "import/MailStore.h"
#include "import/TmpReader.h"

namespace kamo {
namespace {

// The running count is shown every this many mails (and at the end of each mailbox).
constexpr int64_t kProgressStep = 64;

bool AsciiEqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string CodeMessage(const MailboxSummary& box) {
    switch (box.code) {
    case -1:
        return box.name + " のリストファイルを開けないか、一時ファイル KamoMail.Tmp を作成できません。";
    case -2:
        return box.name + " のメールファイルを開けません。";
    case -4:
    case -5:
        return box.name + " の読み込み中にメモリが不足しました。読み込めたメールだけを保存します。";
    default:
        return {};
    }
}

void ShowCount(WaitReporter& wait, int64_t done, int64_t total) {
    wait.SetLine(3, std::to_string(done) + " / " + std::to_string(total) + "  のデータを処理中です。");
    wait.SetProgress(done, total);
}

void ReadMailbox(SQLite::Database& db, MailStore& store, KamoLibrary& library, const ReadRequest& request,
                 const MailboxChoice& choice, const ReadHooks& hooks, Prompter& prompter, WaitReporter& wait,
                 MailboxSummary& box) {
    const MailboxFiles files = LocateMailbox(request.postPetDir, *choice.box);
    std::error_code ec;
    // A failed call can leave the previous mailbox's file behind; it must never be read twice.
    std::filesystem::remove(request.tmpPath, ec);
    int32_t count = 0;
    int32_t code = 0;
    library.MailEdit()(files.list.c_str(), files.mail.c_str(), request.tmpPath.c_str(), &count, &code);
    box.code = code;
    box.listed = count;
    if (code == -1 || code == -2 || code == -4 || code == -5)
        prompter.Error(CodeMessage(box));
    if (code == -1 || code == -2 || code == KAMOMAIL_NOTHING)
        return;

    wait.SetLine(4, choice.box->name);
    ShowCount(wait, 0, count);
    TmpReader reader(request.tmpPath);
    if (!reader.IsOpen())
        return;
    SQLite::Transaction transaction(db);
    TmpMail raw;
    while (reader.Next(raw)) {
        ++box.read;
        MailRecord mail = BuildMailRecord(raw, library.StrChange());
        mail.sent = IsSentMail(choice, mail, request.myMailAddr);
        if (hooks.excludes && hooks.excludes(mail))
            ++box.filtered;
        else if (store.Store(mail) == MailStore::Outcome::Stored)
            ++box.stored;
        else
            ++box.alreadyStored;
        if (box.read % kProgressStep == 0)
            ShowCount(wait, box.read, std::max<int64_t>(count, box.read));
        wait.Pump();
    }
    transaction.commit();
    ShowCount(wait, box.read, std::max<int64_t>(count, box.read));
    box.damaged = std::max<int64_t>(0, count - box.read);
}

} // namespace

bool IsSentMail(const MailboxChoice& choice, const MailRecord& mail, const std::string& myMailAddr) {
    switch (choice.box->kind) {
    case MailboxKind::Inbox:
        return false;
    case MailboxKind::Outbox:
        return true;
    case MailboxKind::Drawer:
        break;
    }
    if (!myMailAddr.empty())
        return AsciiEqualNoCase(mail.sndAdd, myMailAddr);
    return choice.send && !choice.recieve;
}

MailboxSummary ReadSummary::Totals() const {
    MailboxSummary t;
    t.name = "合計";
    for (const auto& b : mailboxes) {
        t.listed += b.listed;
        t.read += b.read;
        t.stored += b.stored;
        t.alreadyStored += b.alreadyStored;
        t.filtered += b.filtered;
        t.damaged += b.damaged;
    }
    return t;
}

ReadSummary ReadPostPetMail(SQLite::Database& db, KamoLibrary& library, const ReadRequest& request,
                            const ReadHooks& hooks, Prompter& prompter, WaitReporter& wait) {
    ReadSummary summary;
    if (!library.Load()) {
        prompter.Error(library.Error());
        return summary;
    }
    if (request.mailboxes.empty()) {
        prompter.Message("読み込むメールボックスが選ばれていません。\n"
                         "オプションの「読み込むメールボックス」で選んで下さい。");
        return summary;
    }
    std::error_code ec;
    if (request.postPetDir.empty() || !std::filesystem::is_directory(request.postPetDir, ec)) {
        prompter.Error("PostPetのフォルダが見つかりません。\n" + request.postPetDir.string() +
                       "\nオプションでPostPetのフォルダを設定して下さい。");
        return summary;
    }
    wait.SetLines({"ＰｏｓｔＰｅｔ の ", "　Ｍａｉｌを読み込んでいます。", "　少々お待ちください。", "", "", ""});
    wait.Pump();
    {
        MailStore store(db); // statements prepared once for the whole read
        for (const auto& choice : request.mailboxes) {
            MailboxSummary box;
            box.name = choice.box->name;
            ReadMailbox(db, store, library, request, choice, hooks, prompter, wait, box);
            summary.mailboxes.push_back(box);
        }
    }
    wait.SetLines({"　ＫａｍｏＭａｉｌの各データを", "　　　更新しています。", "", "", "", ""});
    wait.SetProgress(0, 0);
    wait.Pump();
    if (hooks.refresh)
        hooks.refresh(wait);
    summary.completed = true;
    return summary;
}

ReadRequest MakeReadRequest(const Settings& settings, const AppFolders& folders, bool all,
                            const std::string& postPetDir) {
    ReadRequest request;
    request.postPetDir = ResolvePostPetDir(postPetDir.empty() ? settings.postPetDir : postPetDir);
    request.tmpPath = folders.dataDir / "KamoMail.Tmp";
    request.mailboxes = ChooseMailboxes(settings.sendReadOptions, settings.recievReadOptions, all);
    request.myMailAddr = settings.myMailAddr;
    return request;
}

ReadHooks StandardReadHooks(SQLite::Database& db, const FilterTables& tables) {
    ReadHooks hooks;
    auto matcher = std::make_shared<ReadFilterMatcher>(tables);
    if (!matcher->Empty())
        hooks.excludes = [matcher](const MailRecord& mail) { return matcher->Excludes(mail); };
    hooks.refresh = [&db, &tables](WaitReporter& wait) {
        RunFilters(db, tables, wait);
        RebuildNameList(db);
        RebuildAddressList(db);
    };
    return hooks;
}

ReadSummary ReadPostPetMail(ArchiveSession& session, const ReadRequest& request, Prompter& prompter,
                            WaitReporter& wait) {
    return ReadPostPetMail(session.Database(), ProgramLibrary(session.Folders().libraryPath), request,
                           StandardReadHooks(session.Database(), session.Filters()), prompter, wait);
}

std::string FormatSummary(const ReadSummary& summary) {
    std::string text;
    auto line = [&](const MailboxSummary& b) {
        text += b.name + ": 読込 " + std::to_string(b.read) + " / 保存 " + std::to_string(b.stored) + " / 保存済み " +
                std::to_string(b.alreadyStored) + " / フィルター除外 " + std::to_string(b.filtered) + " / 破損 " +
                std::to_string(b.damaged);
        if (b.code < 0)
            text += "（エラー " + std::to_string(b.code) + "）";
        text += "\n";
    };
    for (const auto& b : summary.mailboxes)
        line(b);
    line(summary.Totals());
    return text;
}

} // namespace kamo
