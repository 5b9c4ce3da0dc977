// Exporting mail: the mbox export of a whole archive whose every mail has its original kept, made
// from the rows (the messages MailMessageText makes) and with --original (each mail's original
// unpacked and written as it was), in alternating rounds, each run in a child process so that its
// peak memory is its own. 10,000 and 100,000 mails: with originals within 1.5 times the time of
// without, and memory flat (the peak of 100,000 mails no higher than that of 10,000). The archives
// are made once by the whole read of the benchmarks' mailbox (BenchMailbox.h) and kept under
// build/bench-data.
//   bench_export                         both sizes, every side three times
//   bench_export N [made|original [FILE]]  one size (made once), one side once in this process, for perf;
//                                          the mbox kept as FILE, to compare the bytes of two builds
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <SQLiteCpp/Statement.h>

#include "db/MailOriginals.h"
#include "db/Schema.h"
#include "export/MailExport.h"
#include "import/MailRead.h"
#include "testsupport/TestSupport.h"

#include "BenchChild.h"
#include "BenchMailbox.h"

using namespace kamo;
using namespace kamo::bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 3;
constexpr uint64_t kMultipartEvery = 10;
// Raised whenever the way the archives are made changes, so a cached one is made again.
constexpr int kRecipe = 1;

fs::path DataDir() {
    return test::BuildBinDir().parent_path() / "bench-data";
}

fs::path ArchivePath(uint64_t mails) {
    return DataDir() / ("export-" + std::to_string(mails) + ".Mdb");
}

// What the archive was made from and holds, written beside it once it is whole.
std::string StampOf(uint64_t mails, int64_t stored) {
    return "recipe " + std::to_string(kRecipe) + ", " + std::to_string(mails) + " mails, " + std::to_string(stored) +
           " stored, decoding " + std::to_string(kDecodingVersion) + "\n";
}

fs::path StampPath(uint64_t mails) {
    return ArchivePath(mails).string() + ".made";
}

bool CachedArchiveUsable(uint64_t mails) {
    const fs::path path = ArchivePath(mails);
    if (!fs::exists(path) || !fs::exists(StampPath(mails)))
        return false;
    try {
        SQLite::Database db(path.string(), SQLite::OPEN_READONLY);
        const int64_t stored = db.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
        const int64_t originals = db.execAndGet("SELECT COUNT(*) FROM tblOriginal").getInt64();
        return stored == originals && test::ReadFile(StampPath(mails)) == StampOf(mails, stored);
    } catch (const std::exception&) {
        return false;
    }
}

// The mailbox read into a new archive as the program reads it, its originals kept.
Outcome MakeArchive(uint64_t mails) {
    test::TempDir dir;
    const MailboxFiles files = LocateMailbox(dir / "PostPet", Mailboxes()[0]);
    fs::create_directories(files.list.parent_path());
    WriteBenchMailbox(files.list, files.mail, mails, kMultipartEvery);
    const fs::path path = ArchivePath(mails);
    fs::create_directories(path.parent_path());
    fs::remove(path);
    fs::remove(StampPath(mails));
    auto db = OpenArchive(path, true);
    CreateTables(*db);
    const FilterTables tables;
    KamoLibrary library(test::BuildLibraryPath());
    const ReadRequest request = InboxRead(dir.path());
    NullWaitReporter wait;
    const auto start = Clock::now();
    const ReadSummary summary = ReadPostPetMail(*db, library, request, StandardReadHooks(*db, tables), wait);
    if (!summary.completed)
        throw std::runtime_error("the read did not complete");
    const int64_t stored = summary.Totals().stored;
    test::WriteFile(StampPath(mails), StampOf(mails, stored));
    return {std::chrono::duration<double>(Clock::now() - start).count(), 0, stored, 0, true};
}

bool PrepareArchive(uint64_t mails) {
    if (CachedArchiveUsable(mails))
        return true;
    const Outcome made = InChild("bench_export", [&] { return MakeArchive(mails); });
    if (!made.ok)
        return false;
    std::printf("made the %llu-mail archive (%lld stored, originals kept) in %.1f s: %s\n",
                static_cast<unsigned long long>(mails), made.rows, made.seconds, ArchivePath(mails).c_str());
    return true;
}

