// Filter run over 100,000 mails with 20 filters of all six rules, against one scan of the mail table.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "db/Schema.h"
#include "filters/FilterRun.h"
#include "filters/FilterStore.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMails = 100000;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

const std::vector<std::string> kFamily = {"山田", "佐藤", "鈴木", "高橋", "田中", "渡辺",  "伊藤",    "中村",
                                          "小林", "加藤", "吉田", "山本", "ﾀﾅｶ",  "Smith", "ＭＯＭＯ"};
const std::vector<std::string> kGiven = {"太郎", "花子", "一郎", "さくら", "健太", "美咲", "ﾊﾅｺ", "John", "ﾓﾓ"};
const std::vector<std::string> kDomains = {"example.jp", "Pet.Example.COM", "mail.example.ne.jp", "ＺＥＮ.example",
                                           "so-net.example.jp"};
const std::vector<std::string> kSubjects = {"お元気ですか",         "Re: ポストペット通信", "ＰｏｓｔＰｅｔ　ニュース",
                                            "【広告】特価のご案内", "ガイドブック送ります", "Meeting on Monday",
                                            "ｶﾞｲﾄﾞ届きました",      "It's O'Brien's party", "写真|添付"};

struct Mail {
    std::string name, addr;
};

Mail Person(std::mt19937_64& rng, int i) {
    const std::string& family = kFamily[rng() % kFamily.size()];
    const std::string& given = kGiven[rng() % kGiven.size()];
    return {family + " " + given, "user" + std::to_string(i % 997) + "@" + kDomains[rng() % kDomains.size()]};
}

void FillArchive(SQLite::Database& db) {
    std::mt19937_64 rng(20010904);
    SQLite::Transaction tx(db);
    SQLite::Statement insert(db, "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                                 "tblKamoMail_SndRcvFlag, tblKamoMail_SndName, tblKamoMail_SndAdd, "
                                 "tblKamoMail_RcvName, tblKamoMail_RcvAdd, tblKamoMail_Subject, tblKamoMail_Mail1, "
                                 "tblKamoMail_Include) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '')");
    std::string body;
    for (int p = 0; p < 12; ++p)
        body += "こんにちは。先日はありがとうございました。ペットのモモも元気です。\r\n";
    for (int i = 0; i < kMails; ++i) {
        const Mail snd = Person(rng, static_cast<int>(rng() % 5000));
        const Mail rcv = Person(rng, static_cast<int>(rng() % 5000));
        char ymd[16], hms[16];
        std::snprintf(ymd, sizeof ymd, "%04d/%02d/%02d", 1999 + i % 4, 1 + i % 12, 1 + i % 28);
        std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", i % 24, (i / 24) % 60, (i / 1440) % 60);
        insert.bind(1, ymd);
        insert.bind(2, hms);
        insert.bind(3, static_cast<int64_t>(i));
        insert.bind(4, static_cast<int>(rng() % 2));
        insert.bind(5, snd.name);
        insert.bind(6, snd.addr);
        insert.bind(7, rcv.name);
        insert.bind(8, rcv.addr);
        insert.bind(9, kSubjects[rng() % kSubjects.size()] + " #" + std::to_string(i % 100));
        insert.bind(10, body);
        insert.exec();
        insert.reset();
    }
    tx.commit();
}

FilterEntry Filter(int16_t rule, std::string data) {
    FilterEntry e;
    e.number = 0;
    e.termsCode = rule;
    e.actionCode = 0;
    e.header = "bench";
    e.data = std::move(data);
    return e;
}

// One pass over the mail table reading every value a filter-data row copies.
double ScanSeconds(SQLite::Database& db, const char* sql, int64_t& bytes) {
    auto start = Clock::now();
    SQLite::Statement scan(db, sql);
    bytes = 0;
    while (scan.executeStep())
        for (int c = 0; c < scan.getColumnCount(); ++c)
            bytes += scan.getColumn(c).getBytes();
    return Seconds(start);
}

} // namespace

