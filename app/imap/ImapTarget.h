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

// The scheme of each kind of connection ("imaps", "imap", "imap+plain"), its port unless one is named,
// and the kind a scheme names (none for another word).
const char* ImapSchemeOf(ImapTls tls);
uint16_t ImapDefaultPort(ImapTls tls);
std::optional<ImapTls> ImapTlsNamed(std::string_view scheme);

// A target as a window asks for it, field by field (the password apart); text as typed.
struct ImapTargetFields {
    std::string host;
    std::string port; // empty: the scheme's own
    std::string user;
    std::string folder;
    ImapTls tls = ImapTls::Implicit;
};

// The address of those fields, for ParseImapTarget to read as it reads a typed one: the user and the
// folder percent-encoded (the folder's "/" between levels kept), a port typed as "host:port" taken
// when the port's field is empty, an IPv6 address put in brackets, and
// in the host and the port every character that could end them encoded, so that one out of place is
// refused in its own field instead of being read as the start of the next.
std::string ImapAddressOf(const ImapTargetFields& fields);

// 127.0.0.1 or ::1 written as an address: the only hosts a connection without TLS may go to.
bool IsLoopbackAddress(std::string_view host);

} // namespace kamo
