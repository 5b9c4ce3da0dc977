#pragma once
// Archive files on disk for the db and start-up tests: filled with numbered mails, and read back as
// the set of mail identities they hold.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include <zstd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "db/ArchiveSession.h"
#include "db/MailOriginals.h"
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

// A packed original (db/MailOriginals.h) whose body is `bodyBytes` zero bytes, packed as it streams:
// gigabytes of it fit in a few hundred kilobytes.
inline std::string HugePackedOriginal(uint64_t bodyBytes) {
    std::string head = "KMO1";
    for (int field = 0; field < 7; ++field) // six empty fields, then the body's length
        for (int i = 0; i < 4; ++i)
            head.push_back(field == 6 ? static_cast<char>((bodyBytes >> (8 * i)) & 0xFF) : '\0');
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setPledgedSrcSize(cctx, head.size() + bodyBytes);
    std::string packed, out(ZSTD_CStreamOutSize(), '\0');
    const std::string zeros(1 << 20, '\0');
    auto feed = [&](const std::string& bytes, size_t n, ZSTD_EndDirective end) {
        ZSTD_inBuffer in{bytes.data(), n, 0};
        for (size_t left = 1; in.pos < in.size || (end == ZSTD_e_end && left != 0);) {
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            left = ZSTD_compressStream2(cctx, &o, &in, end);
            packed.append(out.data(), o.pos);
        }
    };
    feed(head, head.size(), ZSTD_e_continue);
    for (uint64_t left = bodyBytes; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, zeros.size()));
        feed(zeros, n, ZSTD_e_continue);
        left -= n;
    }
    feed(zeros, 0, ZSTD_e_end);
    ZSTD_freeCCtx(cctx);
    return packed;
}

// An original alike the others as a mailbox's are: the same header fields and phrases, different
// names, dates and ids.
inline MailOriginal AlikeOriginal(int i) {
    const std::string n = std::to_string(i);
    MailOriginal o;
    o.from = "\x8e\x52\x93\x63 \x89\xd4\x8e\x71 <user" + std::to_string(i % 37) + "@example.jp>";
    o.to = "kamo@example.jp";
    o.subject = "\x82\xa8\x8c\xb3\x8b\x43\x82\xc5\x82\xb7\x82\xa9 No." + n;
    o.date = "Tue, " + std::to_string(1 + i % 28) + " Sep 2001 10:" + std::to_string(10 + i % 50) + ":00 +0900";
    o.header = "Return-Path: <user@example.jp>\r\nMessage-ID: <" + n +
               ".kamo@example.jp>\r\nMIME-Version: 1.0\r\n"
               "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\nX-Mailer: "
               "PostPet for Windows ver 2.0\r\n\r\n";
    for (int line = 0; line < 6 + i % 5; ++line)
        o.body += "\x1b$B$3$s$K$A$O!#$*85$-$G$9$+!)\x1b(B " + std::to_string(i * 7 + line) + "\r\n";
    return o;
}

// A dictionary trained as a read trains it (db/OriginalDictionary.h), from the framed records of
// `count` alike originals from the `from`th on.
inline std::string TrainedOriginalDictionary(int count = 400, int from = 0) {
    std::string samples;
    std::vector<size_t> sizes;
    for (int i = from; i < from + count; ++i) {
        const std::string framed = FramedOriginal(AlikeOriginal(i));
        samples += framed;
        sizes.push_back(framed.size());
    }
    return TrainOriginalDictionary(samples, sizes);
}

} // namespace kamo::test
