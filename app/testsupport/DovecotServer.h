#pragma once
// A real Dovecot for the IMAP tests: started as a child process on free ports of 127.0.0.1 with a
// configuration of its own in a temporary folder (its base_dir, its log, a passwd-file with one test
// user, the mail as Maildir under the folder, TLS with a certificate made for the test by openssl and
// signed by a CA made for the test), stopped by its process id. Run by root (as in CI), its login
// and mail processes take Dovecot's own unprivileged users, as Dovecot insists.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/TestSupport.h"

namespace kamo::test {

struct DovecotOptions {
    // The names in the server's certificate (openssl's subjectAltName form).
    std::string certificateNames = "DNS:localhost,IP:127.0.0.1,IP:::1";
    // Dovecot's quota limits ("64k"); empty for none.
    std::string quotaStorage;
    std::string maxMailSize;
    // Without TLS the server offers no STARTTLS and speaks only plain IMAP.
    bool tls = true;
};

class DovecotServer {
public:
    // Why no server can be started here (dovecot or openssl missing), or empty.
    static std::string MissingReason();

    // Starts the server and waits until it answers; throws std::runtime_error (with its log) if it
    // does not.
    explicit DovecotServer(DovecotOptions options = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    static constexpr const char* kUser = "tester";
    static constexpr const char* kPassword = "s3cret pass\"word";

    uint16_t ImapsPort() const { return imapsPort_; }
    uint16_t ImapPort() const { return imapPort_; }
    // The CA that signed the server's certificate, PEM.
    std::filesystem::path CaFile() const { return dir_ / "ca.pem"; }
    std::string Log() const;

    // Stops the server (and with it every connection); the destructor does it otherwise.
    void Stop();
    // Starts a stopped server again on the same ports with the same mail; throws as the constructor.
    void Restart();

private:
    void MakeCertificates();
    void WriteConfiguration();
    pid_t Launch();
    // Launches the server and waits until both ports answer; false when it ended meanwhile.
    bool LaunchAndWait();

    DovecotOptions options_;
    TempDir temp_;
    std::filesystem::path dir_;
    uint16_t imapsPort_ = 0;
    uint16_t imapPort_ = 0;
    pid_t pid_ = -1;
};

// One message of the account as another client read it (imap/tests/imap_probe.py: Python's imaplib over
// TLS, trusting only the test's CA, its own decoding of folder names).
struct ProbedMessage {
    std::string folder; // decoded, "/" between levels
    std::string date;   // "DD Mon YYYY HH:MM:SS +ZZZZ"
    std::string flags;
    std::string bytes;
};

// Every message of the test user's account; throws std::runtime_error (with the probe's output) when
// the probe fails.
std::vector<ProbedMessage> ProbeAccount(const DovecotServer& server);

// Seconds since 1970 of "DD Mon YYYY HH:MM:SS +ZZZZ"; -1 for text not in that form.
long long MomentOfImapDate(const std::string& text);

} // namespace kamo::test
