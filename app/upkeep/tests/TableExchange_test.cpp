// Text export and import of every table: a round trip into an empty archive gives back every row
// exactly, a second import adds nothing, and a broken file imports nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include <sys/stat.h>

#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include "common/Csv.h"
#include "common/Messages.h"
#include "common/WaitReporter.h"
#include "db/Attachments.h"
#include "db/MailOriginals.h"
#include "db/MailRows.h"
#include "db/Schema.h"
#include "db/Trash.h"
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
    // A deleted mail waits in the trash: the user's data, exported and imported like the rest.
    test::InsertTestMail(*db, test::NumberedMail(200));
    EXPECT_EQ(MoveToTrash(*db, "tblKamoMail_Subject = :s",
                          [](SQLite::Statement& st) { st.bind(":s", test::NumberedMail(200).subject); })
                  .mails,
              1);
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
    EXPECT_TRUE(names.count("tblExtra") && names.count("tblAttachment") && names.count("tblFilterData") &&
                names.count("tblTrash"));
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
            EXPECT_NE(ErrorText(e).find(c.says), std::string::npos) << c.what << ": " << ErrorText(e);
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
            ASSERT_TRUE(reader.Next(got)) << (reader.Error() ? FailureName(*reader.Error()) : "");
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

// A hand-made tblKamoMail.csv: the header of a real export, then rows of the given values (texts
// quoted, numbers bare; a null for an empty bare field).
struct HandMade {
    HandMade() {
        test::AddMails(dir / "a.Mdb", 0, 1);
        auto db = OpenArchive(dir / "a.Mdb");
        ExportTables(*db, dir / "export");
        const std::string text = test::ReadFile(dir / "export" / "tblKamoMail.csv");
        header = text.substr(0, text.find("\r\n") + 2);
        stored = text.substr(header.size());
        target = OpenArchive(dir / "b.Mdb", true);
        CreateTables(*target);
        test::InsertTestMail(*target, test::NumberedMail(0)); // the same mail as the export's row
    }
    static std::string Row(const std::string& ymd, const std::string& hms, const std::string& subKey,
                           const std::string& flag, const std::string& subject, const std::string& body = "本文") {
        std::string row;
        AppendCsvQuoted(row, ymd);
        row += ',';
        AppendCsvQuoted(row, hms);
        row += "," + subKey + "," + flag + ",";
        for (const char* v : {"かも", "kamo@example.jp", "モモ", "momo@example.jp"}) {
            AppendCsvQuoted(row, v);
            row += ',';
        }
        AppendCsvQuoted(row, subject);
        row += ',';
        AppendCsvQuoted(row, body);
        for (int i = 2; i <= 16; ++i)
            row += ",\"\"";
        return row + ",\"\"\r\n";
    }
    // Imports `rows` as tblKamoMail.csv (and `attachments` as tblAttachment.csv when given); the
    // error, or empty when it imported.
    std::string Import(const std::string& rows, const std::string& attachments = "") {
        fs::remove_all(dir / "in");
        fs::create_directories(dir / "in");
        test::WriteFile(dir / "in" / "tblKamoMail.csv", header + rows);
        if (!attachments.empty())
            test::WriteFile(dir / "in" / "tblAttachment.csv", attachments);
        try {
            counts = ImportTables(*target, dir / "in");
            return {};
        } catch (const std::runtime_error& e) {
            return ErrorText(e);
        }
    }
    int64_t Mails() { return target->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(); }

    test::TempDir dir;
    std::string header, stored;
    std::unique_ptr<SQLite::Database> target;
    std::vector<TableCount> counts;
};

