#include "common/MessagesArchive.h"

namespace kamo {

const char* TextOf(ArchiveText code) {
    switch (code) {
    case ArchiveText::SettingsFolderUnwritable:
        return "設定フォルダに書き込めません（{1}）。\n{2}";
    case ArchiveText::AlreadyRunning:
        return "KamoMailはすでに実行されています。";
    case ArchiveText::AlreadyRunningStarting:
        return "KamoMailはすでに実行されています。\nいま起動の途中です（{1}）。終わるまでお待ち下さい。";
    case ArchiveText::CheckingArchive:
        return "アーカイブを確かめています…";
    case ArchiveText::InspectingArchive:
        return "アーカイブを検査しています…";
    case ArchiveText::UpgradingArchive:
        return "アーカイブを新しい版に合わせています…";
    case ArchiveText::CreatingArchive:
        return "アーカイブを作成しています…";
    case ArchiveText::Compacting:
        return "最適化しています…";
    case ArchiveText::OpeningArchive:
        return "アーカイブを開いています…";
    case ArchiveText::PreparingList:
        return "メールの一覧を用意しています…";
    case ArchiveText::ArchiveInUse:
        return "{1}\nアーカイブは他のプログラムが使用中です。\nそのプログラムが終わってから、もう一度起動して下さい。"
               "アーカイブはそのままです。";
    case ArchiveText::ArchiveInUseBy:
        return "{1}\nアーカイブは他のプログラムが使用中です（{2}"
               "）。\nそのプログラムが終わってから、もう一度起動して下さ"
               "い。アーカイブはそのままです。";
    case ArchiveText::LockHolder:
        return "{1} (PID {2})";
    case ArchiveText::UnknownProcess:
        return "プロセス";
    case ArchiveText::ArchiveBroken:
        return "{1}\nアーカイブが壊れています（{2}）。";
    case ArchiveText::NoSoundCopy:
        return "{1}\n元に戻せる健全なコピー（.New / .Bak）がありません。ファイルはそのまま残してあります。";
    case ArchiveText::RestoreQuestion:
        return "{1}\n{2} から元に戻しますか？\n壊れたファイルは {3} として残します。";
    case ArchiveText::RestoreDeclined:
        return "{1}\n何も変更していません。元に戻すには、KamoMail を終了してから\n{2}\nを\n{3}\nにコピーして下さい。";
    case ArchiveText::RestoreFailed:
        return "{1}\n元に戻せませんでした。{2}";
    case ArchiveText::ReplaceArchiveQuestion:
        return "Fileは既に存在します。削除しますか？";
    case ArchiveText::ReplaceArchiveTitle:
        return "Table Create";
    case ArchiveText::FileError:
        return "{1}　{2}";
    case ArchiveText::SettingsWriteError:
        return "{1}　書き込みエラー";
    case ArchiveText::SettingsPostPetDirError:
        return "{1}　読み込みエラー　PostPet Path";

    case ArchiveText::ErrorOccurred:
        return "エラーが発生しました。\n{1}";
    case ArchiveText::TerminalError:
        return "kamomail {1}: エラーが発生しました。{2}";
    case ArchiveText::UnknownCommand:
        return "kamomail: 不明なコマンドです: {1} (使えるコマンド: {2})";
    case ArchiveText::NoDisplay:
        return "kamomail: ウィンドウを開くにはディスプレイ (DISPLAY または WAYLAND_DISPLAY) が必要です。"
               "ディスプレイなしで使えるコマンド: {1}";

    case ArchiveText::TrashEmptied:
        return "ゴミ箱を空にしました（{1} 通）。";
    case ArchiveText::TrashRestored:
        return "元に戻しました（{1} 通）。";

    case ArchiveText::BackupFailed:
        return "バックアップを作成できませんでした。\n{1}";
    case ArchiveText::BackupTitle:
        return "バックアップ";
    case ArchiveText::RecreateQuestion:
        return "データベースを再作成します。先に今日のバックアップを作成します。\n     よろしいでしょうか？";
    case ArchiveText::RecreateTitle:
        return "データベースの再作成";
    case ArchiveText::RecreateFailed:
        return "データベースを再作成できませんでした。元のデータベースはそのままです。\n{1}";
    case ArchiveText::Recreated:
        return "データベースを再作成しました。";
    case ArchiveText::TablesExportFailed:
        return "書き出せませんでした。\n{1}";
    case ArchiveText::TablesExportTitle:
        return "エクスポート";
    case ArchiveText::TablesExported:
        return "書き出しました。\n{1}\nKamoMail のデータすべてを、表ごとの CSV "
               "ファイルにしました（「インポート」で取り込"
               "めます。メールソフトで読む形式は「メールを書き出す」です）。\n";
    case ArchiveText::TableExported:
        return "{1} → {2}.csv: {3} 行\n";
    case ArchiveText::TablesImportFailed:
        return "取り込めませんでした。\n{1}";
    case ArchiveText::TablesImportTitle:
        return "インポート";
    case ArchiveText::TablesImported:
        return "取り込みました。\n{1}\n";
    case ArchiveText::TableImported:
        return "{1}: 追加 {2} 行 / 保存済み {3} 行\n";
    case ArchiveText::TableRebuilt:
        return "{1}: 取り込まず作り直しました（メールから作るデータです）\n";
    case ArchiveText::TablesImportedUnfiltered:
        return "取り込みましたが、フィルターの実行に失敗しました。";
    case ArchiveText::TableCaption:
        return "{1}　{2}";
    case ArchiveText::TableMail:
        return "メール";
    case ArchiveText::TableAddresses:
        return "アドレスの一覧";
    case ArchiveText::TableNames:
        return "名前の一覧";
    case ArchiveText::TableFriends:
        return "おともだち帳";
    case ArchiveText::TableFilters:
        return "フィルター";
    case ArchiveText::TableFilterResults:
        return "フィルターの振り分け結果";
    case ArchiveText::TableAttachments:
        return "添付ファイル";
    case ArchiveText::TableOriginalNames:
        return "メールのもとの名前";

    case ArchiveText::PictureNote:
        return "画像を表示できません（壊れているか大きすぎます）";
    case ArchiveText::PictureCutNote:
        return "画像の一部が欠けています";
    }
    return "";
}

} // namespace kamo
