#include "common/MessagesFriends.h"

namespace kamo {

const char* TextOf(FriendText code) {
    switch (code) {
    case FriendText::Title:
        return "おともだち";
    case FriendText::ReadFailed:
        return "おともだちファイルを読み込めませんでした。\n{1}";
    case FriendText::Read:
        return "おともだちファイルを読み込みました。\n追加 {1} 件 / 更新 {2} 件 / 変更なし {3} 件";
    case FriendText::DamagedRecords:
        return "壊れたレコード {1} 件は読み込みませんでした。";
    case FriendText::DamagedRecord:
        return "\n　{1} 件目（バイト位置 {2}、{3} バイト）";
    case FriendText::DamagedMore:
        return "\n　ほか {1} 件";
    case FriendText::OfferFriendFile:
        return "PostPet のおともだちファイルが見つかりました。おともだち帳に読み込みますか？\n{1}";
    case FriendText::CardsFailed:
        return "おともだち帳を書き出せませんでした。\n{1}";
    case FriendText::CardsWritten:
        return "おともだち {1} 人を vCard に書き出しました。\n{2}";
    case FriendText::RenameFailed:
        return "メールの名前を変えられませんでした。\n{1}";
    case FriendText::RenamedUnfiltered:
        return "名前は変えましたが、フィルターの実行に失敗しました。";
    case FriendText::RenamedToOwner:
        return "{1} 件のメールの名前を飼い主の名前にしました。";
    case FriendText::RenamedToPet:
        return "{1} 件のメールの名前をペットの名前にしました。";
    case FriendText::RenamedBack:
        return "{1} 件のメールの名前をメールのもとの名前に戻しました。";
    case FriendText::PetKind:
        return "種類 {1}";
    }
    return "";
}

} // namespace kamo
