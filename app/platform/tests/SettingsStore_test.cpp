#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include "common/Prompter.h"
#include "platform/ProfileFile.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// 1920 x 1080 pixels.
constexpr ScreenTwips kScreen{28800, 16200};

class SettingsFile : public ::testing::Test {
protected:
    SettingsFile() { s.settingsPath = (dir / "KAMOMAIL.ini").string(); }
    void Write(const std::string& text) { WriteFile(s.settingsPath, text); }
    bool Read() { return ReadSettings(s, form, kScreen, prompter); }

    TempDir dir;
    Settings s;
    FormGeometry form;
    ScriptedPrompter prompter;
};

TEST_F(SettingsFile, FirstRunGivesTheDefaultsAndWritesThemInOrder) {
    ASSERT_TRUE(Read());
    EXPECT_EQ(s.storedVersion, 999);
    EXPECT_FALSE(NeedsVersionUpgrade(StoredVersionText(s.settingsPath)));
    EXPECT_EQ(s.postPetDir, "C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0");
    EXPECT_EQ(s.myMailAddr, "");
    EXPECT_EQ(s.displayType, 0);
    // Two thirds of the screen, centred.
    EXPECT_EQ(form.width, 19200);
    EXPECT_EQ(form.height, 10800);
    EXPECT_EQ(form.top, (16200 - 10800) / 2);
    EXPECT_EQ(form.left, (28800 - 19200) / 2);
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(s.sendReadOptions[static_cast<size_t>(i)], 0);
        EXPECT_EQ(s.recievReadOptions[static_cast<size_t>(i)], 0);
    }
    EXPECT_EQ(s.mailFontName, "ＭＳ ゴシック");
    EXPECT_EQ(s.mailFontSize, 10);
    EXPECT_EQ(s.mailFontStyle, "0,0");
    EXPECT_EQ(s.friendWidth, 9225);
    EXPECT_EQ(s.friendHeight, 5445);
    EXPECT_EQ(s.friendTop, (16200 - 5445) / 2);
    EXPECT_EQ(s.friendLeft, (28800 - 9225) / 2);
    for (auto w : s.friendColWidth)
        EXPECT_EQ(w, 900);
    EXPECT_TRUE(prompter.shown.empty());

    ASSERT_TRUE(WriteSettings(s, form, prompter));
    EXPECT_EQ(ReadFile(s.settingsPath), "[PostPet Mail Option]\n"
                                        "PostPet Dir=C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0\n"
                                        "My Mail Addr=\n"
                                        "My Mail Handle=\n"
                                        "My Pet Name=\n"
                                        "Display Type=0\n"
                                        "[KamoMail Environment]\n"
                                        "Ver=400\n"
                                        "[Form Position]\n"
                                        "Form Top    Position=2700\n"
                                        "Form Left   Position=4800\n"
                                        "Form Width  Position=19200\n"
                                        "Form Height Position=10800\n"
                                        "[Mail Options]\n"
                                        "Send Mail Read Option=0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
                                        "Reciev Mail Read Option=0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
                                        "Auto Read=0\n"
                                        "[Mail Font]\n"
                                        "Mail Text Font=ＭＳ ゴシック\n"
                                        "Mail Text Font Size=10\n"
                                        "Mail Text Font Style=0,0\n"
                                        "[Friend Editer]\n"
                                        "Width=9225\n"
                                        "Height=5445\n"
                                        "Top=5377\n"
                                        "Left=9787\n"
                                        "Col Width1=900\n"
                                        "Col Width2=900\n"
                                        "Col Width3=900\n"
                                        "Col Width4=900\n"
                                        "Col Width5=900\n"
                                        "[Window Layout]\n"
                                        "Years Picture=0\n"
                                        "Threaded Lines=0\n");
}

