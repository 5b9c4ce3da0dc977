#pragma once
// The benchmarks' 1,000,000-mail archive: made once (one transaction, one prepared statement, indexes
// made after the rows) and kept under build/bench-data for later runs. bench_browse and bench_search
// both use it.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "db/LookupLists.h"
#include "db/Schema.h"

namespace kamo::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

inline constexpr int kMails = 1'000'000;
inline constexpr int kFriends = 400;
inline constexpr int kDays = 3650;
inline const char* const kOwnerAddress = "kamo@example.jp";
inline const char* const kOwnerName = "かも";

inline std::string ExpectedIndexSql(const TableDef& table, const IndexDef& index) {
    return "CREATE INDEX " + index.name + " ON " + table.name + " (" + index.columns + ")";
}

// A cached archive is used only when it has every row and today's index definitions.
// The key (sender or receiver column) of the most mail besides `skip`, the owner's.
inline std::string LargestKey(SQLite::Database& db, const char* sndColumn, const char* rcvColumn,
                              const std::string& skip) {
    SQLite::Statement st(db, std::string("SELECT k, COUNT(*) AS n FROM (SELECT ") + sndColumn +
                                 " AS k FROM tblKamoMail UNION ALL SELECT " + rcvColumn +
                                 " FROM tblKamoMail) WHERE k <> ? GROUP BY k ORDER BY n DESC LIMIT 1");
    st.bind(1, skip);
    return st.executeStep() ? st.getColumn(0).getString() : std::string();
}

inline bool CachedArchiveUsable(const std::filesystem::path& path) {
    if (!std::filesystem::exists(path))
        return false;
    try {
        SQLite::Database db(path.string(), SQLite::OPEN_READONLY);
        if (db.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64() != kMails)
            return false;
        for (const auto& table : ArchiveTables()) {
            for (const auto& index : table.indexes) {
                SQLite::Statement st(db, "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?");
                st.bind(1, index.name);
                if (!st.executeStep() || st.getColumn(0).getString() != ExpectedIndexSql(table, index))
                    return false;
            }
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

inline std::string FriendName(int i) {
    static const char* const kFamily[] = {"山田", "佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺",
                                          "中村", "小林", "加藤", "吉田", "山本", "松本", "井上",
                                          "木村", "林",   "清水", "山口", "森",   "池田"};
    static const char* const kGiven[] = {"太郎", "花子", "一郎", "由美", "健",   "さくら", "翔",  "美咲",
                                         "大輔", "愛",   "直樹", "陽子", "拓也", "恵",     "ゆき"};
    int n = i % 300; // 400 friends share 300 names
    return std::string(kFamily[n % 20]) + kGiven[n / 20];
}

inline void BuildArchive(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::remove(path);
    auto start = Clock::now();
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("PRAGMA journal_mode = OFF");
    db.exec("PRAGMA synchronous = OFF");
    for (const auto& table : ArchiveTables())
        db.exec(CreateTableSql(table));

    // Correspondents by a skewed popularity: a few friends write most of the mail.
    std::vector<double> weights;
    for (int i = 0; i < kFriends; ++i)
        weights.push_back(1.0 / std::pow(i + 1, 0.8));
    std::discrete_distribution<int> pickFriend(weights.begin(), weights.end());
    std::mt19937 rng(20010401);
    std::uniform_int_distribution<int> jitter(0, 300);
    std::bernoulli_distribution sentCoin(0.4);

    SQLite::Transaction tx(db);
    SQLite::Statement insert(db,
                             "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey,"
                             " tblKamoMail_SndRcvFlag, tblKamoMail_SndName, tblKamoMail_SndAdd, tblKamoMail_RcvName,"
                             " tblKamoMail_RcvAdd, tblKamoMail_Subject, tblKamoMail_Mail1, tblKamoMail_Include)"
                             " VALUES (?, ?, 0, ?, ?, ?, ?, ?, ?, ?, '0')");
    const int perDay = (kMails + kDays - 1) / kDays;
    std::tm day{};
    day.tm_year = 2001 - 1900;
    day.tm_mon = 0;
    day.tm_mday = 1;
    day.tm_hour = 12;
    char ymd[48];
    char hms[48];
    for (int i = 0; i < kMails; ++i) {
        int dayIndex = i / perDay;
        int slot = i % perDay;
        std::tm d = day;
        d.tm_mday += dayIndex;
        std::mktime(&d);
        std::snprintf(ymd, sizeof ymd, "%04d/%02d/%02d", d.tm_year + 1900, d.tm_mon + 1, d.tm_mday);
        int second = slot * (86400 / perDay) + jitter(rng);
        std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", second / 3600 % 24, second / 60 % 60, second % 60);
        int f = pickFriend(rng);
        std::string friendAddress = "friend" + std::to_string(f) + "@mail" + std::to_string(f % 7) + ".example.ne.jp";
        std::string friendName = FriendName(f);
        bool sent = sentCoin(rng);
        insert.reset();
        insert.bind(1, ymd);
        insert.bind(2, hms);
        insert.bind(3, sent ? 1 : 0);
        insert.bind(4, sent ? kOwnerName : friendName);
        insert.bind(5, sent ? kOwnerAddress : friendAddress);
        insert.bind(6, sent ? friendName : kOwnerName);
        insert.bind(7, sent ? friendAddress : kOwnerAddress);
        insert.bind(8, "ペットのお手紙 No." + std::to_string(i));
        insert.bind(9, "こんにちは。\r\n> 前のメールの引用\r\nまたね。 " + std::to_string(i) + "\r\n");
        insert.exec();
    }
    for (const auto& table : ArchiveTables())
        for (const auto& index : table.indexes)
            db.exec(ExpectedIndexSql(table, index));
    RebuildAddressList(db);
    RebuildNameList(db);
    // Filters: one per popular friend, its mail sorted into tblFilterData as the filter run would.
    SQLite::Statement filter(db, "INSERT INTO tblFilter VALUES (?, 2, 0, ?, ?)");
    for (int f = 0; f < 20; ++f) {
        std::string address = "friend" + std::to_string(f) + "@mail" + std::to_string(f % 7) + ".example.ne.jp";
        filter.reset();
        filter.bind(1, (f + 1) * 10);
        filter.bind(2, FriendName(f) + " さん");
        filter.bind(3, address);
        filter.exec();
    }
    db.exec("INSERT INTO tblFilterData (tblFilterDt_No, tblFilterDt_Date, tblFilterDt_Time, tblFilterDt_SubKey,"
            " tblFilterDt_SendName, tblFilterDt_SendAddr, tblFilterDt_RecvName, tblFilterDt_RecvAddr,"
            " tblFilterDt_SndRcvFlag, tblFilterDt_Subject)"
            " SELECT tblFilter_No, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndName,"
            " tblKamoMail_SndAdd, tblKamoMail_RcvName, tblKamoMail_RcvAdd, tblKamoMail_SndRcvFlag,"
            " tblKamoMail_Subject FROM tblFilter JOIN tblKamoMail"
            " ON tblKamoMail_SndAdd = tblFilter_Data OR tblKamoMail_RcvAdd = tblFilter_Data");
    PayOwed(db, Rebuild::FilterResults); // made above, as the filter run would
    tx.commit();
    db.exec("ANALYZE");
    std::printf("built %d-mail archive in %.1f s: %s\n", kMails, Ms(start) / 1000.0, path.c_str());
}

} // namespace kamo::bench