// One mbox export of the whole archive; rows: the mails written. `bytes` gets the file's size.
Outcome ExportOnce(uint64_t mails, bool original, const fs::path& target) {
    auto db = OpenArchive(ArchivePath(mails));
    NullWaitReporter wait;
    ExportOptions options;
    options.original = original;
    const double cpuStart = CpuNow();
    const auto start = Clock::now();
    const ExportResult result = ExportMails(*db, MailSelection::All(), MailFormat::Mbox, target, wait, options);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (result.unreadableOriginals != 0 || result.withoutOriginal != 0)
        throw std::runtime_error("originals were not read");
    return {seconds, CpuNow() - cpuStart, result.written, 0, true};
}

std::string Fixed(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

struct Side {
    Outcome best;
    long peakKb = 0;
    std::string runs;
    double megabytes = 0;
};

bool Run(uint64_t mails, Side& made, Side& original) {
    if (!PrepareArchive(mails))
        return false;
    test::TempDir dir;
    for (int round = 0; round < kRounds; ++round) {
        for (Side* side : {&made, &original}) {
            const bool asOriginal = side == &original;
            const fs::path target = dir / (asOriginal ? "original.mbox" : "made.mbox");
            const Outcome o = InChild("bench_export", [&] { return ExportOnce(mails, asOriginal, target); });
            if (!o.ok)
                return false;
            side->megabytes = static_cast<double>(fs::file_size(target)) / 1e6;
            fs::remove(target);
            side->runs += (round ? ", " : "") + Fixed(o.seconds);
            if (round == 0 || o.seconds < side->best.seconds)
                side->best = o;
            side->peakKb = std::max(side->peakKb, o.peakKb);
        }
    }
    std::printf("export mbox of %lld mails (every %llu-th multipart with a %zu-byte picture), best of %d: "
                "without originals %.2f s (%.0f mails/s, %.1f MB), with originals %.2f s (%.0f mails/s, %.1f MB); "
                "ratio %.2f (budget 1.5); peak memory %.1f MB and %.1f MB\n",
                made.best.rows, static_cast<unsigned long long>(kMultipartEvery), kPictureBytes, kRounds,
                made.best.seconds, static_cast<double>(made.best.rows) / made.best.seconds, made.megabytes,
                original.best.seconds, static_cast<double>(original.best.rows) / original.best.seconds,
                original.megabytes, original.best.seconds / made.best.seconds,
                static_cast<double>(made.peakKb) / 1024.0, static_cast<double>(original.peakKb) / 1024.0);
    std::printf("  every run: without originals %s s; with originals %s s\n", made.runs.c_str(), original.runs.c_str());
    std::printf("  cpu time: without originals %.2f s, with originals %.2f s; ratio %.2f\n", made.best.cpu,
                original.best.cpu, original.best.cpu / made.best.cpu);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2) { // one size, one side, in this process: for perf record
        const uint64_t mails = std::stoull(argv[1]);
        const bool original = argc < 3 || std::strcmp(argv[2], "made") != 0;
        if (!PrepareArchive(mails))
            return 1;
        test::TempDir dir;
        const Outcome o = ExportOnce(mails, original, argc >= 4 ? fs::path(argv[3]) : dir / "out.mbox");
        std::printf("export mbox of %lld mails %s: %.2f s (cpu %.2f s)\n", o.rows,
                    original ? "with originals" : "without originals", o.seconds, o.cpu);
        return 0;
    }
    Side small[2], large[2];
    if (!Run(10000, small[0], small[1]) || !Run(100000, large[0], large[1])) {
        std::fprintf(stderr, "bench_export: a run failed\n");
        return 1;
    }
    std::printf("export peak memory: without originals %.1f MB for 10,000 mails, %.1f MB for 100,000 mails; "
                "with originals %.1f MB for 10,000 mails, %.1f MB for 100,000 mails\n",
                static_cast<double>(small[0].peakKb) / 1024.0, static_cast<double>(large[0].peakKb) / 1024.0,
                static_cast<double>(small[1].peakKb) / 1024.0, static_cast<double>(large[1].peakKb) / 1024.0);
    return 0;
}