TEST_F(SettingsFile, WrittenValuesReadBackAndUnknownKeysSurvive) {
    // An earlier upload's port and folder, taken away at the last one (the user's own keys stay).
    Write("[Mine]\nkept=yes\n[Mail Export]\nImapPort=1143\nImapFolder=old\n");
    s.postPetDir = "/home/kamo/PostPet 2.0";
    s.myMailAddr = "kamo@example.jp";
    s.myMailHandle = "かも";
    s.myPetName = "モモ";
    s.displayType = 2;
    s.sendReadOptions[3] = 1;
    s.recievReadOptions[15] = 1;
    s.mailFontName = "IPAGothic";
    s.mailFontSize = 12;
    s.mailFontStyle = "1,0";
    s.friendColWidth = {100, 200, 300, 400, 500};
    s.exportFormat = "maildir";
    s.exportFolder = "/home/kamo/メール 書き出し";
    s.imapServer = "mail.example.jp";
    s.imapUser = "kamo@example.jp";
    s.imapSecurity = "imap";
    s.keySplit = "210,570";
    s.trashColumns = "150,120,180,180,300";
    s.threadedLines = true;
    FormGeometry g{100, 200, 9000, 6000, false};
    ASSERT_TRUE(WriteSettings(s, g, prompter));

    Settings r;
    r.settingsPath = s.settingsPath;
    FormGeometry rg;
    ASSERT_TRUE(ReadSettings(r, rg, kScreen, prompter));
    EXPECT_EQ(r.storedVersion, 400);
    EXPECT_EQ(r.postPetDir, s.postPetDir);
    EXPECT_EQ(r.myMailHandle, "かも");
    EXPECT_EQ(r.myPetName, "モモ");
    EXPECT_EQ(r.displayType, 2);
    EXPECT_EQ(r.sendReadOptions, s.sendReadOptions);
    EXPECT_EQ(r.recievReadOptions, s.recievReadOptions);
    EXPECT_EQ(r.mailFontSize, 12);
    EXPECT_EQ(r.mailFontStyle, "1,0");
    EXPECT_EQ(r.friendColWidth, s.friendColWidth);
    EXPECT_EQ(r.exportFormat, "maildir");
    EXPECT_EQ(r.exportFolder, "/home/kamo/メール 書き出し");
    EXPECT_EQ(r.imapServer, "mail.example.jp");
    EXPECT_EQ(r.imapPort, 0);
    EXPECT_EQ(r.imapUser, "kamo@example.jp");
    EXPECT_EQ(r.imapFolder, "");
    EXPECT_EQ(r.imapSecurity, "imap");
    EXPECT_EQ(r.keySplit, "210,570");
    EXPECT_EQ(r.trashColumns, "150,120,180,180,300");
    EXPECT_TRUE(r.threadedLines);
    EXPECT_EQ(rg.top, 100);
    EXPECT_EQ(rg.left, 200);
    EXPECT_EQ(rg.width, 9000);
    EXPECT_EQ(rg.height, 6000);
    EXPECT_EQ(ReadProfileString(s.settingsPath, "Mine", "kept", ""), "yes");
}

TEST_F(SettingsFile, FontSizeEmptyIsNineMissingIsTen) {
    Write("[Mail Font]\nMail Text Font Size=\nMail Text Font=\nMail Text Font Style=\n");
    ASSERT_TRUE(Read());
    EXPECT_EQ(s.mailFontSize, 9);
    EXPECT_EQ(s.mailFontName, "");
    EXPECT_EQ(s.mailFontStyle, "");
    Write("[Mail Font]\nMail Text Font=Gothic\n");
    ASSERT_TRUE(Read());
    EXPECT_EQ(s.mailFontSize, 10);
    Write("[Mail Font]\nMail Text Font Size= 12 \n");
    ASSERT_TRUE(Read());
    EXPECT_EQ(s.mailFontSize, 12);
}

TEST_F(SettingsFile, NonNumericValuesTakeTheEmptyValueDefault) {
    Write("[KamoMail Environment]\nVer=abc\n"
          "[PostPet Mail Option]\nDisplay Type=two\n"
          "[Form Position]\nForm Width  Position=wide\nForm Top    Position=12x\n"
          "[Mail Font]\nMail Text Font Size=large\n"
          "[Friend Editer]\nWidth=99999\nHeight=4000\nCol Width3=-\n"
          "[Mail Export]\nImapPort=65536\n");
    ASSERT_TRUE(Read());
    EXPECT_EQ(s.storedVersion, 0);
    EXPECT_EQ(s.displayType, 0);
    EXPECT_EQ(form.width, 19200);
    EXPECT_EQ(form.top, (16200 - 10800) / 2);
    EXPECT_EQ(s.mailFontSize, 9);
    EXPECT_EQ(s.friendWidth, 9225); // out of the 16-bit range
    EXPECT_EQ(s.friendHeight, 4000);
    EXPECT_EQ(s.friendColWidth[2], 900);
    EXPECT_EQ(s.imapPort, 0); // no port: the connection's own
}

