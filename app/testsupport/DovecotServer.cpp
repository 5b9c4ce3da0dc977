#include "testsupport/DovecotServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kamo::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDovecot = "/usr/sbin/dovecot";
constexpr const char* kOpenssl = "/usr/bin/openssl";

// A port of 127.0.0.1 that nothing listens on now.
uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

bool Answers(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

void RunOpenssl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kOpenssl};
    argv.insert(argv.end(), args.begin(), args.end());
    if (RunTool(argv).status != 0)
        throw std::runtime_error("openssl " + args.front() + " failed");
}

std::string UserName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry ? entry->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return entry ? entry->gr_name : std::to_string(gid);
}

} // namespace

std::string DovecotServer::MissingReason() {
    if (::access(kDovecot, X_OK) != 0)
        return std::string(kDovecot) + " is not installed (Debian package dovecot-imapd)";
    if (::access(kOpenssl, X_OK) != 0)
        return std::string(kOpenssl) + " is not installed";
    return {};
}

DovecotServer::DovecotServer(DovecotOptions options) : options_(std::move(options)), dir_(temp_.path()) {
    // Run by root, the mail belongs to an unprivileged user that must reach it through the folder.
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    MakeCertificates();
    for (int attempt = 0; attempt < 3; ++attempt) {
        imapsPort_ = FreePort();
        imapPort_ = FreePort();
        if (imapPort_ == imapsPort_)
            continue;
        WriteConfiguration();
        if (LaunchAndWait())
            return;
    }
    throw std::runtime_error("dovecot did not start:\n" + Log());
}

bool DovecotServer::LaunchAndWait() {
    pid_ = Launch();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false; // a port taken meanwhile, or a bad configuration: the log says which
        }
        if (Answers(imapsPort_) && Answers(imapPort_))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    return false;
}

void DovecotServer::Restart() {
    Stop();
    // The ports were the server's a moment ago; a few tries while the system lets them go.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (LaunchAndWait())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    throw std::runtime_error("dovecot did not start again:\n" + Log());
}

DovecotServer::~DovecotServer() {
    Stop();
}

void DovecotServer::Stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // A mail process still serving a client outlives its master; a stopped server has none.
    ::kill(-pid_, SIGKILL);
    pid_ = -1;
}

std::string DovecotServer::Log() const {
    return ReadFile(dir_ / "dovecot.out") + ReadFile(dir_ / "dovecot.log");
}

void DovecotServer::MakeCertificates() {
    const std::string dir = dir_.string();
    RunOpenssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                "-subj", "/CN=KamoMail test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                "keyUsage=critical,keyCertSign,cRLSign", "-keyout", dir + "/ca.key", "-out", dir + "/ca.pem"});
    RunOpenssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
                "/CN=KamoMail test server", "-keyout", dir + "/server.key", "-out", dir + "/server.csr"});
    WriteFile(dir_ / "server.ext", "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" +
                                       options_.certificateNames + "\n");
    RunOpenssl({"x509", "-req", "-in", dir + "/server.csr", "-CA", dir + "/ca.pem", "-CAkey", dir + "/ca.key",
                "-CAcreateserial", "-days", "2", "-extfile", dir + "/server.ext", "-out", dir + "/server.pem"});
}

