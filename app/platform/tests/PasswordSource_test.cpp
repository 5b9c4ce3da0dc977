#include "platform/PasswordSource.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Messages.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

// What a password file holds and how it may be opened, and what comes of reading it.
struct FileCase {
    const char* name;
    std::optional<std::string> bytes; // nothing: no file at all
    mode_t mode;
    std::optional<std::string> password; // nothing: refused with `refusal`
    FailureCode refusal;
};

TEST(PasswordFileTest, OnlyItsOwnersFileGivesItsFirstLine) {
    const FileCase cases[] = {
        {"one line", "kamo-pass\n", 0600, "kamo-pass", {}},
        {"no line end", "kamo-pass", 0400, "kamo-pass", {}},
        {"CR LF, then more lines", "p@ss word\r\nsecond\n", 0600, "p@ss word", {}},
        {"Japanese bytes kept as they are", "かもパス\n", 0600, "かもパス", {}},
        {"readable by the group", "kamo-pass\n", 0640, std::nullopt, FailureCode::PasswordFileOpenToOthers},
        {"readable by anyone", "kamo-pass\n", 0604, std::nullopt, FailureCode::PasswordFileOpenToOthers},
        {"writable by the group", "kamo-pass\n", 0620, std::nullopt, FailureCode::PasswordFileOpenToOthers},
        {"empty", "", 0600, std::nullopt, FailureCode::PasswordFileEmpty},
        {"an empty first line", "\nkamo-pass\n", 0600, std::nullopt, FailureCode::PasswordFileEmpty},
        {"longer than a password", std::string(5000, 'x'), 0600, std::nullopt, FailureCode::PasswordFileEmpty},
        {"missing", std::nullopt, 0600, std::nullopt, FailureCode::PasswordFileUnreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const auto file = dir / "password";
        if (c.bytes) {
            test::WriteFile(file, *c.bytes);
            ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
        }
        auto got = ReadPasswordFile(file);
        if (c.password) {
            ASSERT_TRUE(std::holds_alternative<Secret>(got)) << MessageOf(std::get<Failure>(got));
            EXPECT_EQ(std::get<Secret>(got).Value(), *c.password);
        } else {
            ASSERT_TRUE(std::holds_alternative<Failure>(got));
            EXPECT_EQ(std::get<Failure>(got).Code(), c.refusal);
            EXPECT_NE(MessageOf(std::get<Failure>(got)).find(file.string()), std::string::npos);
        }
    }
}

TEST(PasswordFileTest, AFolderOrAFifoIsNoPasswordFile) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder");
    ::chmod((dir / "folder").c_str(), 0700);
    for (const char* name : {"fifo", "folder"}) {
        SCOPED_TRACE(name);
        // A FIFO with no writer must not block the read.
        auto got = ReadPasswordFile(dir / name);
        ASSERT_TRUE(std::holds_alternative<Failure>(got));
        EXPECT_EQ(std::get<Failure>(got).Code(), FailureCode::PasswordFileNotRegular);
    }
}

TEST(PasswordFileTest, NoTerminalNoPassword) {
    // Input from a file, as from a script: the terminal cannot be asked.
    const int saved = ::dup(STDIN_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(null, 0);
    ASSERT_EQ(::dup2(null, STDIN_FILENO), STDIN_FILENO);
    auto got = AskPasswordOnTerminal("パスワード: ");
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    ::close(null);
    ASSERT_TRUE(std::holds_alternative<Failure>(got));
    EXPECT_EQ(std::get<Failure>(got).Code(), FailureCode::PasswordNotGiven);
}

} // namespace
} // namespace kamo
