// `kamomail index --redecode` as a user runs it, killed in the middle and run again.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "db/MailOriginals.h"
#include "db/Schema.h"
#include "import/Mailboxes.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

class RedecodeCommand : public ::testing::Test {
protected:
    test::ProgramEnv Env() const {
        return {{{"KAMOMAIL_CONFIG_DIR", (dir / "config").string()}, {"KAMOMAIL_DATA_DIR", (dir / "data").string()}},
                {"DISPLAY", "WAYLAND_DISPLAY"}};
    }
    int Run(const std::vector<std::string>& args) {
        int status = 0;
        waitpid(test::LaunchProgram(args, Env(), out), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::unique_ptr<SQLite::Database> Open() {
        auto db = OpenArchive(dir / "data" / "KamoMail.Mdb");
        db->setBusyTimeout(5000);
        return db;
    }
    // Every mail row by rowid, all its columns, with the decoding its original is marked with.
    std::map<int64_t, std::pair<std::string, int64_t>> Rows() {
        auto db = Open();
        std::map<int64_t, std::pair<std::string, int64_t>> rows;
        SQLite::Statement q(*db, "SELECT m.rowid, o.tblOriginal_Decoding, m.* FROM tblKamoMail AS m JOIN tblOriginal "
                                 "AS o ON o.tblOriginal_YMD = m.tblKamoMail_YMD AND o.tblOriginal_HMS = "
                                 "m.tblKamoMail_HMS AND o.tblOriginal_SubKey = m.tblKamoMail_SubKey AND "
                                 "o.tblOriginal_SndRcvFlag = m.tblKamoMail_SndRcvFlag AND o.tblOriginal_SndAdd = "
                                 "m.tblKamoMail_SndAdd AND o.tblOriginal_RcvAdd = m.tblKamoMail_RcvAdd");
        while (q.executeStep()) {
            std::string line;
            for (int i = 2; i < q.getColumnCount(); ++i)
                line += q.getColumn(i).getString() + "|";
            rows[q.getColumn(0).getInt64()] = {line, q.getColumn(1).getInt64()};
        }
        return rows;
    }

    test::TempDir dir;
    std::filesystem::path out = dir / "output.txt";
};

} // namespace

TEST_F(RedecodeCommand, KilledMidwayItLosesNothingAndTheNextRunGoesOn) {
    const MailboxFiles files = LocateMailbox(dir / "PostPet", Mailboxes()[0]);
    std::filesystem::create_directories(files.list.parent_path());
    ppw::WriteLargeMailbox(files.list, files.mail, 3000, 11);
    ASSERT_EQ(Run({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"}), 0) << test::ReadFile(out);
    const auto truth = Rows();
    ASSERT_GT(truth.size(), 2500u);

    // Rows as an older decoding stored them: a subject each that the originals do not give.
    Open()->exec("UPDATE tblKamoMail SET tblKamoMail_Subject = '古い' || tblKamoMail_Subject");
    const auto old = Rows();

    const pid_t pid = test::LaunchProgram({"index", "--redecode"}, Env(), out);
    // Killed once some batches are committed and others are not.
    bool midway = false;
    for (int i = 0; i < 20000 && !midway; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        try {
            auto db = Open();
            midway =
                db->execAndGet("SELECT COUNT(*) FROM tblOriginal WHERE tblOriginal_Decoding = -1").getInt64() > 0 &&
                db->execAndGet("SELECT COUNT(*) FROM tblOriginal WHERE tblOriginal_Decoding = " +
                               std::to_string(kDecodingVersion))
                        .getInt64() > 0;
        } catch (const SQLite::Exception&) {
        }
        if (int status = 0; !midway && waitpid(pid, &status, WNOHANG) == pid)
            FAIL() << "ended before it could be killed\n" << test::ReadFile(out);
    }
    ASSERT_TRUE(midway);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    // Every mail is there, each either rewritten (and marked so) or as it was (and still marked).
    EXPECT_EQ(Open()->execAndGet("PRAGMA integrity_check").getString(), "ok");
    const auto killed = Rows();
    ASSERT_EQ(killed.size(), truth.size());
    size_t rewritten = 0;
    for (const auto& [rowid, row] : killed) {
        ASSERT_TRUE(truth.contains(rowid));
        if (row.second == kDecodingVersion) {
            EXPECT_EQ(row.first, truth.at(rowid).first) << rowid;
            ++rewritten;
        } else {
            EXPECT_EQ(row.second, -1);
            EXPECT_EQ(row.first, old.at(rowid).first) << rowid;
        }
    }
    EXPECT_GT(rewritten, 0u);
    EXPECT_LT(rewritten, truth.size());

    ASSERT_EQ(Run({"index", "--redecode"}), 0) << test::ReadFile(out);
    EXPECT_NE(test::ReadFile(out).find("元のメールから読み直しました"), std::string::npos);
    EXPECT_EQ(Rows(), truth);
}
