// Text export and import of every table: a round trip into an empty archive gives back every row
// exactly, a second import adds nothing, and a broken file imports nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <sstream>

#include <sys/stat.h>

#include <SQLiteCpp/Statement.h>

#include "common/Csv.h"
#include "common/WaitReporter.h"
#include "db/Schema.h"
#include "db/tests/ArchiveFiles.h"
#include "filters/FilterStore.h"
#include "upkeep/TableExchange.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;

// Every row of every exported table, each value with its type, rows sorted.
std::vector<std::string> Dump(SQLite::Database& db) {
    std::vector<std::string> rows;
    for (const auto& table : ExportedTables(db)) {
        SQLite::Statement q(db, "SELECT * FROM \"" + table + "\"");
        while (q.executeStep()) {
            std::string row = table + ":";
            for (int i = 0; i < q.getColumnCount(); ++i) {
                const auto v = q.getColumn(i);
                row += v.isNull() ? std::string("<null>") : std::to_string(v.getType()) + "=" + v.getString();
                row += "|";
            }
            rows.push_back(std::move(row));
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The derived tables made from the archive's own data, as every command that changes it does.
void Refresh(SQLite::Database& db) {
    FilterTables filters;
    NullWaitReporter quiet;
    ASSERT_TRUE(LoadFilters(db, filters, quiet));
    ASSERT_TRUE(RefreshDerivedData(db, filters, quiet));
}

std::unique_ptr<SQLite::Database> Filled(const fs::path& path) {
    test::AddMails(path, 0, 40);
    auto db = OpenArchive(path);
    MailRecord odd = test::NumberedMail(100);
    odd.subject = "①㈱髙～ソ表能ポ弓－ \"quoted\", comma | bar\r\nnext line";
    odd.sndName = "";
    odd.body = std::string(20000, 'x') + "\n\"end\"";
    test::InsertTestMail(*db, odd);
    db->exec("UPDATE tblKamoMail SET tblKamoMail_RcvName = NULL WHERE tblKamoMail_SubKey = 3");
    db->exec("INSERT INTO tblFriend VALUES ('10', 'ポチ', '山田, \"太郎\"', 'taro@example.jp', 255)");
    db->exec("INSERT INTO tblFilter VALUES (10, 1, 0, 'はな', 'hana,\"こ\"')");
    db->exec("INSERT INTO tblFilter VALUES (11, 2, 0, '件名', '件名 1')");
    Refresh(*db);
    db->exec("CREATE TABLE tblExtra (k INTEGER PRIMARY KEY, b BLOB, t TEXT)");
    db->exec("INSERT INTO tblExtra VALUES (1, x'00ff10', 'bytes'), (2, NULL, '')");
    return db;
}

TEST(TableExchange, ExportThenImportIntoAnEmptyArchiveGivesBackEveryRow) {
    test::TempDir dir;
    auto source = Filled(dir / "a.Mdb");
    const auto exported = ExportTables(*source, dir / "export");
    std::set<std::string> names;
    for (const auto& e : exported)
        names.insert(e.table);
    EXPECT_TRUE(names.count("tblExtra") && names.count("tblAttachment") && names.count("tblFilterData"));
    EXPECT_EQ(exported[0].table, "tblKamoMail");
    EXPECT_EQ(exported[0].rows, 41);
    const std::string header = test::ReadFile(dir / "export" / "tblFriend.csv").substr(0, 120);
    EXPECT_EQ(header.rfind("\"tblFriend_PetKind\",\"tblFriend_Pet\",\"tblFriend_Name\",", 0), 0u);

    auto target = OpenArchive(dir / "b.Mdb", true);
    CreateTables(*target);
    target->exec("CREATE TABLE tblExtra (k INTEGER PRIMARY KEY, b BLOB, t TEXT)");
    const auto imported = ImportTables(*target, dir / "export");
    Refresh(*target);
    EXPECT_TRUE(Dump(*target) == Dump(*source));
    EXPECT_EQ(imported[0].rows, 41);

    // Again: every row is there already.
    for (const auto& count : ImportTables(*target, dir / "export")) {
        EXPECT_EQ(count.rows, 0) << count.table;
    }
    EXPECT_TRUE(Dump(*target) == Dump(*source));
    // The export is stable: a second one writes the same bytes.
    ExportTables(*target, dir / "again");
    EXPECT_EQ(test::ReadFile(dir / "again" / "tblKamoMail.csv"), test::ReadFile(dir / "export" / "tblKamoMail.csv"));
}

TEST(TableExchange, AFileThatIsNoSuchExportImportsNothingAndSaysWhere) {
    test::TempDir dir;
    auto source = Filled(dir / "a.Mdb");
    ExportTables(*source, dir / "export");
    const std::string friends = test::ReadFile(dir / "export" / "tblFriend.csv");
    struct Case {
        const char* what;
        std::string text;
        const char* says;
    };
    const Case cases[] = {
        {"header", "\"a\",\"b\"\r\n", "tblFriend.csv の 1 行目: 見出しの行が tblFriend の列と合いません"},
        {"quoting", friends + "\"1\",\"x\",\"y\",\"z@example.jp,3\r\n", "引用符 \" が閉じていません"},
        {"bare quote", friends + "1,x\"y,\"n\",\"a@b\",3\r\n", "tblFriend.csv の 3 行目: 引用符で囲んでいない値に"},
        {"columns", friends + "\"1\",\"x\",\"y\"\r\n", "tblFriend.csv の 3 行目: 列の数が 3 です（5 のはず）"},
        {"number", friends + "\"1\",\"x\",\"y\",\"new@example.jp\",many\r\n",
         "tblFriend_RecvMailCnt が数ではありません"},
        {"empty", "", "tblFriend.csv の 1 行目: 見出しの行がありません"},
    };
    for (const auto& c : cases) {
        test::WriteFile(dir / "export" / "tblFriend.csv", c.text);
        auto target = OpenArchive(dir / (std::string(c.what) + ".Mdb"), true);
        CreateTables(*target);
        try {
            ImportTables(*target, dir / "export");
            ADD_FAILURE() << c.what << ": imported";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.what << ": " << e.what();
        }
        EXPECT_EQ(target->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt(), 0) << c.what;
    }
}

TEST(TableExchange, TheReaderTakesAnyBytesWithoutCrashingAndKeepsItsWord) {
    // Every field the writer writes reads back as it was; mangled input ends cleanly.
    std::mt19937 rng(7);
    const std::string alphabet = "a,\"\r\n\x00ポ";
    for (int round = 0; round < 300; ++round) {
        std::vector<std::vector<CsvField>> records(1 + rng() % 4);
        std::string text;
        for (auto& record : records) {
            record.resize(1 + rng() % 4);
            for (size_t i = 0; i < record.size(); ++i) {
                std::string value;
                for (int n = static_cast<int>(rng() % 6); n > 0; --n)
                    value += alphabet[rng() % alphabet.size()];
                record[i] = {value, true};
                if (i)
                    text += ',';
                AppendCsvQuoted(text, value);
            }
            text += "\r\n";
        }
        std::istringstream in(text);
        CsvReader reader(in);
        std::vector<CsvField> got;
        for (const auto& record : records) {
            ASSERT_TRUE(reader.Next(got)) << reader.Error();
            EXPECT_EQ(got, record);
        }
        EXPECT_FALSE(reader.Next(got));
        for (int flips = 0; flips < 5; ++flips) {
            std::string mangled = text;
            mangled[rng() % mangled.size()] = alphabet[rng() % alphabet.size()];
            std::istringstream bad(mangled);
            CsvReader r(bad);
            int n = 0;
            while (r.Next(got) && n < 100)
                ++n;
            EXPECT_LT(n, 100);
        }
    }
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

// The table files are the user's alone under umask 022, and never written through a link planted at
// their names nor over the archive under another name; the archive stays byte for byte.
TEST(TableExchange, ExportFilesArePrivateAndNeverGoThroughALinkOrOverTheArchive) {
    test::TempDir dir;
    const fs::path archive = dir / "data" / "KamoMail.Mdb";
    fs::create_directories(archive.parent_path());
    test::AddMails(archive, 0, 3);
    auto db = OpenArchive(archive);
    const mode_t oldMask = ::umask(022);
    ExportTables(*db, dir / "out");
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir / "out")) {
        ++files;
        EXPECT_EQ(static_cast<int>(e.status().permissions() & fs::perms::mask), 0600) << e.path();
    }
    EXPECT_GT(files, 3);

    const std::string before = test::ReadFile(archive);
    test::WriteFile(dir / "victim", "victim");
    struct Planted {
        const char* what;
        std::function<void(const fs::path&)> plant;
    };
    const Planted cases[] = {
        {"link elsewhere", [&](const fs::path& at) { fs::create_symlink(dir / "victim", at); }},
        {"link to the archive", [&](const fs::path& at) { fs::create_symlink(archive, at); }},
        {"hard link to the archive", [&](const fs::path& at) { fs::create_hard_link(archive, at); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = dir / c.what;
        fs::create_directories(folder);
        c.plant(folder / "tblKamoMail.csv");
        EXPECT_THROW(ExportTables(*db, folder), std::runtime_error);
        EXPECT_EQ(test::ReadFile(dir / "victim"), "victim");
        EXPECT_EQ(test::ReadFile(archive), before);
        for (const auto& e : fs::directory_iterator(folder))
            EXPECT_EQ(e.path().filename(), "tblKamoMail.csv"); // no temporary left
    }
    ::umask(oldMask);
}

} // namespace
} // namespace kamo
