#pragma once
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>
// Helpers shared by the program's tests: temporary folders and archives filled directly.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "db/Attachments.h"

namespace kamo::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// An archive with the six tables, in memory.
std::unique_ptr<SQLite::Database> MemoryArchive();

// The owner of the tests' mail, on one side of every mail built With() a friend.
inline constexpr const char* kOwnerName = "かも";
inline constexpr const char* kOwnerAddress = "kamo@example.jp";

// A mail record built field by field. Each setter gives a copy with the field set, so a test can
// keep a base mail and vary it; fields never set stay as MailRecord leaves them (empty, 0, false).
//   MailBuilder().Date("2002/03/01", "09:00:00").From("太郎", "taro@example.jp").To(...).Subject("件名").Build()
class MailBuilder {
public:
    MailBuilder Date(std::string ymd, std::string hms) const;
    MailBuilder SubKey(int64_t subKey) const;
    MailBuilder From(std::string name, std::string address) const;
    MailBuilder To(std::string name, std::string address) const;
    // The direction flag: the owner sent the mail (true) or received it.
    MailBuilder Sent(bool sent = true) const;
    // A mail between the owner and a friend: from the friend, or to them when Sent(), whichever of
    // the two comes first.
    MailBuilder With(std::string friendName, std::string friendAddress) const;
    MailBuilder Subject(std::string subject) const;
    MailBuilder Body(std::string body) const;
    MailBuilder Include(std::string include) const;
    MailRecord Build() const;

private:
    MailRecord mail_;
    bool withFriend_ = false;
    std::string friendName_, friendAddress_;
};

// Shorthand: MailBuilder().Date(ymd, hms).Sent(sent).With(friendName, friendAdd).Subject(subject).Body(body).
MailRecord Mail(const std::string& ymd, const std::string& hms, bool sent, const std::string& friendName,
                const std::string& friendAdd, const std::string& subject, const std::string& body);

// Inserts one mail as stored, with its whole body in the first body piece.
void InsertTestMail(SQLite::Database& db, const MailRecord& mail);
// The same with `attachments` stored as its first, second, ... attachment (a picture mail).
void InsertTestMail(SQLite::Database& db, const MailRecord& mail, const std::vector<Attachment>& attachments);

// Marks the derived data made, as a finished session leaves the archive: for fixtures that write
// look-ups or filter results by hand, or leave them empty on purpose.
void MarkDerivedDataMade(SQLite::Database& db);

// Writes bytes to a file, creating or replacing it.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// The conversion library and the programs of this build tree (build/lib, build/bin).
std::filesystem::path BuildLibraryPath();
std::filesystem::path BuildBinDir();

// What a started program finds in its environment besides the test's own.
struct ProgramEnv {
    std::vector<std::pair<std::string, std::string>> set;
    std::vector<std::string> unset;
};
// Starts the built kamomail with `args` in a child process, both output streams going to `output`
// (appended to, or the file made anew); returns the child's pid.
pid_t LaunchProgram(const std::vector<std::string>& args, const ProgramEnv& env, const std::filesystem::path& output,
                    bool append = false);

// Runs an independent tool (`argv[0]` by path, no shell) that reads back what the program wrote, and
// gives its exit status (-1 when it did not start or end normally) and its standard output; its
// standard error goes to the test's own, so a failing tool says why.
struct ToolRun {
    int status = -1;
    std::string out;
};
ToolRun RunTool(const std::vector<std::string>& argv);

// Debian's python3 (its modules: html5lib, vobject), whatever python3 comes first on PATH.
inline constexpr const char* kSystemPython = "/usr/bin/python3";

} // namespace kamo::test
