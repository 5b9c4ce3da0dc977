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
        // Words for the user, except the watch, which passes the OS's own reason through.
        EXPECT_EQ(IsAscii(text), code == FailureCode::WatchNotStarted) << FailureName(code) << ": " << text;
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf(c.failure), c.says) << c.failure.what();
}

TEST(Messages, ErrorTextWordsAFailureAndLeavesOtherErrorsAsTheySay) {
    const Failure failure(FailureCode::FilterRunFailed);
    const std::exception& asException = failure;
    EXPECT_EQ(ErrorText(asException), "フィルターの実行に失敗しました。");
    EXPECT_EQ(ErrorText(std::runtime_error("database is locked")), "database is locked");
}

} // namespace
} // namespace kamo
