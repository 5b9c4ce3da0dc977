#include "common/MessagesRead.h"

namespace kamo {

const char* TextOf(ReadText code) {
    switch (code) {
    case ReadText::Inbox:
        return "受信フォルダ";
    case ReadText::Outbox:
        return "送信フォルダ";
    case ReadText::DrawerPink:
        return "ピンクの引出し";
    case ReadText::DrawerYellow:
        return "黄色の引出し";
    case ReadText::DrawerPurple:
        return "紫の引出し";
    case ReadText::DrawerGreen:
        return "緑色の引出し";
    case ReadText::DrawerBlack:
        return "黒の引出し";
    case ReadText::DrawerLightBlue:
        return "水色の引出し";
    case ReadText::DrawerRed:
        return "赤の引出し";
    case ReadText::DrawerBrown:
        return "茶色の引出し";
    case ReadText::DrawerOrange:
        return "橙色の引出し";
    case ReadText::Totals:
        return "合計";
    case ReadText::ListJoin:
        return "{1}、{2}";
    case ReadText::InParentheses:
        return "（{1}）";
    case ReadText::HeadlineStopped:
        return "PostPetのメールの読み込みを中止しました。";
    case ReadText::HeadlineProblems:
        return "PostPetのメールを読み込みましたが、読み込めなかったメールボックスか壊れたメールがあります。";
    case ReadText::HeadlineRead:
        return "PostPetのメールを読み込みました。";
    case ReadText::ColumnMailbox:
        return "メールボックス";
    case ReadText::ColumnRead:
        return "読込";
    case ReadText::ColumnStored:
        return "保存";
    case ReadText::ColumnAlreadyStored:
        return "保存済み";
    case ReadText::ColumnFiltered:
        return "フィルター除外";
    case ReadText::ColumnDamaged:
        return "破損";
    case ReadText::ColumnNote:
        return "備考";
    case ReadText::NoteErrorCode:
        return "エラー {1}";
    case ReadText::NoteDamagedAt:
        return "破損位置 {1}";
    case ReadText::NoteDamagedAtMore:
        return "破損位置 {1} ほか";
    case ReadText::NotePositionJoin:
        return "{1} {2}";
    case ReadText::NoteCut:
        return "本文を切って保存 {1}";
    case ReadText::NoteTrashed:
        return "削除済み {1}";
    case ReadText::NoteUndecoded:
        return "読み解けず元のまま保存 {1}";
    case ReadText::NoteStoppedInside:
        return "{1} の {2} 通目で中止";
    case ReadText::NoteStoppedAfter:
        return "{1} のあとで中止";
    case ReadText::LineCounts:
        return "{1}: 読込 {2} / 保存 {3} / 保存済み {4} / フィルター除外 {5} / 破損 {6}";
    case ReadText::LineCut:
        return " / 本文を切って保存 {1}";
    case ReadText::LineUpdated:
        return " / 読み直して更新 {1}";
    case ReadText::LineTrashed:
        return " / 削除済み {1}";
    case ReadText::LineUndecoded:
        return " / 読み解けず元のまま保存 {1}";
    case ReadText::LineDamagedAt:
        return "（リストファイルの位置 {1}）";
    case ReadText::LineDamagedAtMore:
        return "（リストファイルの位置 {1} ほか {2} か所）";
    case ReadText::LinePositionJoin:
        return "{1}, {2}";
    case ReadText::LineErrorCode:
        return "（エラー {1}）";
    case ReadText::LineStoppedInside:
        return "（{1} の {2} / {3} 通目まで読んだところで中止しました。そこまでのメールは保存しました。残りはもう一度"
               "「PostPet Mail Read」を押すと続きから保存します）";
    case ReadText::LineStoppedAfter:
        return "（{1} を読み終えたところで中止しました。残りのメールボックスは読んでいません）";
    case ReadText::ReadBrokenOff:
        return "メールの読み込み中にエラーが発生しました。\n{1}";
    case ReadText::ReadBrokenOffLine:
        return "メールの読み込み中にエラーが発生しました。{1}";
    case ReadText::WatchNoSignals:
        return "終了の合図を受け取る準備ができませんでした。";
    case ReadText::WatchNothingChosen:
        return "読み込むメールボックスが選ばれていません。オプションの「読み込むメールボックス」で選ぶか、--all "
               "を付けて下さい。";
    case ReadText::WatchStarted:
        return "見張りを始めました: {1}（メールボックス {2} 個）";
    case ReadText::WatchFolderMissing:
        return "PostPetのフォルダが見つかりません。現れるのを待ちます。";
    case ReadText::WatchFolderBack:
        return "PostPetのフォルダが戻りました。";
    case ReadText::WatchCannotWait:
        return "変更を待てなくなりました。";
    case ReadText::WatchReadCounts:
        return "{1}: 読み込み {2} 通、保存 {3} 通、保存済み {4} 通";
    case ReadText::WatchTrashed:
        return "、削除済み {1} 通";
    case ReadText::WatchFiltered:
        return "、除外 {1} 通";
    case ReadText::WatchDamaged:
        return "、壊れたメール {1} 通";
    case ReadText::WatchBoxProblem:
        return "（{1}: {2}）";
    case ReadText::WatchRefreshFailed:
        return "（フィルターの実行に失敗しました）";
    case ReadText::WatchNotRead:
        return "{1}: 読み込めませんでした。{2}。";
    case ReadText::WatchReadError:
        return "読み込み中にエラーが発生しました: {1}。{2}。";
    case ReadText::WatchEnded:
        return "見張りを終えました。";
    case ReadText::RetryIn:
        return "{1} 秒後にもう一度読みます";
    case ReadText::StillBeingWritten:
        return "{1} はまだ書き込み中のようです。{2}";
    case ReadText::StartStopped:
        return "{1}中止します。";
    case ReadText::AnsweredNo:
        return "{1}\n（いいえ として続けます）";
    }
    return "";
}

} // namespace kamo