TEST_F(SettingsFile, WindowsAreCentredFromTheRightSizes) {
    // The main window is centred from its default size although another size is stored: its Top
    // and Left are read before its Width and Height.
    Write("[Form Position]\nForm Width  Position=15000\nForm Height Position=9000\n"
          "[Friend Editer]\nWidth=6000\nHeight=4000\nTop=\n");
    ASSERT_TRUE(Read());
    EXPECT_EQ(form.width, 15000);
    EXPECT_EQ(form.height, 9000);
    EXPECT_EQ(form.top, (16200 - 10800) / 2);
    EXPECT_EQ(form.left, (28800 - 19200) / 2);
    // The friend window uses the size read just before.
    EXPECT_EQ(s.friendTop, (16200 - 4000) / 2);
    EXPECT_EQ(s.friendLeft, (28800 - 6000) / 2);
}

TEST(MainFormSize, AWindowWithoutAStoredSizeOpensAtTwoThirdsOfTheScreenNeverBelowTheDesignSize) {
    struct Case {
        ScreenTwips screen;
        ScreenTwips size;
    } cases[] = {
        {{19200, 12000}, {12795, 7995}},  // 1280 x 800: 853 x 533 pixels
        {{28800, 16200}, {19200, 10800}}, // 1920 x 1080
        {{12000, 9000}, {11745, 7404}},   // 800 x 600: the design size
        {{0, 0}, {11745, 7404}},          // no screen known
        {{57600, 32400}, {38400, 21600}}, // 3840 x 2160
    };
    for (const Case& c : cases) {
        const ScreenTwips size = DefaultMainFormSize(c.screen);
        EXPECT_EQ(size.width, c.size.width) << c.screen.width;
        EXPECT_EQ(size.height, c.size.height) << c.screen.height;
    }
}

TEST_F(SettingsFile, ReadOptionFlagsAreTakenByCharacterPosition) {
    Write("[Mail Options]\nSend Mail Read Option=1,0,1,0,0,0,0,0,0,0,0,0,0,0,0,1\n"
          "Reciev Mail Read Option=1,1\n");
    ASSERT_TRUE(Read());
    for (size_t i = 0; i < 17; ++i)
        EXPECT_EQ(s.sendReadOptions[i], (i == 0 || i == 2 || i == 15) ? 1 : 0) << i;
    for (size_t i = 0; i < 17; ++i)
        EXPECT_EQ(s.recievReadOptions[i], i < 2 ? 1 : 0) << i;

    // Position, not parsing: a missing comma shifts the flags.
    Write("[Mail Options]\nSend Mail Read Option=11,1\nReciev Mail Read Option=\n");
    ASSERT_TRUE(Read());
    EXPECT_EQ(s.sendReadOptions[0], 1);
    EXPECT_EQ(s.sendReadOptions[1], 0); // position 3 holds ','
    EXPECT_EQ(s.sendReadOptions[2], 0);
    for (auto f : s.recievReadOptions)
        EXPECT_EQ(f, 0);

    s.sendReadOptions.fill(0);
    s.sendReadOptions[0] = s.sendReadOptions[2] = s.sendReadOptions[15] = 1;
    s.sendReadOptions[16] = 1; // slot 16 is not stored
    ASSERT_TRUE(WriteSettings(s, form, prompter));
    EXPECT_EQ(ReadProfileString(s.settingsPath, "Mail Options", "Send Mail Read Option", ""),
              "1,0,1,0,0,0,0,0,0,0,0,0,0,0,0,1");
}

TEST_F(SettingsFile, AutoReadIsOnOnlyWhenTheKeySaysOne) {
    const std::pair<const char*, bool> cases[] = {
        {"", false},
        {"Auto Read=1\n", true},
        {"Auto Read=0\n", false},
        {"Auto Read=\n", false},
        {"Auto Read=yes\n", false},
        {"Auto Read=2\n", false},
    };
    for (const auto& [line, on] : cases) {
        Write(std::string("[Mail Options]\n") + line);
        ASSERT_TRUE(Read()) << line;
        EXPECT_EQ(s.autoRead, on) << line;
    }
    s.autoRead = true;
    ASSERT_TRUE(WriteSettings(s, form, prompter));
    EXPECT_EQ(ReadProfileString(s.settingsPath, "Mail Options", "Auto Read", ""), "1");
    ASSERT_TRUE(Read());
    EXPECT_TRUE(s.autoRead);
}

