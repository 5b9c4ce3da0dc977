#include "common/MessagesSearch.h"

namespace kamo {

const char* TextOf(SearchWordsText code) {
    switch (code) {
    case SearchWordsText::UnknownPrefix:
        return "「{1}」は分からない指定です。使えるのは from: to: subject: body: date: has: is: in: です。"
               "言葉として探すときは \"{1}\" のように引用符で囲んで下さい。";
    case SearchWordsText::EmptyValue:
        return "「{1}」の後に探すものがありません。";
    case SearchWordsText::BadDate:
        return "「{1}」の日付が正しくありません。date:2002、date:2002-04、date:2002-04-01、"
               "date:2002-03..2002-05 のように書いて下さい。";
    case SearchWordsText::ReversedRange:
        return "「{1}」の日付の範囲は始まりが終わりより後になっています。";
    case SearchWordsText::UnknownHas:
        return "「{1}」は分からない指定です。has:attachment（添付あり）か has:picture（写真・絵あり）を使って下さい。";
    case SearchWordsText::UnknownIs:
        return "「{1}」は分からない指定です。is:sent（送信）か is:received（受信）を使って下さい。";
    case SearchWordsText::OpenQuote:
        return "「{1}」の引用符が閉じていません。";
    case SearchWordsText::BadTerm:
        return "「{1}」は正しくありません。";
    case SearchWordsText::SyntaxHelp:
        return "言葉          件名・名前・アドレス・本文のどこかにある\n"
               "\"言葉 言葉\"   空白を含めてそのまま続けて探す\n"
               "from:言葉     差出人の名前かアドレス\n"
               "to:言葉       受取人（Cc を含む）の名前かアドレス\n"
               "subject:言葉  件名\n"
               "body:言葉     本文\n"
               "date:2002  date:2002-04  date:2002-04-01\n"
               "date:2002-03..2002-05  date:..2002-05  date:2002-03..   日付と範囲\n"
               "has:attachment  has:picture   添付ファイル、写真・絵のあるメール\n"
               "is:sent  is:received          送信したメール、受信したメール\n"
               "in:受信フォルダ               PostPet のメールボックス\n"
               "-指定         その指定に当たらないメール（例: -is:sent）\n"
               "空白で区切った指定にすべて当たるメールを探します。大文字と小文字、全角と半角は区別しません。";
    case SearchWordsText::NoSearchWords:
        return "検索する言葉を指定して下さい。";
    case SearchWordsText::SearchFailed:
        return "検索中にエラーが発生しました。{1}";
    case SearchWordsText::Redecoded:
        return "元のメールから読み直しました（メール {1} 通、うちキーが変わったもの {2} 通、読み直せなかったもの {3} "
               "通）。";
    case SearchWordsText::RedecodedNotFiltered:
        return "メールは読み直しましたが、フィルターの実行に失敗しました。";
    case SearchWordsText::RedecodeFailed:
        return "メールを読み直せませんでした。{1}";
    case SearchWordsText::IndexDropped:
        return "検索用の索引を削除しました。次の検索か読み込みのときに作り直します。";
    case SearchWordsText::IndexUpToDate:
        return "検索用の索引は最新です（メール {1} 通、うち今回 {2} 通を索引に入れました）。";
    case SearchWordsText::IndexFailed:
        return "索引を作れませんでした。{1}";
    }
    return "";
}

} // namespace kamo