TEST(CsvMerge, AStoredKeyWithOtherContentOrATwiceGivenKeyIsRefusedNeverCountedAsStored) {
    HandMade h;
    const std::string fresh = HandMade::Row("2002/01/01", "10:00:00", "0", "1", "New mail");
    // The same row as stored: skipped, the new one added.
    EXPECT_EQ(h.Import(h.stored + fresh), "");
    EXPECT_EQ(h.counts.at(0).skipped, 1);
    EXPECT_EQ(h.counts.at(0).rows, 1);
    EXPECT_EQ(h.Mails(), 2);
    const struct {
        const char* what;
        std::string rows;
        const char* says;
    } refused[] = {
        {"stored key, other subject",
         HandMade::Row("2002/01/02", "10:00:00", "0", "1", "まだない") +
             std::regex_replace(h.stored, std::regex("\"件名 0\""), "\"件名 ちがう\""),
         "tblKamoMail.csv の 3 行目: 同じキーでちがう中身の行"},
        {"key twice in the file",
         HandMade::Row("2002/01/03", "10:00:00", "0", "1", "二度") +
             HandMade::Row("2002/01/03", "10:00:00", "0", "1", "二度"),
         "tblKamoMail.csv の 3 行目: 同じキーの行がこのファイルに二度あります"},
        {"letter case differs only", HandMade::Row("2002/01/01", "10:00:00", "0", "1", "NEW MAIL"),
         "tblKamoMail.csv の 2 行目: 同じキーでちがう中身の行"},
    };
    for (const auto& c : refused) {
        const std::string error = h.Import(c.rows);
        EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find("何も取り込んでいません。"), std::string::npos) << c.what;
        EXPECT_EQ(h.Mails(), 2) << c.what; // nothing of the file stored
    }
}

TEST(CsvMerge, AttachmentsOnlyOfMailsInTheImportOrTheArchive) {
    HandMade h;
    auto db = OpenArchive(h.dir / "a.Mdb");
    ExportTables(*db, h.dir / "export");
    const std::string attachmentHeader = test::ReadFile(h.dir / "export" / "tblAttachment.csv");
    auto attachment = [](const std::string& ymd) {
        return "\"" + ymd +
               "\",\"10:00:00\",0,1,\"kamo@example.jp\",\"momo@example.jp\",1,\"a.txt\",\"text/plain\",1,\"41\",0\r\n";
    };
    const std::string mail = HandMade::Row("2002/01/01", "10:00:00", "0", "1", "添付つき");
    const std::string orphan = h.Import(mail, attachmentHeader + attachment("2002/09/09"));
    EXPECT_NE(orphan.find("tblAttachment.csv の 2 行目: この行のメールがアーカイブにも取り込むファイルにもありません"),
              std::string::npos)
        << orphan;
    EXPECT_EQ(h.Mails(), 1);
    EXPECT_EQ(h.Import(mail, attachmentHeader + attachment("2002/01/01")), "");
    EXPECT_EQ(h.target->execAndGet("SELECT COUNT(*) FROM tblAttachment").getInt64(), 1);
}

