#include "testsupport/TestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <utility>

#include "db/Attachments.h"
#include "db/MailRows.h"
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

MailBuilder MailBuilder::Date(std::string ymd, std::string hms) const {
    MailBuilder b = *this;
    b.mail_.ymd = std::move(ymd);
    b.mail_.hms = std::move(hms);
    return b;
}

MailBuilder MailBuilder::SubKey(int64_t subKey) const {
    MailBuilder b = *this;
    b.mail_.subKey = subKey;
    return b;
}

MailBuilder MailBuilder::From(std::string name, std::string address) const {
    MailBuilder b = *this;
    b.mail_.sndName = std::move(name);
    b.mail_.sndAdd = std::move(address);
    return b;
}

MailBuilder MailBuilder::To(std::string name, std::string address) const {
    MailBuilder b = *this;
    b.mail_.rcvName = std::move(name);
    b.mail_.rcvAdd = std::move(address);
    return b;
}

MailBuilder MailBuilder::Sent(bool sent) const {
    MailBuilder b = *this;
    b.mail_.sent = sent;
    return b;
}

MailBuilder MailBuilder::With(std::string friendName, std::string friendAddress) const {
    MailBuilder b = *this;
    b.withFriend_ = true;
    b.friendName_ = std::move(friendName);
    b.friendAddress_ = std::move(friendAddress);
    return b;
}

MailBuilder MailBuilder::Subject(std::string subject) const {
    MailBuilder b = *this;
    b.mail_.subject = std::move(subject);
    return b;
}

MailBuilder MailBuilder::Body(std::string body) const {
    MailBuilder b = *this;
    b.mail_.body = std::move(body);
    return b;
}

MailBuilder MailBuilder::Include(std::string include) const {
    MailBuilder b = *this;
    b.mail_.include = std::move(include);
    return b;
}

MailRecord MailBuilder::Build() const {
    if (!withFriend_)
        return mail_;
    const MailBuilder owner = From(kOwnerName, kOwnerAddress).To(kOwnerName, kOwnerAddress);
    return (mail_.sent ? owner.To(friendName_, friendAddress_) : owner.From(friendName_, friendAddress_)).mail_;
}

MailRecord Mail(const std::string& ymd, const std::string& hms, bool sent, const std::string& friendName,
                const std::string& friendAdd, const std::string& subject, const std::string& body) {
    return MailBuilder().Date(ymd, hms).Sent(sent).With(friendName, friendAdd).Subject(subject).Body(body).Build();
}

void InsertTestMail(SQLite::Database& db, const MailRecord& mail, const std::vector<Attachment>& attachments) {
    InsertTestMail(db, mail);
    AttachmentWriter writer(db);
    for (std::size_t n = 0; n < attachments.size(); ++n)
        writer.Add(KeyOf(mail), static_cast<int64_t>(n + 1), attachments[n]);
}

void MarkDerivedDataMade(SQLite::Database& db) {
    for (const Rebuild owed : OwedRebuilds(db))
        PayOwed(db, owed);
}

void InsertTestMail(SQLite::Database& db, const MailRecord& m) {
    SQLite::Statement st(db, "INSERT INTO tblKamoMail (" + MailHeadColumns() + ", " + MailColumn::kBodyPiece + "1, " +
                                 MailColumn::kInclude + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
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

std::filesystem::path BuildLibraryPath() {
    return std::filesystem::path(KAMOMAIL_BUILD_DIR) / "lib" / "libkamomail.so";
}

std::filesystem::path BuildBinDir() {
    return std::filesystem::path(KAMOMAIL_BUILD_DIR) / "bin";
}

pid_t LaunchProgram(const std::vector<std::string>& args, const ProgramEnv& env, const std::filesystem::path& output,
                    bool append) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    for (const auto& name : env.unset)
        ::unsetenv(name.c_str());
    for (const auto& [name, value] : env.set)
        ::setenv(name.c_str(), value.c_str(), 1);
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    const std::string program = (BuildBinDir() / "kamomail").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

ToolRun RunTool(const std::vector<std::string>& argv) {
    ToolRun run;
    int fds[2];
    if (argv.empty() || ::pipe(fds) != 0)
        return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], 1);
        ::close(fds[1]);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            run.out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}

} // namespace kamo::test