TEST_F(SettingsFile, MinimizedWindowKeepsTheStoredGeometry) {
    Write("[Form Position]\nForm Top    Position=300\nForm Left   Position=450\n"
          "Form Width  Position=12000\nForm Height Position=8000\n");
    ASSERT_TRUE(Read());
    s.displayType = 1;
    FormGeometry minimized{0, 0, 2400, 450, true};
    ASSERT_TRUE(WriteSettings(s, minimized, prompter));
    ASSERT_TRUE(Read());
    EXPECT_EQ(form.top, 300);
    EXPECT_EQ(form.left, 450);
    EXPECT_EQ(form.width, 12000);
    EXPECT_EQ(form.height, 8000);
    EXPECT_EQ(s.displayType, 1); // everything else was written
}

TEST_F(SettingsFile, EmptyPostPetDirIsFatal) {
    Write("[PostPet Mail Option]\nPostPet Dir=   \n");
    EXPECT_FALSE(Read());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, s.settingsPath + "　読み込みエラー　PostPet Path");
}

// The friend file last read sits beside the friend book's own keys and outlives a settings write.
TEST_F(SettingsFile, TheFriendFileIsRememberedInTheFriendBooksSection) {
    EXPECT_EQ(ReadFriendFilePath(s.settingsPath), "");
    ASSERT_TRUE(WriteFriendFilePath(s.settingsPath, "/home/kamo/おともだち.dat"));
    ASSERT_TRUE(WriteSettings(s, form, prompter));
    EXPECT_EQ(ReadFriendFilePath(s.settingsPath), "/home/kamo/おともだち.dat");
    EXPECT_EQ(ReadProfileString(s.settingsPath, "Friend Editer", "Friend File", ""), "/home/kamo/おともだち.dat");
}

TEST_F(SettingsFile, FailedWriteIsFatalAndNamesTheFile) {
    s.settingsPath = (dir / "missing" / "KAMOMAIL.ini").string();
    EXPECT_FALSE(WriteSettings(s, form, prompter));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, s.settingsPath + "　書き込みエラー");
}

TEST(StoredVersion, UpgradeRunsFor210AndOlderByTextComparison) {
    TempDir dir;
    auto textFor = [&](const std::string& file) {
        WriteFile(dir / "KAMOMAIL.ini", file);
        return StoredVersionText(dir / "KAMOMAIL.ini");
    };
    EXPECT_TRUE(NeedsVersionUpgrade(textFor("[KamoMail Environment]\nVer=210\n")));
    EXPECT_FALSE(NeedsVersionUpgrade(textFor("[KamoMail Environment]\nVer=211\n")));
    EXPECT_FALSE(NeedsVersionUpgrade(textFor("[KamoMail Environment]\nVer=331\n")));
    EXPECT_TRUE(NeedsVersionUpgrade(textFor("[KamoMail Environment]\nVer=1000\n")));
    EXPECT_FALSE(NeedsVersionUpgrade(textFor("")));                                  // "999"
    EXPECT_TRUE(NeedsVersionUpgrade(textFor("[KamoMail Environment]\nVer=0210\n"))); // 210 again
    EXPECT_EQ(textFor("[KamoMail Environment]\nVer=x\n"), "0");
    ASSERT_TRUE(WriteVersionKey(dir / "KAMOMAIL.ini"));
    EXPECT_EQ(StoredVersionText(dir / "KAMOMAIL.ini"), "400");
}

TEST(TwipsGeometry, UnchangedWindowWritesBackTheTwipsItRead) {
    FormGeometry stored{4398, 8527, 11745, 7404, false};
    PixelGeometry px = ToPixels(stored);
    EXPECT_EQ(px.width, 783);
    EXPECT_EQ(px.height, 494); // 493.6 rounds up
    FormGeometry back = FromPixels(px, stored, false);
    EXPECT_EQ(back.top, 4398);
    EXPECT_EQ(back.left, 8527);
    EXPECT_EQ(back.width, 11745);
    EXPECT_EQ(back.height, 7404);

    px.width = 800;
    px.top = -20; // moved to a monitor on the left
    back = FromPixels(px, stored, true);
    EXPECT_EQ(back.width, 12000);
    EXPECT_EQ(back.top, -300);
    EXPECT_EQ(back.height, 7404);
    EXPECT_TRUE(back.minimized);
    EXPECT_EQ(TwipsToPixels(-7), 0);
    EXPECT_EQ(TwipsToPixels(-8), -1);
}

} // namespace
} // namespace kamo
