// Reading mail: N new mails through the whole read (conversion by the library, parsing, decoding,
// read-time filters, duplicate check, insert, filter refresh, look-ups) against a bare prepared,
// single-transaction insert of the same rows (mail and attachments) into the same schema. Every
// tenth mail is a MIME multipart mail with a picture attached. Each side runs in a child process so
// that its peak memory can be told apart; 10,000 and 100,000 mails, each side three times. The read
// also runs without keeping the mails' originals (ReadHooks::keepOriginals, the benchmark's own
// switch), in the same rounds, to weigh what keeping them costs in time; their size is weighed
// against the PostPet files read.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include "db/Schema.h"
#include "import/MailRead.h"
#include "testsupport/TestSupport.h"

#include "BenchChild.h"
#include "BenchMailbox.h"

using namespace kamo;
using namespace kamo::bench;
using Clock = std::chrono::steady_clock;

namespace {

FilterTables BenchFilters() {
    FilterTables t;
    const FilterEntry entries[] = {
        {10, 1, 0, "会議", "会議"},         {20, 3, 0, "example", "example.jp"}, {30, 4, 0, "花子", "山田 花子"},
        {40, 0, 0, "元気", "お元気ですか"}, {50, 5, 0, "ポチ", "ポチ"},          {60, 0, 1, "広告", "未承諾広告※"},
    };
    for (const auto& e : entries) {
        t.filters[static_cast<std::size_t>(t.count++)] = e;
        if (e.actionCode != 0)
            t.readFilters[static_cast<std::size_t>(t.readCount++)] = e;
    }
    return t;
}

Outcome WholeRead(const std::filesystem::path& dir, const std::filesystem::path& archive, bool keepOriginals = true) {
    auto db = OpenArchive(archive, true);
    CreateTables(*db);
    const FilterTables tables = BenchFilters();
    KamoLibrary library(test::BuildLibraryPath());
    const ReadRequest request = InboxRead(dir);
    NullWaitReporter wait;
    ReadHooks hooks = StandardReadHooks(*db, tables);
    hooks.keepOriginals = keepOriginals;
    const double cpuStart = CpuNow();
    const auto start = Clock::now();
    const ReadSummary summary = ReadPostPetMail(*db, library, request, hooks, wait);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuNow() - cpuStart;
    if (!summary.completed)
        throw std::runtime_error("the read did not complete");
    return {seconds, cpu, static_cast<long long>(summary.Totals().stored), 0, true};
}

// One stored value as the bare insert binds it again: integer, text or bytes.
struct Value {
    int type = SQLITE_NULL;
    int64_t number = 0;
    std::string bytes;
};

// Every row of `table`, read into memory before the clock starts.
std::vector<std::vector<Value>> ReadRows(SQLite::Database& source, const char* table) {
    std::vector<std::vector<Value>> rows;
    SQLite::Statement all(source, std::string("SELECT * FROM ") + table);
    while (all.executeStep()) {
        std::vector<Value> row(static_cast<std::size_t>(all.getColumnCount()));
        for (int c = 0; c < all.getColumnCount(); ++c) {
            const SQLite::Column column = all.getColumn(c);
            Value& v = row[static_cast<std::size_t>(c)];
            v.type = column.getType();
            if (v.type == SQLITE_INTEGER)
                v.number = column.getInt64();
            else if (v.type != SQLITE_NULL && column.getBytes() > 0)
                v.bytes.assign(static_cast<const char*>(column.getBlob()), static_cast<std::size_t>(column.getBytes()));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void InsertRows(SQLite::Database& db, const char* table, const std::vector<std::vector<Value>>& rows) {
    if (rows.empty())
        return;
    std::string sql = std::string("INSERT INTO ") + table + " VALUES (?";
    for (std::size_t c = 1; c < rows[0].size(); ++c)
        sql += ", ?";
    SQLite::Statement insert(db, sql + ")");
    for (const auto& row : rows) {
        insert.reset();
        for (std::size_t c = 0; c < row.size(); ++c) {
            const int n = static_cast<int>(c) + 1;
            const Value& v = row[c];
            if (v.type == SQLITE_INTEGER)
                insert.bind(n, v.number);
            else if (v.type == SQLITE_BLOB)
                insert.bind(n, static_cast<const void*>(v.bytes.data()), static_cast<int>(v.bytes.size()));
            else if (v.type == SQLITE_NULL)
                insert.bind(n);
            else
                insert.bind(n, v.bytes);
        }
        insert.exec();
    }
}

Outcome BareInsert(const std::filesystem::path& from, const std::filesystem::path& archive) {
    std::vector<std::vector<Value>> mails, attachments;
    {
        SQLite::Database source(from.string());
        mails = ReadRows(source, "tblKamoMail");
        attachments = ReadRows(source, "tblAttachment");
    }
    auto db = OpenArchive(archive, true);
    CreateTables(*db);
    const double cpuStart = CpuNow();
    const auto start = Clock::now();
    {
        SQLite::Transaction tx(*db);
        InsertRows(*db, "tblKamoMail", mails);
        InsertRows(*db, "tblAttachment", attachments);
        tx.commit();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {seconds, CpuNow() - cpuStart, static_cast<long long>(mails.size()), 0, true};
}

constexpr int kRounds = 3;

std::string Fixed(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

// Every this many mails one is multipart (0: none); the second argument sets it, for comparing.
uint64_t multipartEvery = 10;

// What the originals take in the archive, their dictionary included: the tables' pages when SQLite
// can count them (dbstat), else the packed bytes alone.
double OriginalBytes(const std::filesystem::path& archive, bool& pages) {
    SQLite::Database db(archive.string());
    try {
        pages = true;
        return static_cast<double>(
            db.execAndGet("SELECT SUM(pgsize) FROM dbstat WHERE name IN ('tblOriginal', 'idxOriginal_Decoding', "
                          "'tblOriginalDictionary') OR name LIKE 'sqlite_autoindex_tblOriginal%'")
                .getInt64());
    } catch (const SQLite::Exception&) {
        pages = false;
        return static_cast<double>(
            db.execAndGet("SELECT (SELECT SUM(length(tblOriginal_Data)) FROM tblOriginal) + (SELECT "
                          "ifnull(SUM(length(tblOriginalDictionary_Data)), 0) FROM tblOriginalDictionary)")
                .getInt64());
    }
}

bool Run(uint64_t mails, long& peakKb) {
    test::TempDir dir;
    const MailboxFiles files = LocateMailbox(dir / "PostPet", Mailboxes()[0]);
    std::filesystem::create_directories(files.list.parent_path());
    WriteBenchMailbox(files.list, files.mail, mails, multipartEvery);

    // Both sides several times, in turns: other work on a shared machine slows single runs by a
    // third and more, so each side's best run is compared. Peak memory is the largest seen.
    Outcome read, bare, plain;
    std::string readRuns, bareRuns, plainRuns;
    for (int round = 0; round < kRounds; ++round) {
        std::filesystem::remove(dir / "read.Mdb");
        std::filesystem::remove(dir / "bare.Mdb");
        std::filesystem::remove(dir / "plain.Mdb");
        const Outcome r = InChild("bench_import", [&] { return WholeRead(dir.path(), dir / "read.Mdb"); });
        if (!r.ok)
            return false;
        const Outcome p = InChild("bench_import", [&] { return WholeRead(dir.path(), dir / "plain.Mdb", false); });
        if (!p.ok)
            return false;
        plainRuns += (round ? ", " : "") + Fixed(p.seconds);
        if (round == 0 || p.seconds < plain.seconds)
            plain = p;
        const Outcome b = InChild("bench_import", [&] { return BareInsert(dir / "read.Mdb", dir / "bare.Mdb"); });
        if (!b.ok)
            return false;
        readRuns += (round ? ", " : "") + Fixed(r.seconds);
        bareRuns += (round ? ", " : "") + Fixed(b.seconds);
        const long peak = std::max(read.peakKb, r.peakKb);
        if (round == 0 || r.seconds < read.seconds)
            read = r;
        read.peakKb = peak;
        if (round == 0 || b.seconds < bare.seconds)
            bare = b;
    }
    peakKb = read.peakKb;
    std::printf("import %llu mails (%llu multipart with a %zu-byte picture), best of %d: whole read %.2f s (%.0f "
                "mails/s, %lld stored), bare insert %.2f s (%.0f rows/s); ratio %.2f (budget 3 for 100,000 mails); "
                "read peak memory %.1f MB\n",
                static_cast<unsigned long long>(mails),
                static_cast<unsigned long long>(multipartEvery > 0 ? mails / multipartEvery : 0), kPictureBytes,
                kRounds, read.seconds, static_cast<double>(mails) / read.seconds, read.rows, bare.seconds,
                static_cast<double>(bare.rows) / bare.seconds, read.seconds / bare.seconds,
                static_cast<double>(read.peakKb) / 1024.0);
    std::printf("  every run: whole read %s s; bare insert %s s\n", readRuns.c_str(), bareRuns.c_str());
    // Keeping the originals: the whole read above against the same read without them, best of each.
    bool pages = false;
    const double originals = OriginalBytes(dir / "read.Mdb", pages);
    const double postPet =
        static_cast<double>(std::filesystem::file_size(files.list) + std::filesystem::file_size(files.mail));
    std::printf("  originals kept: whole read %.2f s, without originals %.2f s (every run: %s s); ratio %.2f "
                "(budget 1.15); originals %.1f MB (%s) for %.1f MB of PostPet files read; ratio %.2f (budget 0.5)\n",
                read.seconds, plain.seconds, plainRuns.c_str(), read.seconds / plain.seconds, originals / 1e6,
                pages ? "table and index pages" : "packed bytes", postPet / 1e6, originals / postPet);
    // The pictures are random bytes: any lossless packing keeps every one of them, so they alone set
    // a floor under the ratio, whatever the text packs to.
    const double pictureBytes =
        static_cast<double>(multipartEvery > 0 ? mails / multipartEvery : 0) * static_cast<double>(kPictureBytes);
    std::printf("  the pictures' random bytes alone: %.1f MB, %.2f of the PostPet files\n", pictureBytes / 1e6,
                pictureBytes / postPet);
    // Processor time of the same two runs: the read decodes on a second thread, so its processor
    // time is above its wall time.
    std::printf("  cpu time: whole read %.2f s, bare insert %.2f s; ratio %.2f; whole read without originals %.2f s, "
                "originals kept ratio %.2f\n",
                read.cpu, bare.cpu, read.cpu / bare.cpu, plain.cpu, read.cpu / plain.cpu);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // SQLite set up as the program sets it up.
    ConfigureSqliteForProcess();
    if (argc >= 2) { // one size only, for profiling; then how often a mail is multipart
        if (argc >= 3)
            multipartEvery = std::stoull(argv[2]);
        long peak = 0;
        return Run(std::stoull(argv[1]), peak) ? 0 : 1;
    }
    long small = 0, large = 0;
    if (!Run(10000, small) || !Run(100000, large)) {
        std::fprintf(stderr, "bench_import: a run failed\n");
        return 1;
    }
    std::printf("import peak memory: %.1f MB for 10,000 mails, %.1f MB for 100,000 mails\n",
                static_cast<double>(small) / 1024.0, static_cast<double>(large) / 1024.0);
    return 0;
}
