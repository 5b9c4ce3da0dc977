#include "common/Messages.h"

#include <sqlite3.h>

#include <SQLiteCpp/Exception.h>

namespace kamo {

namespace {

// A file the export could not make or write: the path, then the system's words.
#define KAMO_FILE_ERROR(what) what "\n{1}\n({2})"

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
        return "バックアップを確かめられませんでした（{c}）。\n{1}";
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
        return "新しいデータベースが検査に通りません（{c}）。";
    case FailureCode::NewArchiveNotWritten:
        return "新しいデータベースを書き込めません。";
    case FailureCode::ArchiveNotReplaced:
        return "データベースを置き換えられません。";

    case FailureCode::CsvFolderNotMade:
        return "書き出し先のフォルダを作れません（{1}）。\n{2}";
    case FailureCode::TargetIsArchive:
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
    case FailureCode::CsvQuoteNotClosed:
        return KAMO_CSV_LINE("引用符 \" が閉じていません");
    case FailureCode::CsvTextAfterQuote:
        return KAMO_CSV_LINE("引用符で囲んだ値の後に余分な文字があります");
    case FailureCode::CsvStrayQuote:
        return KAMO_CSV_LINE("引用符で囲んでいない値に引用符 \" があります");
    case FailureCode::CsvNotCrLf:
        return KAMO_CSV_LINE("改行が CR LF ではありません");
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
    case FailureCode::CsvNotOriginal:
        return KAMO_CSV_LINE("{3} が元のメールとして読めません（壊れているか、大きすぎます）");
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

    case FailureCode::ArchiveFileMissing:
        return "ファイルがありません";
    case FailureCode::ArchiveFileEmpty:
        return "空のファイルです";
    case FailureCode::ArchiveIntegrityFailed:
        return "データベースの検査 (integrity_check) に通りません";
    case FailureCode::ArchiveQuickCheckFailed:
        return "データベースの検査 (quick_check) に通りません";
    case FailureCode::ArchiveSizeMismatch:
        return "ファイルの大きさがデータベースのページ数と合いません";
    case FailureCode::ArchiveTableMissing:
        return "テーブル {1} がありません";
    case FailureCode::ArchiveNotOpenable:
        return "データベースとして開けません（{1}）";
    case FailureCode::ArchiveBusy:
        return "アーカイブは他のプログラムが使用中のため、変更できませんでした。\n"
               "そのプログラムが終わってから、もう一度やり直して下さい。";

    case FailureCode::LibraryNotLoaded:
        return "変換ライブラリを読み込めません。\n{1}\n{2}";
    case FailureCode::LibraryFunctionMissing:
        return "変換ライブラリに関数 {1} がありません。\n{2}";

    case FailureCode::PostPetFolderMissing:
        return "PostPetのフォルダが見つかりません。\n{1}\nオプションでPostPetのフォルダを設定して下さい。";
    case FailureCode::PostPetFolderEmpty:
        return "PostPetのフォルダにメールボックスがひとつもありません。\n{1}"
               "\nオプションでPostPetのフォルダを確かめて下さい。";
    case FailureCode::NoMailboxChosen:
        return "読み込むメールボックスが選ばれていません。\nオプションの「読み込むメールボックス」で選んで下さい。";
    case FailureCode::ListFileMissing:
        return "{1} のリストファイルがありません。メールファイルのメールは読み込めません。\n{2}";
    case FailureCode::ListFileIsFolder:
        return "{1} のリストファイルを読めません（フォルダです）。\n{2}";
    case FailureCode::ListFileNotRegular:
        return "{1} のリストファイルを読めません（通常のファイルではありません）。\n{2}";
    case FailureCode::ListFileUnreadable:
        return "{1} のリストファイルを読めません（{2}）。\n{3}";
    case FailureCode::MailTmpNotMade:
        return "{1} の一時ファイル KamoMail.Tmp を作成できません。";
    case FailureCode::MailFileNotOpened:
        return "{1} のメールファイルを開けません。";
    case FailureCode::MailboxShortOfMemory:
        return "{1} の読み込み中にメモリが不足しました。読み込めたメールだけを保存します。";
    case FailureCode::MailTmpUnreadable:
        return "{1} の一時ファイル KamoMail.Tmp を読めません。\n{2}";
    case FailureCode::MailTmpCut:
        return "{1} の一時ファイル KamoMail.Tmp が途中で切れています。";
    case FailureCode::MailboxOutOfMemory:
        return "{1} を読み込むメモリが足りません。このメールボックスのメールは保存していません。"
               "ほかのメールボックスは読み込みます。";
    case FailureCode::ReadRefreshFailed:
        return "メールは保存しましたが、フィルターの実行に失敗しました。";
    case FailureCode::ReadBrokenOff:
        return "{1}";