int main() {
    test::TempDir dir;
    auto db = OpenArchive(dir / "KamoMail.Mdb", true);
    CreateTables(*db);
    auto start = Clock::now();
    FillArchive(*db);
    std::printf("filters: %d mails stored in %.2f s\n", kMails, Seconds(start));

    const std::vector<FilterEntry> entries = {
        Filter(0, "お元気ですか #7"),
        Filter(0, "meeting on monday #3"),
        Filter(0, "存在しない件名"),
        Filter(1, "PostPet"),
        Filter(1, "ｶﾞｲﾄﾞ"),
        Filter(1, "広告"),
        Filter(1, "O'Brien"),
        Filter(1, "|"),
        Filter(2, "user5@example.jp"),
        Filter(2, "USER17@PET.EXAMPLE.COM"),
        Filter(2, "nobody@nowhere"),
        Filter(3, "pet.example"),
        Filter(3, "ｚｅｎ"),
        Filter(3, "USER99"),
        Filter(4, "山田 太郎"),
        Filter(4, "ﾀﾅｶ ﾊﾅｺ"),
        Filter(4, "smith john"),
        Filter(5, "ｍｏｍｏ"),
        Filter(5, "john"),
        Filter(5, "さくら"),
    };
    FilterTables tables;
    for (const auto& e : entries)
        AddFilter(tables, EditArea{e.header, e.data, e.termsCode, e.actionCode});
    NullWaitReporter wait;
    if (!SaveFilters(*db, tables, wait) || tables.count != 20) {
        std::printf("filters: could not store the filters\n");
        return 1;
    }
    int containsFilters = 0;
    for (const auto& e : entries)
        if (e.termsCode == 1 || e.termsCode == 3 || e.termsCode == 5)
            ++containsFilters;

    int64_t bytes = 0;
    const char* kNarrow = "SELECT tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndName, "
                          "tblKamoMail_SndAdd, tblKamoMail_RcvName, tblKamoMail_RcvAdd, tblKamoMail_SndRcvFlag, "
                          "tblKamoMail_Subject FROM tblKamoMail";
    ScanSeconds(*db, "SELECT * FROM tblKamoMail", bytes); // warm the page cache
    const double scanAll = ScanSeconds(*db, "SELECT * FROM tblKamoMail", bytes);
    const double scan = ScanSeconds(*db, kNarrow, bytes);

    // The exact rules' indexed look-ups on their own (the rows they select, without storing them).
    double lookups = 0;
    for (const auto& e : entries) {
        if (e.termsCode != 0 && e.termsCode != 2 && e.termsCode != 4)
            continue;
        const FilterCondition c = BuildFilterCondition(e);
        auto t = Clock::now();
        SQLite::Statement q(*db, std::string(kNarrow) + " WHERE " + c.where);
        for (const auto& [name, value] : c.params)
            q.bind(name, value);
        while (q.executeStep())
            for (int col = 0; col < q.getColumnCount(); ++col)
                bytes += q.getColumn(col).getBytes();
        lookups += Seconds(t);
    }

    start = Clock::now();
    const bool ok = RunFilters(*db, tables, wait);
    const double run = Seconds(start);
    const int64_t rows = db->execAndGet("SELECT COUNT(*) FROM tblFilterData").getInt64();

    const double budget = 1.5 * scan * containsFilters + lookups;
    std::printf("filters: scan of tblKamoMail (SELECT *)          %.3f s\n", scanAll);
    std::printf("filters: scan of tblKamoMail (columns copied)    %.3f s\n", scan);
    std::printf("filters: indexed look-ups of %d exact filters     %.3f s\n",
                static_cast<int>(entries.size()) - containsFilters, lookups);
    std::printf("filters: filter run, 20 filters (%d contains)    %.3f s, %lld rows%s\n", containsFilters, run,
                static_cast<long long>(rows), ok ? "" : " (FAILED)");
    std::printf("filters: run per contains filter = %.2f x scan\n", (run - lookups) / (scan * containsFilters));
    std::printf("filters: budget 1.5 x scan x %d + look-ups = %.3f s: %s\n", containsFilters, budget,
                ok && run <= budget ? "within" : "OVER");
    return ok ? 0 : 1;
}
