#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sqlite3.h>

#include "common/Messages.h"
#include "platform/KamoLibrary.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

TEST(KamoLibrary, MissingLibraryOrExportIsAnErrorNotACrash) {
    KamoLibrary missing("/nonexistent/libkamomail.so");
    EXPECT_FALSE(missing.Load());
    ASSERT_TRUE(missing.Problem());
    EXPECT_EQ(MessageOf(*missing.Problem()).find("変換ライブラリを読み込めません。\n/nonexistent/libkamomail.so\n"),
              0u);
    EXPECT_FALSE(missing.Load()); // the outcome is kept
    EXPECT_EQ(missing.MailEditFramed(), nullptr);
    EXPECT_EQ(missing.StrChange(), nullptr);

    // A real shared library that lacks the exports: SQLite's own.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&sqlite3_libversion), &info), 0);
    KamoLibrary wrong(info.dli_fname);
    EXPECT_FALSE(wrong.Load());
    ASSERT_TRUE(wrong.Problem());
    EXPECT_EQ(MessageOf(*wrong.Problem()),
              "変換ライブラリに関数 KamoMail_Edit がありません。\n" + std::string(info.dli_fname));
    EXPECT_EQ(wrong.MailEditFramed(), nullptr);

    // A file that is not a library at all.
    test::TempDir dir;
    test::WriteFile(dir / "libkamomail.so", "not an ELF file");
    KamoLibrary garbage(dir / "libkamomail.so");
    EXPECT_FALSE(garbage.Load());
    ASSERT_TRUE(garbage.Problem());
    EXPECT_EQ(garbage.Problem()->Code(), FailureCode::LibraryNotLoaded);
}
