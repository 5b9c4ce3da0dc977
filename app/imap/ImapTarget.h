#pragma once
// Where an IMAP upload goes, read from its address:
//   imaps://USER@HOST[:PORT]/FOLDER       TLS from the first byte (port 993 unless named)
//   imap://USER@HOST[:PORT]/FOLDER        STARTTLS, required (port 143 unless named)
//   imap+plain://USER@HOST[:PORT]/FOLDER  no encryption at all: only to 127.0.0.1 or ::1
// USER and FOLDER may be percent-encoded (user%40example.jp); HOST is a name, an IPv4 address or an
// IPv6 address in brackets. FOLDER is UTF-8, "/" between levels; none means INBOX. A password is
// never part of the address: it would be on disk and in the process list.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/Failure.h"

namespace kamo {

enum class ImapTls {
    Implicit, // imaps://
    StartTls, // imap://
    None,     // imap+plain://, loopback only
};

struct ImapTarget {
    std::string user;
    std::string host; // without brackets
    uint16_t port = 0;
    std::string folder; // UTF-8, "/" between levels
    ImapTls tls = ImapTls::Implicit;
};

inline constexpr uint16_t kImapsPort = 993;
inline constexpr uint16_t kImapPort = 143;
inline constexpr const char* kDefaultImapFolder = "INBOX";

// The target, or the Failure that says why the address is refused (ImapUrlNotUnderstood,
// ImapUserMissing, ImapPasswordInUrl, ImapPortInvalid, ImapFolderNotUtf8, ImapPlainToRemote).
std::variant<ImapTarget, Failure> ParseImapTarget(std::string_view url);

// 127.0.0.1 or ::1 written as an address: the only hosts a connection without TLS may go to.
bool IsLoopbackAddress(std::string_view host);

} // namespace kamo
