#include "common/Messages.h"

namespace kamo {

namespace {

// A CSV file refused at a line: its name and the line lead, the file was left unread.
#define KAMO_CSV_LINE(what) "{1} の {2} 行目: " what "\n何も取り込んでいません。"

} // namespace

const char* MessageTemplate(FailureCode code) {
    switch (code) {
    case FailureCode::BackupFolderNotMade:
        return "バックアップのフォルダを作れません（{1}）。\n{2}";
    case FailureCode::BackupFileNotMade:
        return "バックアップのファイルを作れません。\n{1}";
    case FailureCode::BackupNotSynced:
        return "バックアップを確かめられませんでした（同期できません）。\n{1}";
    case FailureCode::BackupNotVerified:
        return "バックアップを確かめられませんでした（{1}）。\n{2}";
    case FailureCode::BackupNotSaved:
        return "バックアップを保存できません（{1}）。\n{2}";
    case FailureCode::BackupNotFound:
        return "バックアップが見つかりません。\n{1}";

    case FailureCode::RecreationBackupFailed:
        return "バックアップの作成に失敗しました。";
    case FailureCode::RecreationBuildFailed:
        return "新しいデータベースの作成に失敗しました。";
    case FailureCode::RecreationCopyFailed:
        return "データのコピーに失敗しました。";
    case FailureCode::RecreationRefreshFailed:
        return "フィルターと一覧の更新に失敗しました。";
    case FailureCode::RecreationVerifyFailed:
        return "新しいデータベースの検査に失敗しました。";
    case FailureCode::RecreationReplaceFailed:
        return "データベースの置き換えに失敗しました。";
    case FailureCode::NewArchiveNotMade:
        return "新しいデータベースを作成できません。\n{1}";
    case FailureCode::NewArchiveRowsDiffer:
        return "新しいデータベースの行数が合いません（{1}）。";
    case FailureCode::NewArchiveNotComplete:
        return "新しいデータベースが検査に通りません（{1}）。";
    case FailureCode::NewArchiveNotWritten:
        return "新しいデータベースを書き込めません。";
    case FailureCode::ArchiveNotReplaced:
        return "データベースを置き換えられません。";

    case FailureCode::CsvFolderNotMade:
        return "書き出し先のフォルダを作れません（{1}）。\n{2}";
    case FailureCode::CsvTargetIsArchive:
        return "書き出し先はアーカイブかそのコピー（.Bak、.New、バックアップ）です。上書きしません。\n{1}";
    case FailureCode::CsvNotWritten:
        return "書き出せません（シンボリックリンクには書き出しません）。\n{1}";
    case FailureCode::CsvImportFolderMissing:
        return "取り込むフォルダが見つかりません。\n{1}";
    case FailureCode::CsvNothingToImport:
        return "このフォルダには取り込めるファイル（tblKamoMail.csv など）がありません。\n{1}";
    case FailureCode::CsvNotRegular:
        return "{1} は通常のファイルではありません。\n何も取り込んでいません。";
    case FailureCode::CsvNotOpened:
        return "{1} を開けません。\n何も取り込んでいません。";
    case FailureCode::CsvValueTooLong:
        return KAMO_CSV_LINE("{3}（{4} 列目）の値がアーカイブに保存できる大きさ（{5} バイト）を超えています");
    case FailureCode::CsvValueTooLongAt:
        return KAMO_CSV_LINE("{3} 列目の値がアーカイブに保存できる大きさ（{4} バイト）を超えています");
    case FailureCode::CsvNoHeader:
        return KAMO_CSV_LINE("見出しの行がありません");
    case FailureCode::CsvUnreadable:
        return KAMO_CSV_LINE("{3}");
    case FailureCode::CsvHeaderMismatch:
        return KAMO_CSV_LINE("見出しの行が {3} の列と合いません");
    case FailureCode::CsvColumnCount:
        return KAMO_CSV_LINE("列の数が {3} です（{4} のはず）");
    case FailureCode::CsvNotNumber:
        return KAMO_CSV_LINE("{3} が数ではありません: {4}");
    case FailureCode::CsvNotHex:
        return KAMO_CSV_LINE("{3} が16進の文字列ではありません");
    case FailureCode::CsvEmptyKey:
        return KAMO_CSV_LINE("{3} が空です（キーの列）");
    case FailureCode::CsvNotUtf8:
        return KAMO_CSV_LINE("{3} に UTF-8 ではないバイトか NUL があります");
    case FailureCode::CsvNotDate:
        return KAMO_CSV_LINE("{3} が日付（yyyy/mm/dd）ではありません: {4}");
    case FailureCode::CsvNotTime:
        return KAMO_CSV_LINE("{3} が時刻（hh:mm:ss）ではありません: {4}");
    case FailureCode::CsvNotFlag:
        return KAMO_CSV_LINE("{3} は 0 か 1 のはずです: {4}");
    case FailureCode::CsvNegative:
        return KAMO_CSV_LINE("{3} が負の数です: {4}");
    case FailureCode::CsvKeyTwice:
        return KAMO_CSV_LINE("同じキーの行がこのファイルに二度あります");
    case FailureCode::CsvKeyConflict:
        return KAMO_CSV_LINE(
            "同じキーでちがう中身の行がアーカイブに保存されています（別の行を上書きも無視もしません）");
    case FailureCode::CsvMailMissing:
        return KAMO_CSV_LINE("この行のメールがアーカイブにも取り込むファイルにもありません");
    case FailureCode::CsvRowNotStored:
        return KAMO_CSV_LINE("この行を保存できません（{3}）");

    case FailureCode::FriendAddressEmpty:
        return "アドレスが空の行があります。";
    case FailureCode::FriendAddressTwice:
        return "アドレス {1} が二度あります。";
    case FailureCode::FriendFileMissing:
        return "おともだちファイルが見つかりません。\n{1}";
    case FailureCode::NotAFriendFile:
        return "おともだちファイルではありません";
    case FailureCode::FriendFileUnreadable:
        return "おともだちファイルを読めません。\n{1}";
    case FailureCode::FriendWorkFileNotWritten:
        return "おともだちファイルを読めません（作業ファイルを書けません）。\n{1}";
    case FailureCode::FriendConversionError:
        return "おともだちファイルを読めません（エラー {1}）。\n{2}";
    case FailureCode::FriendConversionUnreadable:
        return "おともだちファイルを読めません（変換結果を読めません）。\n{1}";
    case FailureCode::FriendConversionMismatch:
        return "おともだちファイルを読めません（変換結果が合いません）。\n{1}";

    case FailureCode::AttachmentTooLarge:
        return "添付ファイルが大きすぎてアーカイブに保存できません（{1} バイト）。";
    case FailureCode::WatchNotStarted:
        return "{1}: {2}";
    case FailureCode::FiltersNotLoaded:
        return "フィルターを読み込めませんでした。";
    case FailureCode::FilterRunFailed:
        return "フィルターの実行に失敗しました。";
    }
    return "";
}

#undef KAMO_CSV_LINE

std::string MessageOf(const Failure& failure) {
    const std::string_view text = MessageTemplate(failure.Code());
    const auto& details = failure.Details();
    std::string out;
    // One pass: a detail that itself holds "{1}" is put in as it is.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{' && i + 2 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' && text[i + 2] == '}') {
            const size_t n = static_cast<size_t>(text[i + 1] - '1');
            if (n < details.size())
                out += details[n];
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string ErrorText(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const Failure*>(&error))
        return MessageOf(*failure);
    return error.what();
}

} // namespace kamo
