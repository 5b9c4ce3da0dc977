#include "db/Backups.h"

#include <SQLiteCpp/Statement.h>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <optional>
#include <regex>
#include <stdexcept>
#include <system_error>

#include <sys/stat.h>

#include "common/Failure.h"
#include "db/Compaction.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

const std::regex kBackupName(R"(KamoMail-(\d{4}-\d{2}-\d{2})\.Mdb)");

// The text of a path as a SQLite URI path: '%', '?' and '#' must not be read as URI syntax.
std::string UriPath(const fs::path& path) {
    std::string out;
    for (const char c : fs::absolute(path).string()) {
        if (c == '%' || c == '?' || c == '#') {
            static const char* hex = "0123456789ABCDEF";
            out += '%';
            out += hex[(static_cast<unsigned char>(c) >> 4) & 0xF];
            out += hex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

fs::path BackupFolder(const fs::path& dataDir) {
    return dataDir / "backup";
}

bool IsArchiveOrCopy(const fs::path& target, const fs::path& archive) {
    struct stat want {};
    if (archive.empty() || ::stat(target.c_str(), &want) != 0)
        return false; // an archive in memory has no files to protect
    auto same = [&](const fs::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 && st.st_dev == want.st_dev && st.st_ino == want.st_ino;
    };
    for (const char* suffix : {"", ".Bak", ".New", ".Bak.New"})
        if (same(archive.string() + suffix))
            return true;
    std::error_code ec;
    const fs::path folder = BackupFolder(archive.parent_path().empty() ? fs::path(".") : archive.parent_path());
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (same(it->path()))
            return true;
    return false;
}

std::string TodayText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

int RemoveStaleBackupTemps(const fs::path& dataDir) {
    static const std::regex kTempName(R"(KamoMail-\d{4}-\d{2}-\d{2}\.Mdb\.New(-journal)?)");
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(BackupFolder(dataDir), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statError;
        const std::string name = it->path().filename().string();
        if (!std::regex_match(name, kTempName) || it->is_symlink(statError) || !it->is_regular_file(statError))
            continue;
        if (fs::remove(it->path(), statError))
            ++removed;
    }
    return removed;
}

fs::path MakeBackup(SQLite::Database& db, const fs::path& dataDir, const std::string& day) {
    const fs::path folder = BackupFolder(dataDir);
    std::error_code ec;
    // Copies of the archive: a folder for the user alone, like the data folder.
    if (!fs::exists(folder, ec) && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        throw Failure(FailureCode::BackupFolderNotMade, {ec.message(), folder.string()});
    const fs::path target = folder / ("KamoMail-" + day + ".Mdb");
    const fs::path fresh = fs::path(target.string() + ".New");
    const fs::path freshJournal = fs::path(fresh.string() + "-journal");
    // Leftovers of a backup that was killed, this day's or another's.
    RemoveStaleBackupTemps(dataDir);
    auto removeFresh = [&]() {
        std::error_code e;
        fs::remove(fresh, e);
        fs::remove(freshJournal, e); // VACUUM INTO's own journal, left by a failure such as a full disk
    };
    removeFresh(); // whatever is at this day's names, a link planted there too
    // Created empty with the archive's privacy before SQLite fills it, so it is never readable by others.
    if (!CreateEmptyFile(fresh, PrivateModeOf(db.getFilename())))
        throw Failure(FailureCode::BackupFileNotMade, {fresh.string()});
    try {
        SQLite::Statement vacuum(db, "VACUUM INTO ?");
        vacuum.bind(1, fresh.string());
        vacuum.exec();
    } catch (...) {
        removeFresh();
        throw;
    }
    std::optional<Failure> why;
    if (!SyncFile(fresh) || !IsCompleteArchive(fresh, &why)) {
        removeFresh();
        if (!why)
            throw Failure(FailureCode::BackupNotSynced, {target.string()});
        throw Failure(FailureCode::BackupNotVerified, {target.string()}, *why);
    }
    fs::rename(fresh, target, ec);
    if (ec) {
        removeFresh();
        throw Failure(FailureCode::BackupNotSaved, {ec.message(), target.string()});
    }
    SyncFolder(folder);
    return target;
}

std::vector<BackupInfo> ListBackups(const fs::path& dataDir) {
    std::vector<BackupInfo> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(BackupFolder(dataDir), ec)) {
        std::smatch m;
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(ec) || !std::regex_match(name, m, kBackupName))
            continue;
        BackupInfo info;
        info.path = entry.path();
        info.day = m[1].str();
        info.size = entry.file_size(ec);
        try {
            auto db = OpenBackupReadOnly(info.path);
            info.mails = db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
        } catch (const std::exception&) {
            info.mails = -1;
        }
        found.push_back(std::move(info));
    }
    std::sort(found.begin(), found.end(), [](const BackupInfo& a, const BackupInfo& b) { return a.day > b.day; });
    return found;
}

std::unique_ptr<SQLite::Database> OpenBackupReadOnly(const fs::path& backup) {
    if (!FileExists(backup))
        throw Failure(FailureCode::BackupNotFound, {backup.string()});
    auto db = std::make_unique<SQLite::Database>("file:" + UriPath(backup) + "?mode=ro&immutable=1",
                                                 SQLite::OPEN_READONLY | SQLite::OPEN_URI);
    db->exec("PRAGMA query_only = 1");
    return db;
}

} // namespace kamo
