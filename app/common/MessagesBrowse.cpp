#include "common/MessagesBrowse.h"

namespace kamo {

const char* TextOf(BrowseText code) {
    switch (code) {
    case BrowseText::AddressLabel:
        return "アドレス　表示";
    case BrowseText::AddressDelete:
        return "アドレス　削除";
    case BrowseText::AddressDeleteTip:
        return "選択されているアドレスを削除します";
    case BrowseText::NameLabel:
        return "送受信者名　表示";
    case BrowseText::NameDelete:
        return "名前　削除";
    case BrowseText::NameDeleteTip:
        return "選択されている名前のメールを削除します";
    case BrowseText::DateLabel:
        return "日付　表示";
    case BrowseText::DateDelete:
        return "日付　削除";
    case BrowseText::DateDeleteTip:
        return "選択されている日付のメールを削除します";
    case BrowseText::FilterLabel:
        return "フィルター　表示";
    case BrowseText::FilterDelete:
        return "フィルター　削除";
    case BrowseText::FilterDeleteTip:
        return "選択されている抽出条件のメールを削除します";
    case BrowseText::RecCount:
        return "表示件数　：　{1} 件";
    case BrowseText::SentLine:
        return "　送　受取人：{1}";
    case BrowseText::ReceivedLine:
        return "受　　差出人：{1}";
    case BrowseText::ReplySubject:
        return "　└ {1}";
    case BrowseText::NoName:
        return "（名前なし）";
    case BrowseText::FilterCountLine:
        return "{1}: {2} 件\n";
    case BrowseText::ReadTimeFilterLine:
        return "{1}　（１）メールを読み込まない";
    case BrowseText::AttachmentLabel:
        return "{1}（{2} バイト）";
    case BrowseText::UnnamedAttachment:
        return "添付ファイル{1}{2}";
    case BrowseText::MonthOfYear:
        return "{1}年{2}月";
    case BrowseText::MonthTip:
        return "{1} 受信 {2} 通 / 送信 {3} 通";
    case BrowseText::DeleteMailAsk:
        return "{1} {2} のメール「{3}」を削除します。";
    case BrowseText::DeleteAddressAsk:
        return "アドレス「{1}」の送受信メール {2} 件を削除します。";
    case BrowseText::DeleteNameAsk:
        return "名前「{1}」の送受信メール {2} 件を削除します。";
    case BrowseText::DeleteDateAsk:
        return "{1} のメール {2} 件を削除します。";
    case BrowseText::DeleteFilterAsk:
        return "フィルター「{1}」のメール {2} 件を削除します。";
    case BrowseText::AskMovingToTrash:
        return "{1}\n     メールはゴミ箱に移り、あとで元に戻せます。\n     よろしいでしょうか？";
    case BrowseText::DeletionTitle:
        return "メールの削除";
    case BrowseText::NothingToDelete:
        return "削除するメールがありません。";
    case BrowseText::DeletionFailed:
        return "メールを削除できませんでした。何も削除していません。\n{1}";
    case BrowseText::DeletedNotFiltered:
        return "メールは削除しましたが、フィルターの実行に失敗しました。";
    case BrowseText::RestoreFailed:
        return "メールを元に戻せませんでした。\n{1}";
    case BrowseText::NothingToRestore:
        return "元に戻す削除がありません。";
    case BrowseText::RestoredNotFiltered:
        return "メールは元に戻しましたが、フィルターの実行に失敗しました。";
    case BrowseText::EmptyTrashAsk:
        return "ゴミ箱のメール {1} 件を完全に削除します。元に戻すことはできません。\n"
               "PostPet のフォルダにこれらのメールが残っていると、次の読み込みで再び保存されます。\n"
               "     よろしいでしょうか？";
    case BrowseText::EmptyTrashTitle:
        return "ゴミ箱を空にする";
    case BrowseText::TrashIsEmpty:
        return "ゴミ箱は空です。";
    case BrowseText::EmptyTrashFailed:
        return "ゴミ箱を空にできませんでした。\n{1}";
    case BrowseText::FilterNoHeader:
        return "表示タイトルを入力して下さい。";
    case BrowseText::FilterNoRule:
        return "ルールを１っ選んでください。";
    case BrowseText::FilterNoAction:
        return "アクションを１っ選んでください。";
    case BrowseText::FilterNoTerms:
        return "フィルター条件を入力して下さい。";
    case BrowseText::FilterSpecialChars:
        return "特殊文字 ' と | は使用できません。";
    case BrowseText::FilterTableFull:
        return "フィルターは２５６件までしか登録できません。";
    case BrowseText::FilterTableFullDeleted:
        return "削除した行は「Ｏ　Ｋ」で保存すると空きます。";
    case BrowseText::ListUnknownBy:
        return "--by は address, name, date, filter のどれかです: {1}";
    case BrowseText::ListByWithKey:
        return "--by とキーは一緒に使えません。";
    case BrowseText::ListFormatNeedsKey:
        return "--format と --body と --threads はメールの一覧に使います。";
    case BrowseText::ListNoSuchFilter:
        return "そのフィルターはありません: {1}";
    case BrowseText::ListFailed:
        return "一覧の作成中にエラーが発生しました。{1}";
    }
    return "";
}

} // namespace kamo
