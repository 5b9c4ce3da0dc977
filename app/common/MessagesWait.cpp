#include "common/MessagesWait.h"

#include "common/AsciiText.h"
#include "common/Messages.h"
#include "common/NumberText.h"

namespace kamo {

namespace {

constexpr const char* kPleaseWait = "　少々お待ちください。";

// The usual lines of one piece of work: what is being done and the "please wait" line.
WaitLines Busy(const char* doing) {
    return {doing, kPleaseWait, "", "", "", ""};
}

} // namespace

WaitLines WaitLinesOf(WaitPhase phase, const std::string& detail) {
    switch (phase) {
    case WaitPhase::ReadingPostPet:
        return {"ＰｏｓｔＰｅｔ の ", "　Ｍａｉｌを読み込んでいます。", kPleaseWait, "", "", ""};
    case WaitPhase::UpdatingData:
        return {"　ＫａｍｏＭａｉｌの各データを", "　　　更新しています。", "", "", "", ""};
    case WaitPhase::RedecodingMail:
        return {"保存したメールを", "　元のメールから読み直しています。", kPleaseWait, "", "", ""};
    case WaitPhase::ExportingMail:
        return {"　メールを書き出しています。", kPleaseWait, "", "", detail, ""};
    case WaitPhase::PrintingMail:
        return Busy("　メールを印刷しています。");
    case WaitPhase::WritingPdf:
        return Busy("　PDF を書き出しています。");
    case WaitPhase::IndexingSearch:
        return Busy("　検索用の索引を作っています。");
    case WaitPhase::IndexingConversations:
        return Busy("　会話の索引を作っています。");
    case WaitPhase::GroupingConversations:
        return Busy("　メールを会話ごとにまとめています。");
    case WaitPhase::RunningFilters:
        return Busy("　振り分け処理を行っています。");
    case WaitPhase::TidyingArchive:
        return Busy("　データベースを整理しています。");
    case WaitPhase::MakingBackup:
        return Busy("　バックアップを作成しています。");
    case WaitPhase::RecreatingArchive:
        return Busy("　データベースを再作成しています。");
    case WaitPhase::WritingTables:
        return Busy("　テキストファイルに書き出しています。");
    case WaitPhase::ReadingTables:
        return Busy("　テキストファイルを取り込んでいます。");
    case WaitPhase::RenamingMail:
        return Busy("　メールの名前を変えています。");
    case WaitPhase::ReadingFriends:
        return Busy("　おともだちファイルを読み込んでいます。");
    }
    return {};
}

std::vector<std::pair<int, std::string>> WaitCountLines(WaitCount what, int64_t done, std::optional<int64_t> total) {
    const std::string all = total ? WithSeparators(*total) : std::string();
    switch (what) {
    case WaitCount::Data:
        return {{3, FillText("{1} / {2}  のデータを処理中です。", {WithSeparators(done), all})}};
    case WaitCount::Items:
        return {{3, total ? FillText("{1} / {2} 件", {WithSeparators(done), all})
                          : FillText("{1} 件", {WithSeparators(done)})}};
    case WaitCount::IndexRows:
        return {{3, FillText("{1} / {2}  件", {std::to_string(done), std::to_string(total.value_or(0))})}};
    case WaitCount::RedecodedMails:
        return {{3, FillText("{1} / {2}  のメールを読み直しています。", {WithSeparators(done), all})}};
    case WaitCount::FilterData:
        return {
            {0, FillText("{1} / {2}  のフィルターデータを", {std::to_string(done), std::to_string(total.value_or(0))})},
            {1, "     処理中です。"}};
    }
    return {};
}

std::pair<int, std::string> WaitNoteLine(WaitNote note, const std::string& detail) {
    switch (note) {
    case WaitNote::Mailbox:
        return {4, detail};
    case WaitNote::ServerFolder:
        return {4, FillText("メールサーバーのフォルダ {1}", {detail})};
    case WaitNote::Table:
        return {3, detail};
    case WaitNote::TidyingIndex:
        return {3, "索引を整理しています。"};
    case WaitNote::RedecodingOriginals:
        return {4, "保存したメールを元のメールから読み直しています。"};
    }
    return {3, ""};
}

std::vector<int> WaitCountAndNoteIndexes() {
    return {3, 4};
}

std::string WaitLinesForTerminal(const WaitLines& lines) {
    std::string text;
    for (int i : {0, 1, 4}) {
        const std::string_view line = TrimAsciiAndIdeographicSpace(lines[static_cast<size_t>(i)]);
        if (!line.empty() && line.find("少々お待ちください") == std::string_view::npos)
            text += (text.empty() || i < 2 ? "" : " ") + std::string(line);
    }
    return text;
}

} // namespace kamo
