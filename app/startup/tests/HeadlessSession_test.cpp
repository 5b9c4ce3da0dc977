// The terminal command on the archive session, in this process: no window code is linked into this
// test, and none is loaded while the command opens, uses and closes the session.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "db/ArchiveSession.h"
#include "ppwriter/MailboxWriter.h"
#include "startup/ReadCommand.h"
#include "startup/TerminalPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

bool QtIsLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libQt6") != std::string::npos;
}

} // namespace

TEST(HeadlessSession, TheReadCommandOpensUsesAndClosesTheSessionWithoutWindows) {
    test::TempDir dir;
    ppw::WriteSampleFolder(dir / "PostPet");
    setenv("KAMOMAIL_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("KAMOMAIL_DATA_DIR", (dir / "data").c_str(), 1);

    std::ostringstream out, err;
    const int status = RunReadCommand({"--postpet-dir", (dir / "PostPet").string(), "--all"}, out, err);
    ASSERT_EQ(status, 0) << err.str();
    EXPECT_NE(out.str().find("合計: 読込 "), std::string::npos) << out.str();
    EXPECT_FALSE(QtIsLoaded());

    // The command closed its session: the lock is free and the archive holds the mail it stored.
    std::ostringstream said;
    TerminalPrompter prompter(said, said);
    auto session = StartSession(ResolveFolders(), prompter, StartupOptions{false, {}, {}});
    ASSERT_TRUE(session) << said.str();
    EXPECT_GT(session->Database().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 10);
    EXPECT_EQ(session->AppSettings().databasePath, (dir / "data" / "KamoMail.Mdb").string());

    // While a session is open, a second one is refused.
    std::ostringstream refusedOut, refusedErr;
    EXPECT_EQ(RunReadCommand({"--all"}, refusedOut, refusedErr), 1);
    EXPECT_NE(refusedErr.str().find("KamoMailはすでに実行されています。"), std::string::npos) << refusedErr.str();
    unsetenv("KAMOMAIL_CONFIG_DIR");
    unsetenv("KAMOMAIL_DATA_DIR");
}
