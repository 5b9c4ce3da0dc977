#include "db/Recreation.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Compaction.h"
#include "db/Schema.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& name) {
    std::string q = "\"";
    for (char c : name)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::vector<std::string> Columns(SQLite::Database& db, const std::string& schema, const std::string& table) {
    std::vector<std::string> columns;
    SQLite::Statement q(db, "SELECT name FROM pragma_table_info(?, ?)");
    q.bind(1, table);
    q.bind(2, schema);
    while (q.executeStep())
        columns.push_back(q.getColumn(0).getString());
    return columns;
}

int64_t Rows(SQLite::Database& db, const std::string& schema, const std::string& table) {
    return db.execAndGet("SELECT COUNT(*) FROM " + schema + "." + Quoted(table)).getInt64();
}

// Copies every table of `src` into the fresh file: the archive's own tables by the columns both
// sides have, any other ordinary table with its definition; then the indexes and triggers the
// fresh file lacks. Returns the tables copied.
std::vector<std::string> CopyRows(SQLite::Database& fresh) {
    std::vector<std::string> copied;
    std::set<std::string> present;
    {
        SQLite::Statement q(fresh, "SELECT name FROM main.sqlite_master WHERE type = 'table'");
        while (q.executeStep())
            present.insert(q.getColumn(0).getString());
    }
    struct Object {
        std::string type, name, sql;
    };
    std::vector<Object> objects;
    std::set<std::string> virtualTables;
    {
        SQLite::Statement q(fresh, "SELECT type, name, ifnull(sql, '') FROM src.sqlite_master "
                                   "WHERE name NOT LIKE 'sqlite%' ORDER BY rowid");
        while (q.executeStep()) {
            objects.push_back({q.getColumn(0).getString(), q.getColumn(1).getString(), q.getColumn(2).getString()});
            if (objects.back().sql.rfind("CREATE VIRTUAL", 0) == 0)
                virtualTables.insert(objects.back().name);
        }
    }
    auto shadowOfVirtual = [&](const std::string& name) {
        for (const auto& v : virtualTables)
            if (name.rfind(v + "_", 0) == 0)
                return true;
        return false;
    };
    SQLite::Transaction transaction(fresh);
    for (const auto& o : objects) {
        if (o.type != "table" || shadowOfVirtual(o.name))
            continue;
        if (virtualTables.count(o.name)) {
            // Derived data (a search index): made anew, filled again by whoever owns it.
            if (!present.count(o.name))
                fresh.exec(o.sql);
            continue;
        }
        if (!present.count(o.name))
            fresh.exec(o.sql);
        const auto freshColumns = Columns(fresh, "main", o.name);
        const auto srcColumns = Columns(fresh, "src", o.name);
        const std::set<std::string> have(srcColumns.begin(), srcColumns.end());
        std::string list;
        for (const auto& c : freshColumns)
            if (have.count(c))
                list += (list.empty() ? "" : ", ") + Quoted(c);
        if (list.empty())
            continue;
        fresh.exec("INSERT INTO main." + Quoted(o.name) + " (" + list + ") SELECT " + list + " FROM src." +
                   Quoted(o.name) + " ORDER BY rowid");
        copied.push_back(o.name);
    }
    for (const auto& o : objects) {
        if ((o.type == "index" || o.type == "trigger") && !o.sql.empty()) {
            SQLite::Statement exists(fresh, "SELECT 1 FROM main.sqlite_master WHERE name = ?");
            exists.bind(1, o.name);
            if (!exists.executeStep())
                fresh.exec(o.sql);
        }
    }
    transaction.commit();
    return copied;
}

} // namespace

void RecreateArchive(ArchiveSession& session, const std::function<bool(SQLite::Database&)>& refresh,
                     const RecreateStepHook& hook) {
    auto step = [&](RecreateStep s, const char* what) {
        if (hook && !hook(s))
            throw std::runtime_error(std::string(what) + "に失敗しました。");
    };
    std::error_code ec;
    const fs::path archive =
        fs::is_symlink(session.ArchivePath(), ec) ? fs::canonical(session.ArchivePath(), ec) : session.ArchivePath();
    const fs::path fresh = archive.string() + ".New";
    auto removeFresh = [&] {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            fs::remove(fresh.string() + suffix, ec);
    };

    step(RecreateStep::Backup, "バックアップの作成");
    MakeBackup(session.Archive(), session.Folders().dataDir, TodayText());

    removeFresh();
    try {
        std::vector<std::string> copied;
        {
            step(RecreateStep::Build, "新しいデータベースの作成");
            auto db = OpenArchive(fresh, true);
            CreateTables(*db);
            step(RecreateStep::Copy, "データのコピー");
            SQLite::Statement attach(*db, "ATTACH DATABASE ? AS src");
            attach.bind(1, archive.string());
            attach.exec();
            copied = CopyRows(*db);
            step(RecreateStep::Refresh, "フィルターと一覧の更新");
            if (refresh && !refresh(*db))
                throw std::runtime_error("フィルターと一覧の更新に失敗しました。");
            step(RecreateStep::Verify, "新しいデータベースの検査");
            for (const char* table : {"tblKamoMail", "tblFriend", "tblFilter"})
                if (Rows(*db, "main", table) != Rows(*db, "src", table))
                    throw std::runtime_error(std::string("新しいデータベースの行数が合いません（") + table + "）。");
            db->exec("DETACH DATABASE src");
        }
        std::string why;
        if (!IsCompleteArchive(fresh, &why))
            throw std::runtime_error("新しいデータベースが検査に通りません（" + why + "）。");
        step(RecreateStep::Replace, "データベースの置き換え");
        if (!SyncFile(fresh))
            throw std::runtime_error("新しいデータベースを書き込めません。");
    } catch (...) {
        removeFresh();
        throw;
    }
    // From here the archive itself changes: closed, replaced in one rename, opened again.
    session.CloseArchive();
    if (::rename(fresh.c_str(), archive.c_str()) != 0) {
        removeFresh();
        session.ReopenArchive();
        throw std::runtime_error("データベースを置き換えられません。");
    }
    SyncFolder(archive.parent_path().empty() ? fs::path(".") : archive.parent_path());
    session.ReopenArchive();
}

} // namespace kamo
