// The IMAP session against a real Dovecot on 127.0.0.1 (testsupport/DovecotServer), what it stored
// read back by another client (imap_probe.py: Python's imaplib), not only by the session itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "common/Messages.h"
#include "imap/ImapSession.h"
#include "imap/ModifiedUtf7.h"
#include "testsupport/DovecotServer.h"

namespace kamo {
namespace {

using test::DovecotOptions;
using test::DovecotServer;

#define SKIP_WITHOUT_DOVECOT()                                                                                         \
    do {                                                                                                               \
        if (const std::string reason = DovecotServer::MissingReason(); !reason.empty())                                \
            GTEST_SKIP() << reason;                                                                                    \
    } while (0)

ImapTarget TargetOf(const DovecotServer& server, ImapTls tls = ImapTls::Implicit, std::string host = "127.0.0.1") {
    ImapTarget target;
    target.user = DovecotServer::kUser;
    target.host = std::move(host);
    target.port = tls == ImapTls::Implicit ? server.ImapsPort() : server.ImapPort();
    target.tls = tls;
    target.folder = "INBOX";
    return target;
}

ImapSessionOptions TrustingTestCa(const DovecotServer& server) {
    ImapSessionOptions options;
    options.caFile = server.CaFile().string();
    options.timeoutSeconds = 20;
    return options;
}

// A session connected and logged in.
std::unique_ptr<ImapSession> LoggedIn(const DovecotServer& server, ImapTls tls = ImapTls::Implicit) {
    auto session = std::make_unique<ImapSession>(TargetOf(server, tls), TrustingTestCa(server));
    session->Connect();
    session->Login(DovecotServer::kPassword);
    return session;
}

// The code of the Failure that `step` throws, none when it throws nothing.
template <class Step> std::optional<FailureCode> ThrownCode(Step&& step) {
    try {
        step();
        return std::nullopt;
    } catch (const Failure& failure) {
        return failure.Code();
    }
}

// What Connect and Login end in: none, or the failure's code.
std::optional<FailureCode> LoginOutcome(const ImapTarget& target, const ImapSessionOptions& options,
                                        const std::string& password = DovecotServer::kPassword) {
    return ThrownCode([&] {
        ImapSession session(target, options);
        session.Connect();
        session.Login(password);
        session.Logout();
    });
}

std::string Message(const std::string& messageIdLine, size_t bodyBytes = 16) {
    return messageIdLine + "\r\nFrom: kamo@example.jp\r\nSubject: test\r\n\r\n" + std::string(bodyBytes, 'x') + "\r\n";
}

// The other client's lines for `args` (after port, CA file and user).
std::vector<std::string> Probe(const DovecotServer& server, const std::vector<std::string>& args) {
    ::setenv("KAMO_IMAP_PASSWORD", DovecotServer::kPassword, 1);
    std::vector<std::string> argv{test::kSystemPython, KAMOMAIL_SOURCE_DIR "/app/imap/tests/imap_probe.py",
                                  std::to_string(server.ImapsPort()), server.CaFile().string(), DovecotServer::kUser};
    argv.insert(argv.end(), args.begin(), args.end());
    const test::ToolRun run = test::RunTool(argv);
    EXPECT_EQ(run.status, 0) << run.out;
    std::vector<std::string> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Stored {
    long long moment = 0;
    std::string flags;
};
// Each message of the folder as the other client reads it, by Message-ID.
std::map<std::string, Stored> StoredMessages(const DovecotServer& server, const std::string& wireFolder) {
    std::map<std::string, Stored> stored;
    for (const std::string& line : Probe(server, {"fetch", wireFolder})) {
        std::istringstream fields(line);
        std::string id, moment, flags;
        std::getline(fields, id, '\t');
        std::getline(fields, moment, '\t');
        std::getline(fields, flags);
        stored[id] = {std::stoll(moment), flags};
    }
    return stored;
}

// One server for the tests that need nothing special of it.
class ImapDovecot : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (DovecotServer::MissingReason().empty())
            server_ = std::make_unique<DovecotServer>();
    }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { SKIP_WITHOUT_DOVECOT(); }
    static std::unique_ptr<DovecotServer> server_;
};
std::unique_ptr<DovecotServer> ImapDovecot::server_;

TEST_F(ImapDovecot, AppendSetsTheInternalDateInItsZoneAndTheReadMark) {
    struct Case {
        std::string id;
        ImapInternalDate date;
        bool seen;
    };
    const std::vector<Case> cases{
        {"<jst@kamo>", {2001, 3, 6, 21, 5, 9, 9 * 60}, true},
        {"<west-half-hour@kamo>", {1999, 12, 31, 23, 59, 59, -(3 * 60 + 30)}, false},
        {"<utc-leap-day@kamo>", {2004, 2, 29, 0, 0, 0, 0}, true},
        {"<east-most@kamo>", {2010, 1, 1, 0, 30, 0, 14 * 60}, false},
        {"<nepal@kamo>", {2002, 7, 15, 12, 0, 1, 5 * 60 + 45}, true},
    };
    auto session = LoggedIn(*server_);
    const std::string wire = session->EnsureFolder("Dates");
    for (const auto& c : cases)
        ASSERT_EQ(session->Append("Dates", Message("Message-ID: " + c.id), c.date, c.seen), std::nullopt) << c.id;
    session->Logout();

    const auto stored = StoredMessages(*server_, wire);
    ASSERT_EQ(stored.size(), cases.size());
    for (const auto& c : cases) {
        std::tm clock{};
        clock.tm_year = c.date.year - 1900;
        clock.tm_mon = c.date.month - 1;
        clock.tm_mday = c.date.day;
        clock.tm_hour = c.date.hour;
        clock.tm_min = c.date.minute;
        clock.tm_sec = c.date.second;
        const long long expected = static_cast<long long>(timegm(&clock)) - c.date.zoneMinutes * 60LL;
        ASSERT_EQ(stored.count(c.id), 1u) << c.id;
        EXPECT_EQ(stored.at(c.id).moment, expected) << c.id;
        EXPECT_EQ(stored.at(c.id).flags.find("\\Seen") != std::string::npos, c.seen)
            << c.id << ": " << stored.at(c.id).flags;
    }
}

TEST_F(ImapDovecot, JapaneseFoldersAreMadeOnceAndListedBack) {
    const std::vector<std::string> folders{
        "\u53d7\u4fe1\u7bb1",                                  // 受信箱
        "\u30e2\u30e2\u306e\u30e1\u30fc\u30eb & \u304b\u3082", // モモのメール & かも
        "\u9001\u4fe1\u6e08\u307f/2001\u5e74",                 // a level below another
        "Plain ASCII",
    };
    auto session = LoggedIn(*server_);
    std::vector<std::string> wires;
    for (const auto& folder : folders) {
        wires.push_back(session->EnsureFolder(folder));
        // The second time it is found, not made again (which the server would refuse).
        EXPECT_EQ(session->EnsureFolder(folder), wires.back()) << folder;
        ASSERT_EQ(session->Append(folder, Message("Message-ID: <in-" + wires.back() + "@kamo>"), {}, false),
                  std::nullopt)
            << folder;
    }
    const auto names = session->FolderNames();
    session->Logout();
    for (const auto& folder : folders)
        EXPECT_NE(std::find(names.begin(), names.end(), folder), names.end()) << folder;

    // The other client sees the names as RFC 3501 writes them (its own examples: 日本語 is &ZeVnLIqe-).
    EXPECT_EQ(wires[0], "&U9dP4Xux-");
    const auto listed = Probe(*server_, {"list"});
    for (const auto& wire : wires) {
        EXPECT_NE(std::find(listed.begin(), listed.end(), wire), listed.end()) << wire;
        EXPECT_EQ(StoredMessages(*server_, wire).count("<in-" + wire + "@kamo>"), 1u) << wire;
    }
}

TEST_F(ImapDovecot, KnownMessageIdsAreTheOnesInTheFolder) {
    struct Case {
        std::string headerLine; // as the message carries it
        std::string known;      // what KnownMessageIds gives for it, empty for nothing
    };
    const std::vector<Case> cases{
        {"Message-ID: <plain@kamo>", "<plain@kamo>"},
        {"Message-Id: <letter-case@kamo>", "<letter-case@kamo>"},
        {"MESSAGE-ID:<no-blank@kamo>", "<no-blank@kamo>"},
        {"Message-ID:\r\n <folded@kamo>", "<folded@kamo>"},
        {"X-Other: <not-an-id@kamo>", ""},
    };
    auto session = LoggedIn(*server_);
    session->EnsureFolder("Known");
    EXPECT_TRUE(session->KnownMessageIds("Known").empty());
    std::set<std::string> expected;
    for (const auto& c : cases) {
        ASSERT_EQ(session->Append("Known", Message(c.headerLine), {2001, 1, 1, 0, 0, 0, 540}, true), std::nullopt);
        if (!c.known.empty())
            expected.insert(c.known);
    }
    EXPECT_EQ(session->KnownMessageIds("Known"), expected);
    // Another folder's messages are not among them, and asking again (a second run) gives the same.
    session->EnsureFolder("Other");
    ASSERT_EQ(session->Append("Other", Message("Message-ID: <elsewhere@kamo>"), {}, false), std::nullopt);
    EXPECT_EQ(session->KnownMessageIds("Known"), expected);
    EXPECT_EQ(session->KnownMessageIds("Other"), std::set<std::string>{"<elsewhere@kamo>"});
    session->Logout();
}

TEST_F(ImapDovecot, KnownMessageKeysTellApartMessagesWithoutAMessageId) {
    struct Case {
        std::string header; // the message's header region, CR LF line ends
        bool sameAsFirst;   // its key is the first case's
    };
    const std::vector<Case> cases{
        {"Date: Sat, 02 Feb 2002 10:00:00 +0900\r\nFrom: taro@example.jp\r\nSubject: no id\r\n", true},
        // The same three fields, in another order and letter case: the same message to the key.
        {"subject: no id\r\nFROM: taro@example.jp\r\nDate: Sat, 02 Feb 2002 10:00:00 +0900\r\n", true},
        {"Date: Sat, 02 Feb 2002 10:00:01 +0900\r\nFrom: taro@example.jp\r\nSubject: no id\r\n", false},
        {"Date: Sat, 02 Feb 2002 10:00:00 +0900\r\nFrom: jiro@example.jp\r\nSubject: no id\r\n", false},
        {"Date: Sat, 02 Feb 2002 10:00:00 +0900\r\nFrom: taro@example.jp\r\nSubject: other\r\n", false},
        {"Date: Sat, 02 Feb 2002 10:00:00 +0900\r\nFrom: taro@example.jp\r\n", false}, // no Subject at all
        {"Message-ID: <with-id@kamo>\r\nDate: Sat, 02 Feb 2002 10:00:00 +0900\r\nFrom: taro@example.jp\r\n"
         "Subject: no id\r\n",
         false},
    };
    auto session = LoggedIn(*server_);
    session->EnsureFolder("Keys");
    std::set<std::string> expected;
    for (const auto& c : cases) {
        const std::string message = c.header + "\r\nbody\r\n";
        const std::string key = ImapMessageKey(message);
        EXPECT_EQ(key == ImapMessageKey(cases.front().header + "\r\n"), c.sameAsFirst) << c.header;
        ASSERT_EQ(session->Append("Keys", message, {}, false), std::nullopt);
        expected.insert(key);
    }
    EXPECT_EQ(expected.count("<with-id@kamo>"), 1u);
    EXPECT_EQ(session->KnownMessageKeys("Keys"), expected);
    EXPECT_EQ(session->KnownMessageIds("Keys"), std::set<std::string>{"<with-id@kamo>"});
    session->Logout();
}

TEST_F(ImapDovecot, LoginIsRefusedWithTheWordsForAWrongPassword) {
    struct Case {
        std::string user, password;
        std::optional<FailureCode> outcome;
    };
    const std::vector<Case> cases{
        {DovecotServer::kUser, DovecotServer::kPassword, std::nullopt},
        {DovecotServer::kUser, "wrong", FailureCode::ImapWrongPassword},
        {DovecotServer::kUser, "", FailureCode::ImapWrongPassword},
        {"nobody-here", DovecotServer::kPassword, FailureCode::ImapWrongPassword},
    };
    for (const auto& c : cases) {
        ImapTarget target = TargetOf(*server_);
        target.user = c.user;
        EXPECT_EQ(LoginOutcome(target, TrustingTestCa(*server_), c.password), c.outcome) << c.user << "/" << c.password;
    }
    ImapSession session(TargetOf(*server_), TrustingTestCa(*server_));
    session.Connect();
    try {
        session.Login("wrong");
        ADD_FAILURE() << "a wrong password was taken";
    } catch (const Failure& failure) {
        EXPECT_EQ(MessageOf(failure), "IMAP \u30b5\u30fc\u30d0\u30fc 127.0.0.1 \u306b\u30ed\u30b0\u30a4\u30f3\u3067"
                                      "\u304d\u307e\u305b\u3093\u3002\u30e6\u30fc\u30b6\u30fc\u540d tester "
                                      "\u304b\u30d1\u30b9\u30ef\u30fc\u30c9\u304c\u9055\u3044\u307e\u3059\u3002");
        EXPECT_EQ(MessageOf(failure).find("wrong"), std::string::npos);
    }
    EXPECT_FALSE(session.Lost());
}

TEST_F(ImapDovecot, TheCertificateIsCheckedOnBothWaysIn) {
    struct Case {
        ImapTls tls;
        bool trustTestCa;
        std::string host;
        std::optional<FailureCode> outcome;
    };
    const std::vector<Case> cases{
        // The test's CA is in no system store: refused, on TLS and on STARTTLS alike.
        {ImapTls::Implicit, false, "127.0.0.1", FailureCode::ImapCertificateRefused},
        {ImapTls::StartTls, false, "127.0.0.1", FailureCode::ImapCertificateRefused},
        // With its file given, taken by address and by name.
        {ImapTls::Implicit, true, "127.0.0.1", std::nullopt},
        {ImapTls::StartTls, true, "127.0.0.1", std::nullopt},
        {ImapTls::Implicit, true, "localhost", std::nullopt},
        {ImapTls::Implicit, true, "::1", FailureCode::ImapNotReached}, // the server listens on IPv4 only
    };
    for (const auto& c : cases) {
        ImapSessionOptions options = c.trustTestCa ? TrustingTestCa(*server_) : ImapSessionOptions{};
        options.timeoutSeconds = 20;
        EXPECT_EQ(LoginOutcome(TargetOf(*server_, c.tls, c.host), options), c.outcome)
            << c.host << (c.tls == ImapTls::StartTls ? " STARTTLS" : " TLS") << (c.trustTestCa ? " CA" : "");
    }
    // A CA file that is not there is said as such, before anything is sent.
    ImapSessionOptions missing;
    missing.caFile = (std::filesystem::temp_directory_path() / "no-such-ca-kamomail.pem").string();
    EXPECT_EQ(LoginOutcome(TargetOf(*server_), missing), FailureCode::ImapCaFileUnreadable);
}

TEST_F(ImapDovecot, StartTlsCarriesTheUpload) {
    auto session = LoggedIn(*server_, ImapTls::StartTls);
    session->EnsureFolder("StartTls");
    ASSERT_EQ(session->Append("StartTls", Message("Message-ID: <starttls@kamo>"), {2001, 3, 6, 21, 5, 9, 540}, true),
              std::nullopt);
    EXPECT_EQ(session->KnownMessageIds("StartTls"), std::set<std::string>{"<starttls@kamo>"});
    session->Logout();
    EXPECT_EQ(StoredMessages(*server_, "StartTls").count("<starttls@kamo>"), 1u);
}

TEST(ImapCertificateName, ATrustedCertificateForAnotherHostIsRefused) {
    SKIP_WITHOUT_DOVECOT();
    DovecotOptions options;
    options.certificateNames = "DNS:elsewhere.example";
    const DovecotServer server(options);
    for (const ImapTls tls : {ImapTls::Implicit, ImapTls::StartTls}) {
        for (const std::string host : {"127.0.0.1", "localhost"})
            EXPECT_EQ(LoginOutcome(TargetOf(server, tls, host), TrustingTestCa(server)),
                      FailureCode::ImapCertificateRefused)
                << host;
    }
}

TEST(ImapRefusedMessage, TheServersRefusalIsThatMessagesAndTheSessionGoesOn) {
    SKIP_WITHOUT_DOVECOT();
    DovecotOptions options;
    options.maxMailSize = "8k";
    options.quotaStorage = "40k";
    const DovecotServer server(options);
    auto session = LoggedIn(server);
    struct Case {
        std::string id;
        size_t bodyBytes;
        std::optional<FailureCode> refusal;
    };
    const std::vector<Case> cases{
        {"<small-1@kamo>", 100, std::nullopt},
        {"<too-big@kamo>", 20000, FailureCode::ImapMessageRefused}, // over the size limit
        {"<just-under@kamo>", 7000, std::nullopt},                  // the session goes on
        {"<fill-1@kamo>", 7000, std::nullopt},
        {"<fill-2@kamo>", 7000, std::nullopt},
        {"<fill-3@kamo>", 7000, std::nullopt},
        {"<fill-4@kamo>", 7000, std::nullopt},
        {"<over-quota@kamo>", 7000, FailureCode::ImapQuota}, // 40k full
        {"<still-over@kamo>", 7000, FailureCode::ImapQuota},
    };
    std::set<std::string> appended;
    for (const auto& c : cases) {
        const auto refusal = session->Append("INBOX", Message("Message-ID: " + c.id, c.bodyBytes), {}, false);
        EXPECT_EQ(refusal ? std::optional(refusal->Code()) : std::nullopt, c.refusal) << c.id;
        if (refusal) {
            EXPECT_FALSE(MessageOf(*refusal).empty());
        } else {
            appended.insert(c.id);
        }
        EXPECT_FALSE(session->Lost()) << c.id;
    }
    EXPECT_EQ(session->KnownMessageIds("INBOX"), appended);
    session->Logout();
}

TEST(ImapPlain, OnlyTheLoopbackGoesWithoutTlsAndNeverByAccident) {
    SKIP_WITHOUT_DOVECOT();
    DovecotOptions options;
    options.tls = false;
    const DovecotServer server(options);
    // imap:// wants STARTTLS and does not fall back to plain when the server lacks it.
    EXPECT_EQ(LoginOutcome(TargetOf(server, ImapTls::StartTls), {}), FailureCode::ImapNoStartTls);
    // imap+plain:// to 127.0.0.1 works in full.
    ImapSession session(TargetOf(server, ImapTls::None), {});
    session.Connect();
    session.Login(DovecotServer::kPassword);
    session.EnsureFolder("Plain");
    EXPECT_EQ(session.Append("Plain", Message("Message-ID: <plain@kamo>"), {}, true), std::nullopt);
    EXPECT_EQ(session.KnownMessageIds("Plain"), std::set<std::string>{"<plain@kamo>"});
    session.Logout();
}

TEST(ImapLostConnection, IsToldApartFromARefusal) {
    SKIP_WITHOUT_DOVECOT();
    DovecotServer server;
    auto session = LoggedIn(server);
    session->EnsureFolder("Lost");
    ASSERT_EQ(session->Append("Lost", Message("Message-ID: <before@kamo>"), {}, false), std::nullopt);
    EXPECT_FALSE(session->Lost());
    server.Stop();
    // The server's mail process may still finish the command it is reading when its master is gone;
    // the next ones find the connection closed. None is ever taken for a refusal of the message.
    std::optional<FailureCode> thrown;
    for (int attempt = 0; attempt < 100 && !thrown; ++attempt) {
        try {
            const auto refusal =
                session->Append("Lost", Message("Message-ID: <after-" + std::to_string(attempt) + "@kamo>"), {}, false);
            EXPECT_EQ(refusal, std::nullopt) << MessageOf(*refusal);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } catch (const Failure& failure) {
            thrown = failure.Code();
        }
    }
    EXPECT_EQ(thrown, FailureCode::ImapConnectionLost);
    EXPECT_TRUE(session->Lost());
    session->Logout(); // says nothing to a server that is gone, and does not throw
    // A session without its connection says so for every step, rather than failing otherwise.
    const auto lost = std::optional(FailureCode::ImapConnectionLost);
    EXPECT_EQ(ThrownCode([&] { session->Append("Lost", Message("Message-ID: <later@kamo>"), {}, false); }), lost);
    EXPECT_EQ(ThrownCode([&] { session->KnownMessageIds("Lost"); }), lost);
    EXPECT_EQ(ThrownCode([&] { session->EnsureFolder("Lost"); }), lost);
    EXPECT_EQ(ThrownCode([&] { session->Login(DovecotServer::kPassword); }), lost);

    // Nothing listens on the port any more: not reached, with the system's reason.
    EXPECT_EQ(LoginOutcome(TargetOf(server), TrustingTestCa(server)), FailureCode::ImapNotReached);
}

} // namespace
} // namespace kamo
