// The program itself, run as a user runs it: commands without a display, the message when there is
// no display, and ending on a signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/InstanceLock.h"
#include "platform/ProfileFile.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

using Env = test::ProgramEnv;

pid_t Launch(const std::vector<std::string>& args, const Env& env, const fs::path& output) {
    return test::LaunchProgram(args, env, output);
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

class Program : public ::testing::Test {
protected:
    Env NoDisplay() const { return {{}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}}; }
    std::string Output() const { return test::ReadFile(out); }

    TempDir dir;
    fs::path out = dir / "output.txt";
};

TEST_F(Program, VersionAndHelpWorkWithoutADisplay) {
    int status = Wait(Launch({"--version"}, NoDisplay(), out));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Output(), "KamoMail Version 4.0.0\n");

    status = Wait(Launch({"--help"}, NoDisplay(), out));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(Output().find("--version"), std::string::npos);
}

TEST_F(Program, WithoutADisplaySaysSoInOneLineInsteadOfAborting) {
    for (const char* platform : {"", "xcb", "wayland"}) {
        Env env = NoDisplay();
        if (*platform)
            env.set.push_back({"QT_QPA_PLATFORM", platform});
        int status = Wait(Launch({}, env, out));
        ASSERT_TRUE(WIFEXITED(status)) << platform;
        EXPECT_NE(WEXITSTATUS(status), 0);
        const std::string text = Output();
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find("ディスプレイ"), std::string::npos) << text;
        EXPECT_NE(text.find("--version"), std::string::npos) << text;
        EXPECT_NE(text.find("--help"), std::string::npos) << text;
    }
    int status = Wait(Launch({"nosuchcommand"}, NoDisplay(), out));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

struct Ending {
    int signal;
    int afterMs; // after the instance lock is taken: 0 lands during the start, 300 mostly in the event loop
};

class EndSignal : public Program, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndSignal, ClosesTheWindowAndExitsWithZero) {
    Env env{{{"QT_QPA_PLATFORM", "offscreen"},
             {"KAMOMAIL_CONFIG_DIR", (dir / "config").string()},
             {"KAMOMAIL_DATA_DIR", (dir / "data").string()}},
            {}};
    // The conversion library's temporary files, left from a read.
    fs::create_directories(dir / "data");
    test::WriteFile(dir / "data" / "KamoMail.Tmp", "x");
    test::WriteFile(dir / "data" / "Friend.Tmp", "x");
    test::WriteFile(dir / "data" / "notes.tmp", "the user's");
    pid_t pid = Launch({}, env, out);
    // Running once it holds the instance lock (its signal handling is in place before that).
    bool running = false;
    for (int i = 0; i < 400 && !running; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        running = fs::exists(dir / "config" / InstanceLock::kFileName) && !InstanceLock::TryAcquire(dir / "config");
    }
    ASSERT_TRUE(running) << Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().afterMs));
    ::kill(pid, GetParam().signal);
    int status = Wait(pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << Output();
    EXPECT_EQ(WEXITSTATUS(status), 0) << Output();
    EXPECT_TRUE(fs::exists(dir / "data" / "KamoMail.Mdb"));
    // Ended at the first-run question: the .Bak was taken before it waited for the user.
    EXPECT_TRUE(fs::exists(dir / "data" / "KamoMail.Mdb.Bak"));
    // Ended the way comEnd ends: settings written, temporary files gone.
    EXPECT_EQ(ReadProfileString(dir / "config" / "KAMOMAIL.ini", "KamoMail Environment", "Ver", ""), "400");
    EXPECT_FALSE(fs::exists(dir / "data" / "KamoMail.Tmp"));
    EXPECT_FALSE(fs::exists(dir / "data" / "Friend.Tmp"));
    EXPECT_EQ(test::ReadFile(dir / "data" / "notes.tmp"), "the user's");
    EXPECT_NE(InstanceLock::TryAcquire(dir / "config"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, EndSignal,
                         ::testing::Values(Ending{SIGTERM, 0}, Ending{SIGTERM, 300}, Ending{SIGINT, 300},
                                           Ending{SIGHUP, 300}));

} // namespace
} // namespace kamo
