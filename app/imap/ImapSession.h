#pragma once
// One connection to an IMAP account, through libetpan: connect (TLS from the first byte, or STARTTLS,
// the server's certificate checked before the password goes out), log in, make sure a folder is
// there, read which Message-IDs a folder already holds, append messages, log out.
//
// A step the server refuses throws (or, for Append, returns) a Failure that says so; a connection
// that broke (the server went away, the network dropped, a timeout) throws
// Failure(ImapConnectionLost) and leaves Lost() true: the caller may then start a new session and go
// on, because a message whose APPEND was not answered may or may not be stored, and the Message-IDs
// tell which.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/Failure.h"
#include "imap/ImapTarget.h"

struct mailimap;
struct _mailstream;

namespace kamo {

// A message's internal date: the clock time and the zone it was written in (minutes east of UTC).
struct ImapInternalDate {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int zoneMinutes = 0;
};

// What tells a message apart in a folder, from its header region: its Message-ID as written, or for a
// message without one, its Date, From and Subject fields as written (a message uploaded without a
// Message-ID is an original that had none, and these three are what such a mail has of its own).
std::string ImapMessageKey(std::string_view header);

struct ImapSessionOptions {
    std::string caFile;      // the authorities to trust instead of the system's store (PEM), if any
    int timeoutSeconds = 60; // for connecting and for every answer
};

class ImapSession {
public:
    explicit ImapSession(ImapTarget target, ImapSessionOptions options = {});
    ~ImapSession();
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    // Connects and, but for imap+plain to a loopback address, makes the connection TLS and checks the
    // server's certificate. Throws ImapUnknownHost, ImapNotReached, ImapCaFileUnreadable,
    // ImapCertificateRefused, ImapNoStartTls, ImapPlainToRemote, ImapConnectionLost.
    void Connect();
    // The password is sent and not kept. Throws ImapWrongPassword, ImapLoginRefused, ImapConnectionLost.
    void Login(const std::string& password);

    // The folder (UTF-8, "/" between levels) on the server, made when it is not there; returns its
    // name on the wire. Throws ImapFolderNotMade, ImapConnectionLost.
    std::string EnsureFolder(const std::string& folder);
    // Every folder of the account, UTF-8 with "/" between levels (a name that does not decode stays
    // as the server wrote it).
    std::vector<std::string> FolderNames();
    // The Message-IDs ("<...>" as written) of the messages in the folder. Throws ImapFolderNotRead,
    // ImapConnectionLost.
    std::set<std::string> KnownMessageIds(const std::string& folder);
    // The keys (ImapMessageKey) of the messages in the folder, those without a Message-ID too.
    // Throws as KnownMessageIds.
    std::set<std::string> KnownMessageKeys(const std::string& folder);

    // Appends one message (CRLF line ends) with its internal date and, when `seen`, the \Seen flag.
    // None when the server stored it; the server's refusal of this message (ImapQuota,
    // ImapMessageRefused) otherwise, the session still usable. Throws ImapConnectionLost.
    std::optional<Failure> Append(const std::string& folder, std::string_view message, const ImapInternalDate& date,
                                  bool seen);

    // Says goodbye to the server; the connection is closed either way.
    void Logout();

    bool Lost() const { return lost_; }
    const ImapTarget& Target() const { return target_; }

private:
    // Throws ImapConnectionLost when there is no connection (never made, lost, or logged out).
    void Require() const;
    [[noreturn]] void ThrowFor(int result, FailureCode refused, std::vector<std::string> details);
    bool IsLostResult(int result) const;
    std::string ServerWords() const;
    std::string ServerCode() const;
    bool HasCapability(std::string_view name);
    void CheckCertificate(_mailstream* stream);
    char Delimiter();
    std::string WireName(const std::string& folder);
    // Calls `each` with the header fields `names` of every message in the folder (read only).
    void ReadHeaderFields(const std::string& folder, const std::vector<std::string>& names,
                          const std::function<void(std::string_view)>& each);

    ImapTarget target_;
    ImapSessionOptions options_;
    mailimap* imap_ = nullptr;
    std::optional<char> delimiter_;
    bool lost_ = false;
};

} // namespace kamo
