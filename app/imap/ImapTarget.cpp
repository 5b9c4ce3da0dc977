#include "imap/ImapTarget.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

#include "common/CodePage.h"

namespace kamo {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// The schemes of an address, each with its kind of connection and the port it takes unless named.
struct Scheme {
    const char* name;
    ImapTls tls;
    uint16_t port;
};
constexpr Scheme kSchemes[] = {{"imaps", ImapTls::Implicit, kImapsPort},
                               {"imap", ImapTls::StartTls, kImapPort},
                               {"imap+plain", ImapTls::None, kImapPort}};

const Scheme& SchemeOf(ImapTls tls) {
    for (const Scheme& scheme : kSchemes)
        if (scheme.tls == tls)
            return scheme;
    return kSchemes[0];
}

// `text` with each byte outside `kept` (and outside ASCII letters and digits) as %XX.
std::string PercentEncoded(std::string_view text, std::string_view kept) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum || kept.find(c) != std::string_view::npos) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

} // namespace

bool IsLoopbackAddress(std::string_view host) {
    const std::string text(host);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1)
        return ntohl(v4.s_addr) == INADDR_LOOPBACK;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1)
        return std::memcmp(&v6, &in6addr_loopback, sizeof v6) == 0;
    return false;
}

std::variant<ImapTarget, Failure> ParseImapTarget(std::string_view url) {
    const std::string whole(url);
    const auto notUnderstood = [&] { return Failure(FailureCode::ImapUrlNotUnderstood, {whole}); };

    ImapTarget target;
    std::string_view rest;
    bool known = false;
    for (const Scheme& scheme : kSchemes) {
        const std::string prefix = std::string(scheme.name) + "://";
        if (url.size() >= prefix.size()) {
            std::string lead(url.substr(0, prefix.size()));
            for (char& c : lead)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            if (lead == prefix) {
                target.tls = scheme.tls;
                target.port = scheme.port;
                rest = url.substr(prefix.size());
                known = true;
                break;
            }
        }
    }
    if (!known)
        return notUnderstood();

    const size_t slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (path.find_first_of("?#") != std::string_view::npos)
        return notUnderstood();

    // The user ends at the last "@": an address as user name is written with %40, but a bare one
    // is still read whole.
    const size_t at = authority.rfind('@');
    if (at == std::string_view::npos || at == 0)
        return Failure(FailureCode::ImapUserMissing, {whole});
    const std::string_view userInfo = authority.substr(0, at);
    if (userInfo.find(':') != std::string_view::npos)
        return Failure(FailureCode::ImapPasswordInUrl);
    const auto user = PercentDecoded(userInfo);
    if (!user || user->empty() || !IsValidUtf8(*user))
        return notUnderstood();
    target.user = *user;

    std::string_view hostPort = authority.substr(at + 1);
    std::string_view portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string_view::npos)
            return notUnderstood();
        target.host = std::string(hostPort.substr(1, close - 1));
        in6_addr v6{};
        if (inet_pton(AF_INET6, target.host.c_str(), &v6) != 1)
            return notUnderstood();
        const std::string_view after = hostPort.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return notUnderstood();
            portText = after.substr(1);
            if (portText.empty())
                return Failure(FailureCode::ImapPortInvalid, {std::string(portText)});
        }
    } else {
        const size_t colon = hostPort.find(':');
        target.host = std::string(hostPort.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = hostPort.substr(colon + 1);
            if (portText.empty())
                return Failure(FailureCode::ImapPortInvalid, {std::string(portText)});
        }
        for (const char c : target.host)
            if (!IsHostCharacter(c))
                return notUnderstood();
    }
    if (target.host.empty())
        return notUnderstood();
    if (!portText.empty()) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (error != std::errc() || end != portText.data() + portText.size() || value == 0 || value > 65535)
            return Failure(FailureCode::ImapPortInvalid, {std::string(portText)});
        target.port = static_cast<uint16_t>(value);
    }

    std::string_view folderText = path;
    while (!folderText.empty() && folderText.back() == '/')
        folderText.remove_suffix(1);
    const auto folder = PercentDecoded(folderText);
    if (!folder)
        return notUnderstood();
    if (!IsValidUtf8(*folder))
        return Failure(FailureCode::ImapFolderNotUtf8, {std::string(folderText)});
    target.folder = folder->empty() ? std::string(kDefaultImapFolder) : *folder;

    if (target.tls == ImapTls::None && !IsLoopbackAddress(target.host))
        return Failure(FailureCode::ImapPlainToRemote, {target.host});
    return target;
}

const char* ImapSchemeOf(ImapTls tls) {
    return SchemeOf(tls).name;
}

uint16_t ImapDefaultPort(ImapTls tls) {
    return SchemeOf(tls).port;
}

std::optional<ImapTls> ImapTlsNamed(std::string_view name) {
    for (const Scheme& scheme : kSchemes)
        if (std::string_view(scheme.name) == name)
            return scheme.tls;
    return std::nullopt;
}

std::string ImapAddressOf(const ImapTargetFields& fields) {
    std::string_view typedHost = fields.host;
    std::string_view port = fields.port;
    // "host:port" in the server's field, as addresses are often written: the port goes to its own
    // field when that is empty. An IPv6 address has at least two colons.
    if (const size_t colon = typedHost.find(':');
        colon != std::string_view::npos && typedHost.find(':', colon + 1) == std::string_view::npos) {
        if (port.empty())
            port = typedHost.substr(colon + 1);
        typedHost = typedHost.substr(0, colon);
    }
    // A host with a colon now can only be an IPv6 address, which the address writes in brackets.
    std::string host = PercentEncoded(typedHost, "-._:[]");
    if (host.find(':') != std::string::npos && host.front() != '[')
        host = "[" + host + "]";
    std::string address =
        std::string(ImapSchemeOf(fields.tls)) + "://" + PercentEncoded(fields.user, "-._~") + "@" + host;
    if (!port.empty())
        address += ":" + PercentEncoded(port, "");
    return address + "/" + PercentEncoded(fields.folder, "-._~/");
}

} // namespace kamo
