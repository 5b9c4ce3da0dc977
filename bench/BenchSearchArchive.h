#pragma once
// The 1,000,000-mail archive with a few rare mails added and its search index built: made once from
// the browse archive (BenchArchive.h) and kept under build/bench-data. bench_search and bench_startup
// both use it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "common/WaitReporter.h"
#include "db/Schema.h"
#include "search/SearchIndex.h"
#include "testsupport/TestSupport.h"

#include "BenchArchive.h"

namespace kamo::bench {

inline constexpr int kRareMails = 25;
// A word only the rare mails hold (in their subjects).
inline const char* const kRareWord = "鬱蒼";

// Mails the browse archive lacks: a rare Japanese word and a rare ASCII one, a picture each, and all
// of them one conversation by their message IDs.
inline void AddRareMails(SQLite::Database& db) {
    AddMissingTables(db); // the browse archive has the six tables only, as an old archive
    SQLite::Transaction tx(db);
    SQLite::Statement insert(db, "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey,"
                                 " tblKamoMail_SndRcvFlag, tblKamoMail_SndName, tblKamoMail_SndAdd,"
                                 " tblKamoMail_RcvName, tblKamoMail_RcvAdd, tblKamoMail_Subject, tblKamoMail_Mail1,"
                                 " tblKamoMail_Include) VALUES (?1, '12:00:00', 7, 0, '旅人', 'tabibito@example.jp',"
                                 " ?2, ?3, ?4, ?5, '0')");
    for (int i = 0; i < kRareMails; ++i) {
        char ymd[16];
        std::snprintf(ymd, sizeof ymd, "%04d/%02d/%02d", 2001 + i % 9, 1 + i % 12, 1 + i % 28);
        insert.reset();
        insert.bind(1, ymd);
        insert.bind(2, kOwnerName);
        insert.bind(3, kOwnerAddress);
        insert.bind(4, "鬱蒼とした森の写真 No." + std::to_string(i));
        insert.bind(5, "Quixotic journey の写真です。\r\n");
        insert.exec();
        // Each with its picture: the only mail of the archive that has:picture finds.
        SQLite::Statement picture(db, "INSERT INTO tblAttachment (tblAttachment_YMD, tblAttachment_HMS,"
                                      " tblAttachment_SubKey, tblAttachment_SndRcvFlag, tblAttachment_SndAdd,"
                                      " tblAttachment_RcvAdd, tblAttachment_No, tblAttachment_Name,"
                                      " tblAttachment_Type, tblAttachment_Size, tblAttachment_Data,"
                                      " tblAttachment_Picture) VALUES (?1, '12:00:00', 7, 0, 'tabibito@example.jp',"
                                      " ?2, 1, 'mori.jpg', 'image/jpeg', 4, x'FFD8FFE0', 1)");
        picture.bind(1, ymd);
        picture.bind(2, kOwnerAddress);
        picture.exec();
        // And one conversation: every rare mail answers the first.
        SQLite::Statement ids(db, "INSERT INTO tblHeaderFields (tblHeaderFields_YMD, tblHeaderFields_HMS,"
                                  " tblHeaderFields_SubKey, tblHeaderFields_SndRcvFlag, tblHeaderFields_SndAdd,"
                                  " tblHeaderFields_RcvAdd, tblHeaderFields_MessageId, tblHeaderFields_InReplyTo,"
                                  " tblHeaderFields_References) VALUES (?1, '12:00:00', 7, 0, 'tabibito@example.jp',"
                                  " ?2, ?3, ?4, ?4)");
        ids.bind(1, ymd);
        ids.bind(2, kOwnerAddress);
        ids.bind(3, "<rare" + std::to_string(i) + "@example.jp>");
        ids.bind(4, i == 0 ? std::string() : "<rare0@example.jp>");
        ids.exec();
    }
    // The look-ups as the read's refresh leaves them; no filter takes these mails.
    RebuildNameList(db);
    RebuildAddressList(db);
    PayOwed(db, Rebuild::FilterResults);
    tx.commit();
}

// The cached search archive when it is complete and indexed, else made again from the browse
// archive. `buildSeconds` is the index build's time (noted beside the file when it was made).
inline std::filesystem::path PrepareSearchArchive(const std::filesystem::path& dataDir, double& buildSeconds,
                                                  bool& cached) {
    const std::filesystem::path browse = dataDir / "browse-1m.Mdb";
    const std::filesystem::path search = dataDir / "search-1m.Mdb";
    const std::filesystem::path note = dataDir / "search-1m.build-seconds";
    try {
        if (std::filesystem::exists(search) && std::filesystem::exists(note)) {
            auto db = OpenArchive(search);
            if (db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64() == kMails + kRareMails &&
                db->execAndGet("SELECT COUNT(*) FROM tblAttachment").getInt64() == kRareMails &&
                db->execAndGet("SELECT COUNT(*) FROM tblHeaderFields").getInt64() == kRareMails &&
                InspectSearchIndex(*db) == SearchIndexState::Ready && PendingSearchRows(*db) == 0) {
                std::ifstream(note) >> buildSeconds;
                cached = true;
                return search;
            }
        }
    } catch (const std::exception&) {
    }
    if (!CachedArchiveUsable(browse))
        BuildArchive(browse);
    std::filesystem::copy_file(browse, search, std::filesystem::copy_options::overwrite_existing);
    auto db = OpenArchive(search);
    AddRareMails(*db);
    NullWaitReporter quiet;
    const auto start = Clock::now();
    UpdateSearchIndex(*db, quiet);
    buildSeconds = Ms(start) / 1000.0;
    std::ofstream(note) << buildSeconds;
    cached = false;
    return search;
}

// A benchmark's start: offscreen unless a display is asked for, and the search archive of this build
// tree's bench-data folder (made on the first run).
inline std::filesystem::path StartSearchBench(double& buildSeconds, bool& cached) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::filesystem::path dataDir = test::BuildBinDir().parent_path() / "bench-data";
    std::filesystem::create_directories(dataDir);
    return PrepareSearchArchive(dataDir, buildSeconds, cached);
}

} // namespace kamo::bench
