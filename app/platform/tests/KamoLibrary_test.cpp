#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sqlite3.h>

#include "platform/KamoLibrary.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

TEST(KamoLibrary, MissingLibraryOrExportIsAnErrorNotACrash) {
    KamoLibrary missing("/nonexistent/libkamomail.so");
    EXPECT_FALSE(missing.Load());
    EXPECT_NE(missing.Error().find("変換ライブラリを読み込めません。"), std::string::npos);
    EXPECT_NE(missing.Error().find("/nonexistent/libkamomail.so"), std::string::npos);
    EXPECT_FALSE(missing.Load()); // the outcome is kept
    EXPECT_EQ(missing.MailEditFramed(), nullptr);
    EXPECT_EQ(missing.StrChange(), nullptr);

    // A real shared library that lacks the exports: SQLite's own.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&sqlite3_libversion), &info), 0);
    KamoLibrary wrong(info.dli_fname);
    EXPECT_FALSE(wrong.Load());
    EXPECT_NE(wrong.Error().find("KamoMail_Edit"), std::string::npos);
    EXPECT_EQ(wrong.MailEditFramed(), nullptr);

    // A file that is not a library at all.
    test::TempDir dir;
    test::WriteFile(dir / "libkamomail.so", "not an ELF file");
    KamoLibrary garbage(dir / "libkamomail.so");
    EXPECT_FALSE(garbage.Load());
    EXPECT_FALSE(garbage.Error().empty());
}