TEST(CsvMerge, OriginalsGoOutAndBackByteForByteAndOnlyWithTheirMail) {
    HandMade h;
    // Bytes of every value, NUL and CP932 included, in the packed form the archive keeps.
    const MailOriginal original{"\x8e\x52\x93\x63 <y@example.jp>", "to",   "cc",
                                std::string("s\0ub", 4),           "date", "From: y\r\n\r\n",
                                std::string("\x00\xff\r\n", 4)};
    {
        auto db = OpenArchive(h.dir / "a.Mdb");
        SQLite::Statement q(*db, "SELECT " + MailColumns() + " FROM tblKamoMail");
        ASSERT_TRUE(q.executeStep());
        OriginalWriter(*db).Put(KeyOf(ReadMailRow(q)), original, "ピンクの引出し", 7);
        q.reset();
        fs::remove_all(h.dir / "export");
        ExportTables(*db, h.dir / "export");
    }
    const std::string csv = test::ReadFile(h.dir / "export" / "tblOriginal.csv");
    const std::string mail = test::ReadFile(h.dir / "export" / "tblKamoMail.csv");
    // Into the archive that holds the mail: the original comes back whole, with its mailbox.
    fs::remove_all(h.dir / "in");
    fs::create_directories(h.dir / "in");
    test::WriteFile(h.dir / "in" / "tblOriginal.csv", csv);
    EXPECT_NO_THROW(ImportTables(*h.target, h.dir / "in"));
    SQLite::Statement q(*h.target, "SELECT " + MailColumns() + " FROM tblKamoMail");
    ASSERT_TRUE(q.executeStep());
    const auto back = OriginalReader(*h.target).Read(KeyOf(ReadMailRow(q)));
    q.reset();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->original, original);
    EXPECT_EQ(back->mailbox, "ピンクの引出し");
    EXPECT_EQ(back->decoding, 7);

    // An original that is damaged, or unpacks to more than any mail holds, would fail every later
    // read of it: refused, naming the line, and nothing is taken.
    const size_t dataAt = csv.rfind(',', csv.size() - 3) + 1; // the last column of the one row
    for (const std::string& packed :
         {std::string("\x28\xb5\x2f\xfd\x00", 5), test::HugePackedOriginal(uint64_t{3} << 30)}) {
        std::string hex;
        for (const unsigned char c : packed)
            hex += "0123456789ABCDEF"[c >> 4] + std::string(1, "0123456789ABCDEF"[c & 15]);
        auto spoilt = OpenArchive(h.dir / "s.Mdb", true);
        CreateTables(*spoilt);
        test::WriteFile(h.dir / "in" / "tblKamoMail.csv", mail);
        test::WriteFile(h.dir / "in" / "tblOriginal.csv", csv.substr(0, dataAt) + hex + "\r\n");
        try {
            ImportTables(*spoilt, h.dir / "in");
            ADD_FAILURE() << "an original that cannot be unpacked was taken";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(ErrorText(e).find("tblOriginal.csv の 2 行目: tblOriginal_Data が元のメールとして読めません"),
                      std::string::npos)
                << ErrorText(e);
        }
        EXPECT_EQ(spoilt->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 0);
        spoilt.reset();
        fs::remove(h.dir / "s.Mdb");
    }
    test::WriteFile(h.dir / "in" / "tblOriginal.csv", csv);
    fs::remove(h.dir / "in" / "tblKamoMail.csv");

    // Into an archive without the mail: refused, unless the import brings the mail too.
    auto empty = OpenArchive(h.dir / "c.Mdb", true);
    CreateTables(*empty);
    try {
        ImportTables(*empty, h.dir / "in");
        ADD_FAILURE() << "an original without its mail was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(ErrorText(e).find(
                      "tblOriginal.csv の 2 行目: この行のメールがアーカイブにも取り込むファイルにもありません"),
                  std::string::npos)
            << ErrorText(e);
    }
    EXPECT_EQ(empty->execAndGet("SELECT COUNT(*) FROM tblOriginal").getInt64(), 0);
    test::WriteFile(h.dir / "in" / "tblKamoMail.csv", mail);
    ImportTables(*empty, h.dir / "in");
    EXPECT_EQ(empty->execAndGet("SELECT COUNT(*) FROM tblOriginal").getInt64(), 1);
}

