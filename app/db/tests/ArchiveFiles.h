#pragma once
// Archive files on disk for the db and start-up tests: filled with numbered mails, and read back as
// the set of mail identities they hold.
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "testsupport/TestSupport.h"

namespace kamo::test {

inline MailRecord NumberedMail(int i) {
    MailRecord m;
    m.ymd = "2001/05/" + std::string(i % 28 < 9 ? "0" : "") + std::to_string(i % 28 + 1);
    m.hms = "12:00:00";
    m.subKey = i;
    m.sent = i % 2 == 0;
    m.sndName = "かも";
    m.sndAdd = "kamo" + std::to_string(i % 7) + "@example.jp";
    m.rcvName = "モモ";
    m.rcvAdd = "momo@example.jp";
    m.subject = "件名 " + std::to_string(i);
    m.body = std::string(300 + i % 50, 'b');
    return m;
}

// Mails first..first+count-1 added to the archive at `path` (created with the tables when missing).
inline void AddMails(const std::filesystem::path& path, int first, int count) {
    bool fresh = !std::filesystem::exists(path);
    auto db = OpenArchive(path, fresh);
    if (fresh)
        CreateTables(*db);
    SQLite::Transaction tx(*db);
    for (int i = first; i < first + count; ++i)
        InsertTestMail(*db, NumberedMail(i));
    tx.commit();
}

inline std::set<int64_t> SubKeysIn(SQLite::Database& db) {
    std::set<int64_t> keys;
    SQLite::Statement q(db, "SELECT tblKamoMail_SubKey FROM tblKamoMail");
    while (q.executeStep())
        keys.insert(q.getColumn(0).getInt64());
    return keys;
}

inline std::set<int64_t> SubKeysIn(const std::filesystem::path& path) {
    SQLite::Database db(path.string(), SQLite::OPEN_READONLY);
    return SubKeysIn(db);
}

// A session on an archive file of 30 numbered mails and one friend, in a data folder of its own.
struct SessionInFolder {
    SessionInFolder() {
        folders.dataDir = dir / "data";
        std::filesystem::create_directories(folders.dataDir);
        AddMails(folders.DatabaseFile(), 0, 30);
        OpenArchive(folders.DatabaseFile())
            ->exec("INSERT INTO tblFriend VALUES ('1', 'ポチ', '太郎', 'taro@example.jp', 3)");
        Open();
    }
    // The session anew, on the file as it is now.
    void Open() {
        session.reset();
        session = std::make_unique<ArchiveSession>(folders, nullptr, OpenArchive(folders.DatabaseFile()));
    }
    TempDir dir;
    AppFolders folders;
    std::unique_ptr<ArchiveSession> session;
};

inline std::set<int64_t> Range(int first, int count) {
    std::set<int64_t> s;
    for (int i = first; i < first + count; ++i)
        s.insert(i);
    return s;
}

} // namespace kamo::test