    case FailureCode::TargetIsFolder:
        return KAMO_FILE_ERROR("書き出し先がフォルダです。ファイルを指定して下さい。");
    case FailureCode::TargetIsLink:
        return KAMO_FILE_ERROR("書き出し先がシンボリックリンクです。書き出しません。");
    case FailureCode::MboxTargetIsFolder:
        return KAMO_FILE_ERROR("mbox の書き出し先がフォルダです。ファイルを指定して下さい。");
    case FailureCode::PdfTargetIsFolder:
        return KAMO_FILE_ERROR("PDF の書き出し先がフォルダです。ファイルを指定して下さい。");
    case FailureCode::PicturesNotDrawn:
        return "うち {1} 枚の画像は壊れているか読めないため、載せていません（添付ファイルの名前だけがあります）。";
    case FailureCode::OriginalsUnreadable:
        return "うち {1} 通は保存した元のメールが壊れていて読めないため、保存した内容から書き出しました。";
    case FailureCode::MboxNotMade:
        return KAMO_FILE_ERROR("mbox ファイルを作成できません。");
    case FailureCode::MboxNotWritten:
        return KAMO_FILE_ERROR("mbox ファイルを書き込めません。");
    case FailureCode::MailFileNotMade:
        return KAMO_FILE_ERROR("メールのファイルを作成できません。");
    case FailureCode::MailFileNotWritten:
        return KAMO_FILE_ERROR("メールのファイルを書き込めません。");
    case FailureCode::ExportFolderNotMade:
        return KAMO_FILE_ERROR("書き出し先のフォルダを作成できません。");
    case FailureCode::ExportFolderIsLink:
        return KAMO_FILE_ERROR("書き出し先のフォルダがシンボリックリンクです。書き出しません。");
    case FailureCode::CardsNotMade:
        return KAMO_FILE_ERROR("vCard ファイルを作成できません。");
    case FailureCode::CardsNotWritten:
        return KAMO_FILE_ERROR("vCard ファイルを書き込めません。");
    case FailureCode::PasswordFileUnreadable:
        return "パスワードのファイルを読めません（{2}）。\n{1}";
    case FailureCode::PasswordFileNotRegular:
        return "パスワードのファイルが普通のファイルではありません。\n{1}";
    case FailureCode::PasswordFileOpenToOthers:
        return "パスワードのファイルを自分以外も読み書きできるため、使いません。\n"
               "chmod 600 で自分だけが読めるようにして下さい。\n{1}";
    case FailureCode::PasswordFileEmpty:
        return "パスワードのファイルにパスワードがありません。\n{1}";
    case FailureCode::PasswordNotGiven:
        return "パスワードがありません。端末から実行するか、--password-file で"
               "パスワードのファイルを指定して下さい。";
    case FailureCode::ImapUrlNotUnderstood:
        return "IMAP の書き出し先が読み取れません。imaps://ユーザー名@サーバー[:ポート]/フォルダ "
               "の形で指定して下さい。\n{1}";
    case FailureCode::ImapUserMissing:
        return "IMAP の書き出し先にユーザー名がありません。imaps://ユーザー名@サーバー/フォルダ "
               "の形で指定して下さい。\n{1}";
    case FailureCode::ImapPasswordInUrl:
        return "IMAP の書き出し先にパスワードを書かないで下さい。パスワードは接続するときに尋ねます。";
    case FailureCode::ImapPortInvalid:
        return "IMAP の書き出し先のポート番号が正しくありません: {1}";
    case FailureCode::ImapFolderNotUtf8:
        return "IMAP の書き出し先のフォルダ名が読み取れません: {1}";
    case FailureCode::ImapPlainToRemote:
        return "暗号化しない IMAP 接続は、このコンピューター（127.0.0.1 か ::1）にしか使えません。\n{1}";
    case FailureCode::ImapUnknownHost:
        return "IMAP サーバー {1} が見つかりません。サーバー名を確かめて下さい。";
    case FailureCode::ImapNotReached:
        return "IMAP サーバー {1} のポート {2} に接続できません（{3}）。";
    case FailureCode::ImapCaFileUnreadable:
        return "証明書ファイルを読めません。\n{1}";
    case FailureCode::ImapCertificateRefused:
        return "IMAP サーバー {1} の証明書を信頼できないため、接続を中止しました（{2}）。";
    case FailureCode::ImapNoStartTls:
        return "IMAP サーバー {1} が暗号化（STARTTLS）に対応していないため、接続を中止しました。";
    case FailureCode::ImapWrongPassword:
        return "IMAP サーバー {2} にログインできません。ユーザー名 {1} かパスワードが違います。";
    case FailureCode::ImapLoginRefused:
        return "IMAP サーバーがユーザー {1} のログインを断りました。\n{2}";
    case FailureCode::ImapConnectionLost:
        return "IMAP サーバー {1} との接続が切れました。";
    case FailureCode::ImapFolderNotMade:
        return "IMAP のフォルダ {1} を作成できません。\n{2}";
    case FailureCode::ImapFolderNotRead:
        return "IMAP のフォルダ {1} を読めません。\n{2}";
    case FailureCode::ImapMessageRefused:
        return "IMAP サーバーがメールを受け付けませんでした。\n{1}";
    case FailureCode::ImapQuota:
        return "IMAP サーバーの容量が足りないため、メールを保存できませんでした。\n{1}";
    }
    return "";
}