// The dictionaries go out with the originals and come back before them: an original packed with one
// is taken with its dictionary from the same folder or the archive's own, refused without, and a
// dictionary row whose bytes are not the dictionary its id says is refused itself.
TEST(CsvMerge, OriginalsPackedWithADictionaryComeBackOnlyWithIt) {
    HandMade h;
    const std::string dictionary = test::TrainedOriginalDictionary();
    const auto packing = PackingDictionary::Make(dictionary);
    ASSERT_TRUE(packing);
    const MailOriginal original = test::AlikeOriginal(5);
    {
        auto db = OpenArchive(h.dir / "a.Mdb");
        SQLite::Statement q(*db, "SELECT " + MailColumns() + " FROM tblKamoMail");
        ASSERT_TRUE(q.executeStep());
        KeepDictionary(*db, *packing);
        OriginalWriter(*db).PutPacked(KeyOf(ReadMailRow(q)), PackOriginal(original, packing.get()), "", 3);
        q.reset();
        fs::remove_all(h.dir / "export");
        ExportTables(*db, h.dir / "export");
    }
    const std::string originals = test::ReadFile(h.dir / "export" / "tblOriginal.csv");
    const std::string dictionaries = test::ReadFile(h.dir / "export" / "tblOriginalDictionary.csv");
    // Another dictionary's bytes under this one's id.
    const std::string other = test::TrainedOriginalDictionary(300, 5000);
    std::string otherHex;
    for (const unsigned char c : other)
        otherHex += "0123456789abcdef"[c >> 4] + std::string(1, "0123456789abcdef"[c & 15]);
    const std::string relabelled = dictionaries.substr(0, dictionaries.rfind(",\"") + 2) + otherHex + "\"\r\n";
    const struct {
        const char* name;
        std::optional<std::string> dictionaryFile;
        bool archiveHasIt;
        const char* says; // empty: imported
    } cases[] = {
        {"with its dictionary", dictionaries, false, ""},
        {"the archive has it", std::nullopt, true, ""},
        {"without it", std::nullopt, false, "tblOriginal.csv の 2 行目: tblOriginal_Data が元のメールとして読めません"},
        {"another's bytes under its id", relabelled, false,
         "tblOriginalDictionary.csv の 2 行目: tblOriginalDictionary_Data が元のメールとして読めません"},
    };
    for (const auto& c : cases) {
        fs::remove_all(h.dir / "in");
        fs::create_directories(h.dir / "in");
        test::WriteFile(h.dir / "in" / "tblOriginal.csv", originals);
        if (c.dictionaryFile)
            test::WriteFile(h.dir / "in" / "tblOriginalDictionary.csv", *c.dictionaryFile);
        fs::remove(h.dir / "t.Mdb");
        auto target = OpenArchive(h.dir / "t.Mdb", true);
        CreateTables(*target);
        const MailRecord mail = test::NumberedMail(0);
        test::InsertTestMail(*target, mail);
        if (c.archiveHasIt)
            KeepDictionary(*target, *packing);
        std::string error;
        try {
            ImportTables(*target, h.dir / "in");
        } catch (const std::runtime_error& e) {
            error = ErrorText(e);
        }
        if (*c.says) {
            EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
            EXPECT_EQ(target->execAndGet("SELECT COUNT(*) FROM tblOriginal").getInt64(), 0) << c.name;
            continue;
        }
        EXPECT_EQ(error, "") << c.name;
        EXPECT_EQ(target->execAndGet("SELECT COUNT(*) FROM tblOriginalDictionary").getInt64(), 1) << c.name;
        const auto back = OriginalReader(*target).Read(KeyOf(mail));
        EXPECT_TRUE(back && back->original == original) << c.name;
    }
}

TEST(CsvMerge, ValuesTheArchiveCannotHoldAreRefusedNamingTheColumn) {
    HandMade h;
    const struct {
        std::string row;
        const char* says;
    } cases[] = {
        {HandMade::Row("2002/01/01", "10:00:00", "0", "1", std::string("NUL\0here", 8)),
         "tblKamoMail_Subject に UTF-8 ではない"},
        {HandMade::Row("2002/01/01", "10:00:00", "0", "1", "\xff\xfe"), "tblKamoMail_Subject に UTF-8 ではない"},
        {HandMade::Row("2002/01/01", "10:00:00", "", "1", "空のキー"), "tblKamoMail_SubKey が空です（キーの列）"},
        {HandMade::Row("2002/01/01", "10:00:00", "0", "7", "旗 7"), "tblKamoMail_SndRcvFlag は 0 か 1 のはずです: 7"},
        {HandMade::Row("not a date", "10:00:00", "0", "1", "日付"),
         "tblKamoMail_YMD が日付（yyyy/mm/dd）ではありません"},
        {HandMade::Row("2001/02/29", "10:00:00", "0", "1", "ない日"), "tblKamoMail_YMD が日付"},
        {HandMade::Row("2002/01/01", "25:00:00", "0", "1", "時刻"), "tblKamoMail_HMS が時刻（hh:mm:ss）ではありません"},
        {HandMade::Row("2002/01/01", "10:00:00", "-3", "1", "負"), "tblKamoMail_SubKey が負の数です"},
    };
    for (const auto& c : cases) {
        const std::string error = h.Import(c.row);
        EXPECT_NE(error.find("tblKamoMail.csv の 2 行目: "), std::string::npos) << c.says << ": " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(h.Mails(), 1) << c.says;
    }
    // The marker of an unreadable date is what the read stores: it comes back in.
    EXPECT_EQ(h.Import(HandMade::Row("0000/00/00", "00:00:00", "0", "0", "日付不明")), "");
    EXPECT_EQ(h.Mails(), 2);
}

