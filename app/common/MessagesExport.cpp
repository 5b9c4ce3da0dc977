#include "common/MessagesExport.h"

namespace kamo {

const char* TextOf(ExportText code) {
    switch (code) {
    case ExportText::FormatMbox:
        return "mbox（1つのファイル）";
    case ExportText::FormatMaildir:
        return "Maildir（フォルダ）";
    case ExportText::FormatEml:
        return "eml（1通ずつのファイル）";
    case ExportText::FormatHtml:
        return "HTML（ブラウザで読めるフォルダ）";
    case ExportText::FormatImap:
        return "メールサーバー (IMAP)";
    case ExportText::SeenAll:
        return "すべてのメールを既読にする";
    case ExportText::SeenSentOnly:
        return "送信メールだけ既読にする（受信メールは未読）";
    case ExportText::StopHtmlQuestion:
        return "書き出しを中止しますか？\n中止すると、ここまでに書き出したページは目次のないままフォルダに残ります。";
    case ExportText::StopMboxQuestion:
        return "書き出しを中止しますか？\n中止すると mbox ファイルは作らず、ここまでに書き出した分も残りません。";
    case ExportText::SelectionAll:
        return "すべてのメール";
    case ExportText::SelectionAddress:
        return "アドレス {1}";
    case ExportText::SelectionName:
        return "名前 {1}";
    case ExportText::SelectionDate:
        return "日付 {1}";
    case ExportText::SelectionFilter:
        return "フィルター {1}";
    case ExportText::SelectionSearch:
        return "検索結果 {1}";
    case ExportText::SelectionMail:
        return "表示中のメール {1}";
    case ExportText::NoSubject:
        return "（件名なし）";
    case ExportText::NoTarget:
        return "書き出し先を指定して下さい。";
    case ExportText::BadSeen:
        return "--seen には all か sent を指定して下さい: {1}";
    case ExportText::NoPdfWriter:
        return "この kamomail は PDF を書き出せません。";
    case ExportText::NoSuchFilter:
        return "そのフィルターはありません: {1}";
    case ExportText::NotWritten:
        return "書き出せませんでした。{1}";
    case ExportText::FormatNotWritten:
        return "この kamomail は {1} を書き出せません。";
    case ExportText::Written:
        return "{1} 通のメールを {2} で書き出しました（{3}）: {4}";
    case ExportText::WrittenWithoutOriginal:
        return "うち {1} 通は元のメールが保存されていないため、通常の形式で書き出しました。";
    case ExportText::PasswordPrompt:
        return "IMAP サーバー {2} のユーザー {1} のパスワード: ";
    case ExportText::Uploaded:
        return "メールサーバー {1} にメールを送りました（{2}）";
    case ExportText::UploadedFolder:
        return "{1}: 送信 {2} 通、すでにあり {3} 通、失敗 {4} 通";
    case ExportText::UploadRefusedMail:
        return "送れなかったメール: {1} {2}\n{3}";
    case ExportText::UploadStopped:
        return "中止しました。ここまでに {1} 通を送りました（送ったメールはサーバーに残ります）。";
    case ExportText::UploadEnded:
        return "ここまでに {1} 通を送ったところで止まりました。もう一度実行すると、残りのメールだけを送ります。";
    }
    return "";
}

} // namespace kamo