const char* NoteTemplate(FailureCode code) {
    switch (code) {
    case FailureCode::ListFileMissing:
        return "リストファイルがありません";
    case FailureCode::ListFileIsFolder:
        return "リストファイルを読めません（フォルダです）";
    case FailureCode::ListFileNotRegular:
        return "リストファイルを読めません（通常のファイルではありません）";
    case FailureCode::ListFileUnreadable:
        return "リストファイルを読めません（{2}）";
    case FailureCode::MailTmpUnreadable:
        return "一時ファイル KamoMail.Tmp を読めません";
    case FailureCode::MailTmpCut:
        return "一時ファイル KamoMail.Tmp が途中で切れています";
    case FailureCode::MailboxOutOfMemory:
        return "メモリが足りず読み込めませんでした（このメールボックスのメールは保存していません）";
    default:
        return MessageTemplate(code);
    }
}

#undef KAMO_CSV_LINE
#undef KAMO_FILE_ERROR

namespace {

// The text with the details put in, and the cause's words where "{c}" stands.
std::string Fill(std::string_view text, const std::vector<std::string>& details, const Failure* cause) {
    std::string out;
    // One pass: a detail that itself holds "{1}" is put in as it is.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}') {
            const char mark = text[i + 1];
            if (mark >= '1' && mark <= '9') {
                const size_t n = static_cast<size_t>(mark - '1');
                if (n < details.size())
                    out += details[n];
                i += 2;
                continue;
            }
            if (mark == 'c') {
                if (cause)
                    out += MessageOf(*cause);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace

std::string MessageOf(const Failure& failure) {
    return Fill(MessageTemplate(failure.Code()), failure.Details(), failure.Cause());
}

std::string NoteOf(const Failure& failure) {
    return Fill(NoteTemplate(failure.Code()), failure.Details(), failure.Cause());
}

std::string FillText(std::string_view text, const std::vector<std::string>& details) {
    return Fill(text, details, nullptr);
}

std::string ErrorText(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const Failure*>(&error))
        return MessageOf(*failure);
    // Every command's change that waited for another program's lock and gave up, in the same words.
    if (const auto* sqlite = dynamic_cast<const SQLite::Exception*>(&error)) {
        const int code = sqlite->getErrorCode() & 0xFF;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            return MessageOf(Failure(FailureCode::ArchiveBusy));
    }
    return error.what();
}

} // namespace kamo
