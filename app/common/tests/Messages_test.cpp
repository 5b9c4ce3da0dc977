// The catalogue words every failure, puts its details in as they are, and is the only place with words:
// a Failure itself says nothing in Japanese.
#include <gtest/gtest.h>

#include "common/Messages.h"

namespace kamo {
namespace {

bool IsAscii(const std::string& text) {
    for (const unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

TEST(Messages, EveryCodeHasWordsAndAFailureHoldsNone) {
    ASSERT_FALSE(AllFailureCodes().empty());
    for (const FailureCode code : AllFailureCodes()) {
        const std::string text = MessageTemplate(code);
        EXPECT_FALSE(text.empty()) << FailureName(code);
        // Words for the user, except the watch's and a broken-off read's, which pass the OS's or
        // SQLite's own reason through.
        const bool passedThrough = code == FailureCode::WatchNotStarted || code == FailureCode::ReadBrokenOff;
        EXPECT_EQ(IsAscii(text), passedThrough) << FailureName(code) << ": " << text;
        EXPECT_FALSE(std::string(NoteTemplate(code)).empty()) << FailureName(code);
        const Failure failure(code, {"/tmp/a", "2", "tblFriend"});
        EXPECT_TRUE(IsAscii(failure.what())) << failure.what();
        EXPECT_EQ(std::string(failure.what()).rfind(FailureName(code), 0), 0u) << failure.what();
    }
}

TEST(Messages, DetailsGoInWhereTheTextNamesThemAndOnlyThere) {
    struct Case {
        Failure failure;
        std::string says;
    };
    const std::vector<Case> cases{
        {Failure(FailureCode::BackupFolderNotMade, {"Permission denied", "/d/backup"}),
         "バックアップのフォルダを作れません（Permission denied）。\n/d/backup"},
        {Failure(FailureCode::CsvNotDate, {"tblKamoMail.csv", "3", "tblKamoMail_YMD", "2001/13/01"}),
         "tblKamoMail.csv の 3 行目: tblKamoMail_YMD が日付（yyyy/mm/dd）ではありません: 2001/13/01\n"
         "何も取り込んでいません。"},
        // A detail that looks like a place for one is put in as it is, never filled again.
        {Failure(FailureCode::FriendAddressTwice, {"{1}@example.jp"}), "アドレス {1}@example.jp が二度あります。"},
        // A missing detail leaves its place empty rather than the marker.
        {Failure(FailureCode::BackupNotFound), "バックアップが見つかりません。\n"},
        {Failure(FailureCode::FriendConversionError, {"-5", "/pp/Friend.dat"}),
         "おともだちファイルを読めません（エラー -5）。\n/pp/Friend.dat"},
        // A cause's words go where the text names it, with its own details.
        {Failure(FailureCode::BackupNotVerified, {"/d/b.Mdb"},
                 Failure(FailureCode::ArchiveTableMissing, {"tblFriend"})),
         "バックアップを確かめられませんでした（テーブル tblFriend がありません）。\n/d/b.Mdb"},
        {Failure(FailureCode::NewArchiveNotComplete, {}, Failure(FailureCode::ArchiveNotOpenable, {"disk I/O error"})),
         "新しいデータベースが検査に通りません（データベースとして開けません（disk I/O error））。"},
        {Failure(FailureCode::ListFileUnreadable, {"受信フォルダ", "Permission denied", "/pp/Inbox.lst"}),
         "受信フォルダ のリストファイルを読めません（Permission denied）。\n/pp/Inbox.lst"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf(c.failure), c.says) << c.failure.what();
}

TEST(Messages, AMailboxsFailureHasAShortNoteForTheReadsSummary) {
    EXPECT_EQ(NoteOf(Failure(FailureCode::ListFileUnreadable, {"受信フォルダ", "Permission denied", "/pp/a"})),
              "リストファイルを読めません（Permission denied）");
    EXPECT_EQ(NoteOf(Failure(FailureCode::MailTmpCut, {"受信フォルダ"})),
              "一時ファイル KamoMail.Tmp が途中で切れています");
    // A code without a short form is noted in its message's words.
    EXPECT_EQ(NoteOf(Failure(FailureCode::FilterRunFailed)), "フィルターの実行に失敗しました。");
}

TEST(Messages, ACausesNameStaysInWhatAndNoWordsDo) {
    const Failure failure(FailureCode::BackupNotVerified, {"/d/b.Mdb"}, Failure(FailureCode::ArchiveFileEmpty));
    EXPECT_STREQ(failure.what(), "BackupNotVerified: /d/b.Mdb (ArchiveFileEmpty)");
    ASSERT_NE(failure.Cause(), nullptr);
    EXPECT_EQ(failure.Cause()->Code(), FailureCode::ArchiveFileEmpty);
}

TEST(Messages, ErrorTextWordsAFailureAndLeavesOtherErrorsAsTheySay) {
    const Failure failure(FailureCode::FilterRunFailed);
    const std::exception& asException = failure;
    EXPECT_EQ(ErrorText(asException), "フィルターの実行に失敗しました。");
    EXPECT_EQ(ErrorText(std::runtime_error("database is locked")), "database is locked");
}

} // namespace
} // namespace kamo
