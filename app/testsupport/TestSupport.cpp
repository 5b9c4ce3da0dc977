#include "testsupport/TestSupport.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "db/Schema.h"

namespace kamo::test {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / ("kamomail-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::unique_ptr<SQLite::Database> MemoryArchive() {
    auto db = std::make_unique<SQLite::Database>(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    CreateTables(*db);
    return db;
}

void InsertTestMail(SQLite::Database& db, const MailRecord& m) {
    SQLite::Statement st(db, "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                             "tblKamoMail_SndRcvFlag, tblKamoMail_SndName, tblKamoMail_SndAdd, tblKamoMail_RcvName, "
                             "tblKamoMail_RcvAdd, tblKamoMail_Subject, tblKamoMail_Mail1, tblKamoMail_Include) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    st.bind(1, m.ymd);
    st.bind(2, m.hms);
    st.bind(3, static_cast<int64_t>(m.subKey));
    st.bind(4, m.sent ? 1 : 0);
    st.bind(5, m.sndName);
    st.bind(6, m.sndAdd);
    st.bind(7, m.rcvName);
    st.bind(8, m.rcvAdd);
    st.bind(9, m.subject);
    st.bind(10, m.body);
    st.bind(11, m.include);
    st.exec();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path BuildLibraryPath() { return std::filesystem::path(KAMOMAIL_BUILD_DIR) / "lib" / "libkamomail.so"; }

std::filesystem::path BuildBinDir() { return std::filesystem::path(KAMOMAIL_BUILD_DIR) / "bin"; }

} // namespace kamo::test