void DovecotServer::WriteConfiguration() {
    const std::string dir = dir_.string();
    fs::create_directories(dir_ / "base");
    fs::create_directories(dir_ / "state");
    fs::create_directories(dir_ / "mail");

    std::string loginUser, internalUser, internalGroup;
    uid_t mailUid = ::geteuid();
    gid_t mailGid = ::getegid();
    if (::geteuid() == 0) {
        // Dovecot runs no login process and no mailbox as root.
        loginUser = "dovenull";
        internalUser = "dovecot";
        internalGroup = "dovecot";
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody)
            throw std::runtime_error("no user nobody for the test mail");
        mailUid = nobody->pw_uid;
        mailGid = nobody->pw_gid;
        if (::chown((dir_ / "mail").c_str(), mailUid, mailGid) != 0)
            throw std::runtime_error("cannot hand the mail folder to nobody");
    } else {
        loginUser = internalUser = UserName(::geteuid());
        internalGroup = GroupName(::getegid());
    }

    WriteFile(dir_ / "passwd", std::string(kUser) + ":{PLAIN}" + kPassword + ":" + std::to_string(mailUid) + ":" +
                                   std::to_string(mailGid) + "::" + dir + "/mail/" + kUser + "::\n");

    std::string conf;
    conf += "base_dir = " + dir + "/base\n";
    conf += "state_dir = " + dir + "/state\n";
    conf += "log_path = " + dir + "/dovecot.log\n";
    conf += "instance_name = kamomail-test-" + std::to_string(imapsPort_) + "\n";
    conf += "protocols = imap\n";
    conf += "listen = 127.0.0.1\n";
    conf += "default_login_user = " + loginUser + "\n";
    conf += "default_internal_user = " + internalUser + "\n";
    conf += "default_internal_group = " + internalGroup + "\n";
    conf += "first_valid_uid = " + std::to_string(mailUid) + "\n";
    conf += "last_valid_uid = " + std::to_string(mailUid) + "\n";
    conf += "first_valid_gid = " + std::to_string(mailGid) + "\n";
    conf += "mail_location = maildir:" + dir + "/mail/%u\n";
    conf += "auth_failure_delay = 0\n";
    conf += "auth_mechanisms = plain login\n";
    if (options_.tls) {
        conf += "ssl = required\n";
        conf += "ssl_cert = <" + dir + "/server.pem\n";
        conf += "ssl_key = <" + dir + "/server.key\n";
    } else {
        conf += "ssl = no\n";
        conf += "disable_plaintext_auth = no\n";
    }
    conf += "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " + dir + "/passwd\n}\n";
    conf += "userdb {\n  driver = passwd-file\n  args = " + dir + "/passwd\n}\n";
    conf += "service imap-login {\n  chroot =\n";
    conf += "  inet_listener imap {\n    address = 127.0.0.1\n    port = " + std::to_string(imapPort_) + "\n  }\n";
    conf += "  inet_listener imaps {\n    address = 127.0.0.1\n    port = " + std::to_string(imapsPort_) +
            "\n    ssl = " + (options_.tls ? "yes" : "no") + "\n  }\n}\n";
    // No growing wait after each failed login (Dovecot's authentication penalty): the tests fail some
    // on purpose.
    conf += "service anvil {\n  chroot =\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    conf += "service stats {\n  unix_listener stats-writer {\n    mode = 0666\n  }\n}\n";
    if (!options_.quotaStorage.empty() || !options_.maxMailSize.empty()) {
        conf += "mail_plugins = quota\n";
        conf += "plugin {\n  quota = maildir:User quota\n";
        if (!options_.quotaStorage.empty())
            conf += "  quota_rule = *:storage=" + options_.quotaStorage + "\n";
        if (!options_.maxMailSize.empty())
            conf += "  quota_max_mail_size = " + options_.maxMailSize + "\n";
        conf += "}\n";
    }
    WriteFile(dir_ / "dovecot.conf", conf);
}

pid_t DovecotServer::Launch() {
    const std::string conf = (dir_ / "dovecot.conf").string();
    const std::string log = (dir_ / "dovecot.out").string();
    const pid_t pid = ::fork();
    if (pid != 0) {
        if (pid > 0)
            ::setpgid(pid, pid);
        return pid;
    }
    // A process group of its own, led by the master: Stop ends what the master leaves behind.
    ::setpgid(0, 0);
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
    }
    ::execl(kDovecot, kDovecot, "-F", "-c", conf.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
}

namespace {

std::string Base64Decoded(const std::string& text) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const size_t value = kAlphabet.find(c);
        if (value == std::string::npos)
            continue;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

} // namespace

std::vector<ProbedMessage> ProbeAccount(const DovecotServer& server) {
    ::setenv("KAMO_IMAP_PASSWORD", DovecotServer::kPassword, 1);
    const ToolRun run =
        RunTool({kSystemPython, KAMOMAIL_SOURCE_DIR "/app/imap/tests/imap_probe.py", std::to_string(server.ImapsPort()),
                 server.CaFile().string(), DovecotServer::kUser, "dump"});
    if (run.status != 0)
        throw std::runtime_error("imap_probe.py dump failed:\n" + run.out);
    std::vector<ProbedMessage> stored;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        ProbedMessage s;
        std::string bytes;
        std::getline(fields, s.folder, '\t');
        std::getline(fields, s.date, '\t');
        std::getline(fields, s.flags, '\t');
        std::getline(fields, bytes);
        s.bytes = Base64Decoded(bytes);
        stored.push_back(std::move(s));
    }
    return stored;
}

long long MomentOfImapDate(const std::string& text) {
    static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    std::tm clock{};
    char month[4] = {};
    char sign = 0;
    int zone = 0;
    if (std::sscanf(text.c_str(), "%d %3s %d %d:%d:%d %c%d", &clock.tm_mday, month, &clock.tm_year, &clock.tm_hour,
                    &clock.tm_min, &clock.tm_sec, &sign, &zone) != 8 ||
        kMonths.find(month) == std::string::npos)
        return -1;
    clock.tm_mon = static_cast<int>(kMonths.find(month) / 3);
    clock.tm_year -= 1900;
    const long long zoneSeconds = (zone / 100 * 60 + zone % 100) * 60LL * (sign == '-' ? -1 : 1);
    return static_cast<long long>(timegm(&clock)) - zoneSeconds;
}

} // namespace kamo::test
