// Search over 1,000,000 mails (the browse benchmark's archive, with a few rare mails added and the
// index built once): time to the first screen of results (budget 100 ms) and to the whole count,
// for queries of 1, 2, 3 and 6 characters, Japanese and ASCII, rare and common, and by field, date,
// attachment and direction, by the search alone and through the window's search field; reading the
// conversations and the page of the largest; the index build for 100,000
// realistic mails; the index's size beside the archive's; export of 100,000 mails to mbox (MB/s) and the peak memory of
// a fresh process exporting 10,000 and 100,000 mails.
//
//   bench_search                          run the benchmark
//   bench_search --export ARCHIVE MBOX    (internal) export every mail once, in a fresh process
#include <QApplication>
#include <QListView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <QLineEdit>
#include <iostream>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "browse/QtListModels.h"
#include "browse/QtSearchBar.h"
#include "browse/frmConversation.h"
#include "browse/frmKamoMail.h"
#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "export/MailExport.h"
#include "search/ConversationIndex.h"
#include "search/Conversations.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

#include "BenchArchive.h"
#include "BenchSearchArchive.h"
#include "BenchWindow.h"

using namespace kamo;
using namespace kamo::bench;
namespace fs = std::filesystem;

namespace {

constexpr double kBudgetMs = 100.0;
constexpr size_t kScreenLines = 30;

double Seconds(Clock::time_point from) {
    return Ms(from) / 1000.0;
}

double MegaBytes(uint64_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

// Bytes of the index (its tables as the index names them, the FTS5 shadow tables and their automatic
// indexes) and of everything else.
std::pair<uint64_t, uint64_t> IndexAndRest(SQLite::Database& db) {
    SQLite::Statement st(db, "SELECT name, SUM(pgsize) FROM dbstat GROUP BY name");
    uint64_t index = 0, all = 0;
    while (st.executeStep()) {
        const std::string name = st.getColumn(0).getString();
        const auto bytes = static_cast<uint64_t>(st.getColumn(1).getInt64());
        all += bytes;
        for (const auto& table : SearchIndexTables())
            if (name.rfind(table.name, 0) == 0 || name.rfind("sqlite_autoindex_" + table.name, 0) == 0) {
                index += bytes;
                break;
            }
    }
    return {index, all - index};
}

struct Query {
    const char* label;
    const char* text;
};

const Query kQueries[] = {
    {"ja 1 rare", "鬱"},
    {"ja 2 rare", "鬱蒼"},
    {"ja 3 rare", "鬱蒼と"},
    {"ja 6 rare", "鬱蒼とした森"},
    {"ja 1 common", "の"},
    {"ja 2 common", "手紙"},
    {"ja 3 common", "こんに"},
    {"ja 6 common", "ペットのお手"},
    {"ascii 1 rare", "q"},
    {"ascii 2 rare", "qu"},
    {"ascii 3 rare", "qui"},
    {"ascii 6 rare", "QUIXOT"},
    {"ascii 1 common", "e"},
    {"ascii 2 common", "ex"},
    {"ascii 3 common", "exa"},
    {"ascii 6 common", "friend"},
    {"ja 2 mid (1.8%)", "ゆき"},
    {"two words", "鬱蒼 森"},
    {"ascii 9 mid", "friend399"},
    {"none", "存在しない言葉"},
    // By field, date, attachment and direction.
    {"from: rare", "from:旅人"},
    {"subject: rare", "subject:鬱蒼"},
    {"body: common", "body:引用"},
    {"date: a month", "date:2004-04"},
    {"date: range", "date:2002-03..2002-05"},
    {"date: open end", "date:2009-06.."},
    {"date+word", "date:2003 手紙"},
    {"sent in a day", "is:sent date:2005-07-07"},
    {"has:picture", "has:picture"},
    {"-has:attachment", "-has:attachment"},
    {"to: + not sent", "to:かも -is:sent"},
    {"rare + -date", "鬱蒼 -date:2001..2004"},
};

struct Timing {
    double firstMs = 0;
    double allMs = 0;
    size_t count = 0;
    SearchStream::Plan plan = SearchStream::Plan::NoTerms;
};

// The first screen as the window gets it: the stream made, then read in slices until a screenful
// (or everything) is there; then the rest, to the whole count.
Timing TimeQuery(SQLite::Database& db, const char* text) {
    Timing t;
    const auto start = Clock::now();
    SearchStream stream(db, text);
    std::vector<int64_t> rows;
    while (rows.size() < kScreenLines && stream.Read(rows, 4096)) {
    }
    t.firstMs = Ms(start);
    stream.SetSliceTime(std::chrono::milliseconds(0));
    while (stream.Read(rows, 65536)) {
    }
    t.allMs = Ms(start);
    t.count = rows.size();
    t.plan = stream.UsedPlan();
    return t;
}

const char* PlanName(SearchStream::Plan plan) {
    switch (plan) {
    case SearchStream::Plan::Candidates:
        return "candidates";
    case SearchStream::Plan::Scan:
        return "scan";
    case SearchStream::Plan::FoldingScan:
        return "folding";
    case SearchStream::Plan::Conditions:
        return "conditions";
    default:
        return "-";
    }
}

// The same through the window: the field's Enter, then the event loop until a screenful is there
// (first) and until the last line has come in (all).
Timing TimeWindowQuery(QtSearchBar& bar, SubjectListModel& model, const char* text) {
    Timing t;
    bar.findChild<QLineEdit*>("txtSearch")->setText(QString::fromUtf8(text));
    const auto start = Clock::now();
    bar.Search();
    while (model.Loading() && static_cast<size_t>(model.rowCount()) < kScreenLines)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents(); // lay out and paint what the list now shows
    t.firstMs = Ms(start);
    while (model.Loading())
        QCoreApplication::processEvents();
    t.allMs = Ms(start);
    t.count = static_cast<size_t>(model.rowCount());
    return t;
}

// Conversations: the reading of the whole archive (what every terminal list with threads waits
// for); the index made once for an archive that lacks it; one mail's conversation through the index
// (the largest: the rare mails, one conversation by their IDs; and a mail of the browse archive,
// alone); the page of the largest as the window opens it, its look-up included.
void TimeConversations(SQLite::Database& db, QWidget& window) {
    NullWaitReporter quiet;
    const bool lacking = !ConversationIndexComplete(db);
    auto start = Clock::now();
    UpdateConversationIndex(db, quiet);
    const double madeMs = Ms(start);
    // The newest mail with the rare word: the first the search lists.
    SearchStream rareSearch(db, kRareWord);
    rareSearch.SetSliceTime(std::chrono::milliseconds(0));
    std::vector<int64_t> found;
    while (found.empty() && rareSearch.Read(found, 1)) {
    }
    const int64_t rare = found.at(0);
    const int64_t plain = db.execAndGet("SELECT MIN(rowid) FROM tblKamoMail").getInt64();
    std::vector<double> read, largest, lone, page;
    size_t size = 0;
    for (int i = 0; i < 3; ++i) {
        start = Clock::now();
        const Conversations conversations(db);
        read.push_back(Ms(start));
        start = Clock::now();
        const Conversation found = ConversationOf(db, rare, quiet);
        largest.push_back(Ms(start));
        start = Clock::now();
        const Conversation alone = ConversationOf(db, plain, quiet);
        lone.push_back(Ms(start));
        if (found.rows != conversations.MailsWith(rare) || alone.rows != conversations.MailsWith(plain))
            std::printf("conversations: the index and the whole reading disagree\n");
        start = Clock::now();
        const std::vector<int64_t> rows = ConversationOf(db, rare, quiet).rows;
        frmConversation shown(db, rows, rare, &window);
        shown.show();
        QCoreApplication::processEvents();
        page.push_back(Ms(start));
        size = found.rows.size();
    }
    for (auto* v : {&read, &largest, &lone, &page})
        std::sort(v->begin(), v->end());
    if (lacking)
        std::printf("conversation index made for %d mails in %.1f s\n", kMails + kRareMails, madeMs / 1000.0);
    std::printf("conversations: reading all of %d mails %.1f ms; one mail's through the index: the largest (%zu mails)"
                " %.2f ms, a lone mail %.2f ms; the page of the largest %.1f ms (medians of 3)\n",
                kMails + kRareMails, read[1], size, largest[1], lone[1], page[1]);
}

fs::path SelfPath() {
    return fs::read_symlink("/proc/self/exe");
}

// The peak resident size of this process's own memory (VmHWM). Not the rusage figure: a child
// started by fork and exec is charged the parent's size at the fork.
long PeakKbOfThisProcess() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Exports in a fresh process; its wall time and peak resident size.
bool ExportInChild(const fs::path& archive, const fs::path& mbox, double& seconds, long& peakKb) {
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        const std::string self = SelfPath().string();
        ::execl(self.c_str(), self.c_str(), "--export", archive.c_str(), mbox.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[64] = {};
    const ssize_t n = ::read(fds[0], buf, sizeof buf - 1);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    std::sscanf(buf, "%lf %ld", &seconds, &peakKb);
    return true;
}

int ExportOnce(const char* archive, const char* mbox) {
    auto db = OpenArchive(archive);
    NullWaitReporter quiet;
    const auto start = Clock::now();
    ExportMails(*db, MailSelection::All(), MailFormat::Mbox, mbox, quiet);
    std::printf("%.6f %ld\n", Seconds(start), PeakKbOfThisProcess());
    return 0;
}

void FillGenerated(SQLite::Database& db, size_t n) {
    const auto mails = test::GeneratedMails(n, 2001);
    std::mt19937_64 rng(1);
    SQLite::Transaction tx(db);
    for (const auto& m : mails)
        test::InsertSpread(db, m, rng);
    tx.commit();
}

void BuildAndExport100k() {
    test::TempDir dir;
    auto db = OpenArchive(dir / "KamoMail.Mdb", true);
    CreateTables(*db);
    const auto mails = test::GeneratedMails(100000, 2001);
    std::mt19937_64 rng(1);
    uint64_t textBytes = 0;
    {
        SQLite::Transaction tx(*db);
        for (const auto& m : mails) {
            test::InsertSpread(*db, m, rng);
            textBytes += m.subject.size() + m.sndName.size() + m.sndAdd.size() + m.rcvName.size() + m.rcvAdd.size() +
                         m.body.size();
        }
        tx.commit();
    }
    NullWaitReporter quiet;
    const auto start = Clock::now();
    RebuildSearchIndex(*db, quiet);
    const double seconds = Seconds(start);
    const auto [index, rest] = IndexAndRest(*db);
    std::printf("index build, 100,000 generated mails (%.1f MB of text): %.2f s (%.1f MB/s of text)\n",
                MegaBytes(textBytes), seconds, MegaBytes(textBytes) / seconds);
    std::printf("  index %.1f MB beside the archive's %.1f MB (%.0f%%)\n", MegaBytes(index), MegaBytes(rest),
                100.0 * static_cast<double>(index) / static_cast<double>(rest));
    db.reset();

    // Export: every mail of the 100,000 to one mbox, and the same for 10,000, each in a fresh process.
    auto small = OpenArchive(dir / "small.Mdb", true);
    CreateTables(*small);
    FillGenerated(*small, 10000);
    small.reset();
    double seconds100k = 0, seconds10k = 0;
    long peak100k = 0, peak10k = 0;
    if (!ExportInChild(dir / "KamoMail.Mdb", dir / "all.mbox", seconds100k, peak100k) ||
        !ExportInChild(dir / "small.Mdb", dir / "small.mbox", seconds10k, peak10k)) {
        std::printf("export: a child run failed\n");
        return;
    }
    const double mb = MegaBytes(fs::file_size(dir / "all.mbox"));
    std::printf("export to mbox, 100,000 mails: %.2f s, %.1f MB written, %.1f MB/s (%.0f mails/s)\n", seconds100k, mb,
                mb / seconds100k, 100000 / seconds100k);
    std::printf("  peak memory of the exporting process: %.1f MB for 10,000 mails, %.1f MB for 100,000 mails"
                " (%+.1f MB)\n",
                static_cast<double>(peak10k) / 1024.0, static_cast<double>(peak100k) / 1024.0,
                static_cast<double>(peak100k - peak10k) / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--export")
        return ExportOnce(argv[2], argv[3]);
    double buildSeconds = 0;
    bool cached = false;
    const fs::path archive = StartSearchBench(buildSeconds, cached);
    QApplication app(argc, argv);
    auto db = OpenArchive(archive);
    const auto [index, rest] = IndexAndRest(*db);
    std::printf("archive %s: %d mails; index built in %.1f s%s\n", archive.c_str(), kMails + kRareMails, buildSeconds,
                cached ? " (when the cached copy was made)" : "");
    std::printf("  index %.1f MB beside the archive's %.1f MB (%.0f%%)\n", MegaBytes(index), MegaBytes(rest),
                100.0 * static_cast<double>(index) / static_cast<double>(rest));

    // The window over the same archive (the session does not own the file: nothing is compacted).
    bench::BenchWindow bench(archive);
    if (!bench.loaded)
        return 1;
    frmKamoMail& window = *bench.window;
    auto* bar = window.findChild<QtSearchBar*>("QtSearchBar");
    auto* model = qobject_cast<SubjectListModel*>(window.findChild<QListView*>("lstSubject")->model());

    std::printf("%-18s %-14s %9s %10s %9s %9s %10s %10s %7s\n", "query (1,000,025)", "text", "results", "way",
                "first ms", "all ms", "window 1st", "window all", "budget");
    bool within = true;
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    for (const auto& q : kQueries) {
        std::vector<double> first, all, windowFirst, windowAll;
        Timing t;
        for (int i = 0; i < 3; ++i) {
            t = TimeQuery(*db, q.text);
            first.push_back(t.firstMs);
            all.push_back(t.allMs);
            const Timing w = TimeWindowQuery(*bar, *model, q.text);
            windowFirst.push_back(w.firstMs);
            windowAll.push_back(w.allMs);
            if (w.count != t.count)
                std::printf("window and search disagree on %s: %zu, %zu\n", q.text, w.count, t.count);
        }
        const bool ok = median(first) < kBudgetMs && median(windowFirst) < kBudgetMs;
        within = within && ok;
        std::printf("%-18s %-14s %9zu %10s %9.1f %9.1f %10.1f %10.1f %7s\n", q.label, q.text, t.count, PlanName(t.plan),
                    median(first), median(all), median(windowFirst), median(windowAll), ok ? "within" : "OVER");
    }
    std::printf("%s (first screen: %zu lines or the whole result; medians of 3)\n",
                within ? "all first screens within budget" : "some first screens over budget", kScreenLines);
    TimeConversations(*db, window);
    std::fflush(stdout);
    window.close();
    BuildAndExport100k();
    return 0;
}