// A value larger than the archive takes (SQLite's limit for one value, lowered here so the test stays
// small) is refused while it is read, naming file, line and column, before anything is stored.
TEST(CsvMerge, AValueOverTheArchivesLimitIsRefusedWhileRead) {
    HandMade h;
    sqlite3_limit(h.target->getHandle(), SQLITE_LIMIT_LENGTH, 100000);
    const struct {
        std::string rows;
        const char* says;
    } cases[] = {
        {HandMade::Row("2002/01/01", "10:00:00", "0", "1", "大きい", std::string(100001, 'x')),
         "tblKamoMail.csv の 2 行目: tblKamoMail_Mail1（10 列目）の値がアーカイブに保存できる大きさ（100000 "
         "バイト）を超えています"},
        {HandMade::Row("2002/01/01", "10:00:00", "0", "1", "一つ目") +
             HandMade::Row("2002/01/02", "10:00:00", "0", "1", std::string(100001, '"')),
         "tblKamoMail.csv の 3 行目: tblKamoMail_Subject（9 列目）の値が"},
    };
    for (const auto& c : cases) {
        const std::string error = h.Import(c.rows);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find("何も取り込んでいません。"), std::string::npos) << error;
        EXPECT_EQ(h.Mails(), 1);
    }
    // Below it a value is taken; a row over it as a whole is refused at its line too.
    EXPECT_EQ(h.Import(HandMade::Row("2002/01/01", "10:00:00", "0", "1", "下", std::string(90000, 'x'))), "");
    EXPECT_EQ(h.Mails(), 2);
    const std::string row =
        h.Import(HandMade::Row("2002/01/02", "10:00:00", "0", "1", std::string(60000, 's'), std::string(60000, 'x')));
    EXPECT_NE(row.find("tblKamoMail.csv の 2 行目: "), std::string::npos) << row;
    EXPECT_EQ(h.Mails(), 2);
}

TEST(CsvMerge, AFifoInPlaceOfAFileIsRefusedAtOnce) {
    HandMade h;
    fs::create_directories(h.dir / "fifo");
    ASSERT_EQ(::mkfifo((h.dir / "fifo" / "tblKamoMail.csv").c_str(), 0600), 0);
    try {
        ImportTables(*h.target, h.dir / "fifo");
        ADD_FAILURE() << "imported from a FIFO";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(ErrorText(e).find("通常のファイルではありません"), std::string::npos) << ErrorText(e);
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

namespace kamo {
namespace {

// An export written before attachments kept their picture marks lacks that last column: it imports,
// and its pictures are marked by the one rule, in the archive and in the trash.
TEST(CsvMerge, AnExportWithoutPictureMarksImportsAndItsPicturesAreMarked) {
    test::TempDir dir;
    auto source = OpenArchive(dir / "a.Mdb", true);
    CreateTables(*source);
    const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    const MailRecord kept = test::NumberedMail(1), trashed = test::NumberedMail(2);
    test::InsertTestMail(*source, kept, {{"", "application/octet-stream", png}, {"a.txt", "text/plain", "a"}});
    test::InsertTestMail(*source, trashed, {{"b.png", "application/octet-stream", png}});
    MoveToTrash(*source, "tblKamoMail_Subject = :s", [&](SQLite::Statement& st) { st.bind(":s", trashed.subject); });
    ExportTables(*source, dir / "export");
    for (const char* table : {"tblAttachment", "tblTrashAttachment"}) {
        // Each line without its last field: the mark.
        const std::string csv = test::ReadFile(dir / "export" / (std::string(table) + ".csv"));
        std::string older;
        for (size_t at = 0, end; at < csv.size(); at = end + 2) {
            end = csv.find("\r\n", at);
            older += csv.substr(at, csv.rfind(',', end) - at) + "\r\n";
        }
        ASSERT_EQ(older.find("Picture"), std::string::npos) << older;
        test::WriteFile(dir / "export" / (std::string(table) + ".csv"), older);
    }

    auto target = OpenArchive(dir / "b.Mdb", true);
    CreateTables(*target);
    ImportTables(*target, dir / "export");
    const auto listed = ListAttachments(*target, KeyOf(kept));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_TRUE(listed[0].picture);
    EXPECT_FALSE(listed[1].picture);
    EXPECT_EQ(target->execAndGet("SELECT tblAttachment_Picture FROM tblTrashAttachment").getInt(), 1);
    EXPECT_EQ(target->execAndGet("SELECT COUNT(*) FROM tblAttachment WHERE tblAttachment_Picture IS NULL").getInt(), 0);
}

} // namespace
} // namespace kamo
