#include "imap/ImapSession.h"

#include <libetpan/libetpan.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "imap/CertificateCheck.h"
#include "imap/ModifiedUtf7.h"
#include "mime/MimeHeaders.h"
#include "platform/FileDescriptor.h"

namespace kamo {

namespace {

// Messages whose Message-IDs one FETCH asks for: the answer of one piece is held at a time.
constexpr uint32_t kFetchPiece = 2000;

struct StreamClose {
    void operator()(mailstream* stream) const { mailstream_close(stream); }
};
using Stream = std::unique_ptr<mailstream, StreamClose>;

// What libetpan hands out, let go by its own free function.
template <auto Free> struct FreedBy {
    template <typename T> void operator()(T* value) const { Free(value); }
};
using ListFree = FreedBy<mailimap_list_result_free>;
using FetchFree = FreedBy<mailimap_fetch_list_free>;
using SetFree = FreedBy<mailimap_set_free>;
using FetchTypeFree = FreedBy<mailimap_fetch_type_free>;
using FlagListFree = FreedBy<mailimap_flag_list_free>;
using DateTimeFree = FreedBy<mailimap_date_time_free>;
using CapabilityFree = FreedBy<mailimap_capability_data_free>;

bool IsAddressLiteral(const std::string& host) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return false;
    freeaddrinfo(found);
    return true;
}

// The host name goes to the server in the handshake (SNI) so that a server with many names shows
// the right certificate; an address is not sent.
void NameTheServer(mailstream_ssl_context* context, void* data) {
    const auto* host = static_cast<const std::string*>(data);
    if (!IsAddressLiteral(*host))
        mailstream_ssl_set_server_name(context, const_cast<char*>(host->c_str()));
}

int ConnectSocket(const ImapTarget& target, int timeoutSeconds) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target.port);
    const int lookup = getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found);
    if (lookup == EAI_SYSTEM)
        throw Failure(FailureCode::ImapNotReached, {target.host, port, std::strerror(errno)});
    if (lookup != 0)
        throw Failure(FailureCode::ImapUnknownHost, {target.host});
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
    int lastError = ECONNREFUSED;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        FileDescriptor socket(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
        if (socket.Get() < 0) {
            lastError = errno;
            continue;
        }
        // Linux bounds connect() by the send timeout.
        timeval limit{};
        limit.tv_sec = timeoutSeconds;
        setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (::connect(socket.Get(), address->ai_addr, address->ai_addrlen) == 0)
            return socket.Release();
        lastError = errno == EINPROGRESS ? ETIMEDOUT : errno;
    }
    throw Failure(FailureCode::ImapNotReached, {target.host, port, std::strerror(lastError)});
}

// libetpan's zone: the offset written as a number, +0900 as 900, -0330 as -330.
int ZoneNumber(int zoneMinutes) {
    const int sign = zoneMinutes < 0 ? -1 : 1;
    const int minutes = zoneMinutes * sign;
    return sign * (minutes / 60 * 100 + minutes % 60);
}

} // namespace

ImapSession::ImapSession(ImapTarget target, ImapSessionOptions options)
    : target_(std::move(target)), options_(std::move(options)) {}

ImapSession::~ImapSession() {
    if (imap_)
        mailimap_free(imap_);
}

bool ImapSession::IsLostResult(int result) const {
    return result == MAILIMAP_ERROR_STREAM || result == MAILIMAP_ERROR_PARSE || result == MAILIMAP_ERROR_FATAL ||
           result == MAILIMAP_ERROR_BAD_STATE || !imap_ || !imap_->imap_stream;
}

std::string ImapSession::ServerWords() const {
    return imap_ && imap_->imap_response ? std::string(imap_->imap_response) : std::string();
}

std::string ImapSession::ServerCode() const {
    if (!imap_ || !imap_->imap_response_info || !imap_->imap_response_info->rsp_atom)
        return {};
    return imap_->imap_response_info->rsp_atom;
}

void ImapSession::ThrowFor(int result, FailureCode refused, std::vector<std::string> details) {
    if (IsLostResult(result)) {
        lost_ = true;
        throw Failure(FailureCode::ImapConnectionLost, {target_.host});
    }
    details.push_back(ServerWords());
    throw Failure(refused, std::move(details));
}

bool ImapSession::HasCapability(std::string_view name) {
    if (!imap_->imap_connection_info || !imap_->imap_connection_info->imap_capability) {
        mailimap_capability_data* raw = nullptr;
        const int result = mailimap_capability(imap_, &raw);
        std::unique_ptr<mailimap_capability_data, CapabilityFree> data(raw);
        if (result != MAILIMAP_NO_ERROR) {
            lost_ = true;
            throw Failure(FailureCode::ImapConnectionLost, {target_.host});
        }
    }
    const mailimap_capability_data* data = imap_->imap_connection_info->imap_capability;
    if (!data)
        return false;
    for (clistiter* it = clist_begin(data->cap_list); it; it = clist_next(it)) {
        const auto* capability = static_cast<const struct mailimap_capability*>(clist_content(it));
        if (capability->cap_type == MAILIMAP_CAPABILITY_NAME && capability->cap_data.cap_name &&
            strcasecmp(capability->cap_data.cap_name, std::string(name).c_str()) == 0)
            return true;
    }
    return false;
}

void ImapSession::CheckCertificate(mailstream* stream) {
    carray* raw = mailstream_get_certificate_chain(stream);
    std::vector<std::string> chain;
    if (raw) {
        for (unsigned i = 0; i < carray_count(raw); ++i) {
            const auto* der = static_cast<const MMAPString*>(carray_get(raw, i));
            chain.emplace_back(der->str, der->len);
        }
        mailstream_certificate_chain_free(raw);
    }
    if (const auto refusal = ChainRefusal(chain, target_.host, options_.caFile))
        throw Failure(FailureCode::ImapCertificateRefused, {target_.host, *refusal});
}

void ImapSession::Connect() {
    if (target_.tls == ImapTls::None && !IsLoopbackAddress(target_.host))
        throw Failure(FailureCode::ImapPlainToRemote, {target_.host});
    if (imap_) {
        mailimap_free(imap_);
        imap_ = nullptr;
    }
    delimiter_.reset();
    lost_ = false;
    imap_ = mailimap_new(0, nullptr);
    if (!imap_)
        throw std::bad_alloc();
    mailimap_set_timeout(imap_, options_.timeoutSeconds);

    FileDescriptor socket(ConnectSocket(target_, options_.timeoutSeconds));
    Stream stream;
    if (target_.tls == ImapTls::Implicit) {
        stream.reset(mailstream_ssl_open_with_callback_timeout(socket.Get(), options_.timeoutSeconds, NameTheServer,
                                                               &target_.host));
        if (!stream)
            throw Failure(FailureCode::ImapNotReached,
                          {target_.host, std::to_string(target_.port), "TLS handshake failed"});
    } else {
        stream.reset(mailstream_socket_open_timeout(socket.Get(), options_.timeoutSeconds));
        if (!stream)
            throw std::bad_alloc();
    }
    socket.Release(); // the stream closes it from now on
    if (target_.tls == ImapTls::Implicit) {
        // Before the greeting is even read: nothing is said to a server that is not the one asked for.
        CheckCertificate(stream.get());
    }
    const int greeting = mailimap_connect(imap_, stream.release());
    if (greeting != MAILIMAP_NO_ERROR_NON_AUTHENTICATED && greeting != MAILIMAP_NO_ERROR_AUTHENTICATED) {
        lost_ = true;
        throw Failure(FailureCode::ImapConnectionLost, {target_.host});
    }
    if (target_.tls == ImapTls::StartTls) {
        if (!HasCapability("STARTTLS"))
            throw Failure(FailureCode::ImapNoStartTls, {target_.host});
        const int result = mailimap_socket_starttls_with_callback(imap_, NameTheServer, &target_.host);
        if (result != MAILIMAP_NO_ERROR) {
            if (IsLostResult(result))
                lost_ = true;
            throw Failure(lost_ ? FailureCode::ImapConnectionLost : FailureCode::ImapNoStartTls, {target_.host});
        }
        CheckCertificate(imap_->imap_stream);
        // What the server offered before TLS may have been changed on the way: ask again.
        if (imap_->imap_connection_info && imap_->imap_connection_info->imap_capability) {
            mailimap_capability_data_free(imap_->imap_connection_info->imap_capability);
            imap_->imap_connection_info->imap_capability = nullptr;
        }
    }
}

void ImapSession::Login(const std::string& password) {
    Require();
    const int result = mailimap_login(imap_, target_.user.c_str(), password.c_str());
    if (result == MAILIMAP_NO_ERROR)
        return;
    if (IsLostResult(result)) {
        lost_ = true;
        throw Failure(FailureCode::ImapConnectionLost, {target_.host});
    }
    // A server that gives no reason (before RFC 5530) means the same as AUTHENTICATIONFAILED.
    const std::string code = ServerCode();
    if (code.empty() || strcasecmp(code.c_str(), "AUTHENTICATIONFAILED") == 0)
        throw Failure(FailureCode::ImapWrongPassword, {target_.user, target_.host});
    throw Failure(FailureCode::ImapLoginRefused, {target_.user, ServerWords()});
}

void ImapSession::Require() const {
    if (lost_ || !imap_ || !imap_->imap_stream)
        throw Failure(FailureCode::ImapConnectionLost, {target_.host});
}

char ImapSession::Delimiter() {
    Require();
    if (delimiter_)
        return *delimiter_;
    clist* raw = nullptr;
    const int result = mailimap_list(imap_, "", "", &raw);
    std::unique_ptr<clist, ListFree> list(raw);
    if (result != MAILIMAP_NO_ERROR)
        ThrowFor(result, FailureCode::ImapFolderNotRead, {""});
    char delimiter = '/';
    if (list && clist_begin(list.get())) {
        const auto* entry = static_cast<const mailimap_mailbox_list*>(clist_content(clist_begin(list.get())));
        if (entry->mb_delimiter)
            delimiter = entry->mb_delimiter;
    }
    delimiter_ = delimiter;
    return delimiter;
}

std::string ImapSession::WireName(const std::string& folder) {
    const auto encoded = EncodeMailboxName(folder);
    if (!encoded)
        throw Failure(FailureCode::ImapFolderNotUtf8, {folder});
    std::string wire = *encoded;
    const char delimiter = Delimiter();
    for (char& c : wire)
        if (c == '/')
            c = delimiter;
    return wire;
}

std::vector<std::string> ImapSession::FolderNames() {
    Require();
    clist* raw = nullptr;
    const int result = mailimap_list(imap_, "", "*", &raw);
    std::unique_ptr<clist, ListFree> list(raw);
    if (result != MAILIMAP_NO_ERROR)
        ThrowFor(result, FailureCode::ImapFolderNotRead, {"*"});
    std::vector<std::string> names;
    for (clistiter* it = list ? clist_begin(list.get()) : nullptr; it; it = clist_next(it)) {
        const auto* entry = static_cast<const mailimap_mailbox_list*>(clist_content(it));
        std::string wire = entry->mb_name;
        if (entry->mb_delimiter && entry->mb_delimiter != '/')
            for (char& c : wire)
                if (c == entry->mb_delimiter)
                    c = '/';
        const auto name = DecodeMailboxName(wire);
        names.push_back(name ? *name : wire);
    }
    return names;
}

std::string ImapSession::EnsureFolder(const std::string& folder) {
    const std::string wire = WireName(folder);
    clist* raw = nullptr;
    const int listed = mailimap_list(imap_, "", wire.c_str(), &raw);
    std::unique_ptr<clist, ListFree> list(raw);
    if (listed != MAILIMAP_NO_ERROR)
        ThrowFor(listed, FailureCode::ImapFolderNotMade, {folder});
    if (list && clist_begin(list.get()))
        return wire;
    const int created = mailimap_create(imap_, wire.c_str());
    if (created != MAILIMAP_NO_ERROR) {
        // Made meanwhile by another client: what was wanted is there.
        if (!IsLostResult(created) && strcasecmp(ServerCode().c_str(), "ALREADYEXISTS") == 0)
            return wire;
        ThrowFor(created, FailureCode::ImapFolderNotMade, {folder});
    }
    return wire;
}

std::string ImapMessageKey(std::string_view header) {
    if (auto id = HeaderField(header, "Message-ID"); id && !id->empty())
        return *id;
    // Never taken for a Message-ID: those start with "<".
    std::string key = "no-id";
    for (const char* name : {"Date", "From", "Subject"})
        key += "\n" + HeaderField(header, name).value_or("");
    return key;
}

void ImapSession::ReadHeaderFields(const std::string& folder, const std::vector<std::string>& fields,
                                   const std::function<void(std::string_view)>& each) {
    const std::string wire = WireName(folder);
    const int examined = mailimap_examine(imap_, wire.c_str());
    if (examined != MAILIMAP_NO_ERROR)
        ThrowFor(examined, FailureCode::ImapFolderNotRead, {folder});
    const uint32_t count = imap_->imap_selection_info ? imap_->imap_selection_info->sel_exists : 0;
    for (uint32_t first = 1; first <= count && first != 0; first += kFetchPiece) {
        const uint32_t last = count - first < kFetchPiece ? count : first + kFetchPiece - 1;
        std::unique_ptr<mailimap_set, SetFree> set(mailimap_set_new_interval(first, last));
        clist* names = clist_new();
        if (!set || !names)
            throw std::bad_alloc();
        for (const std::string& field : fields) {
            char* name = strdup(field.c_str());
            if (!name || clist_append(names, name) < 0) {
                free(name);
                for (clistiter* it = clist_begin(names); it; it = clist_next(it))
                    free(clist_content(it));
                clist_free(names);
                throw std::bad_alloc();
            }
        }
        std::unique_ptr<mailimap_fetch_type, FetchTypeFree> type(mailimap_fetch_type_new_fetch_att_list_empty());
        mailimap_fetch_att* attribute = mailimap_fetch_att_new_body_peek_section(
            mailimap_section_new_header_fields(mailimap_header_list_new(names)));
        if (!type || !attribute || mailimap_fetch_type_new_fetch_att_list_add(type.get(), attribute) != 0)
            throw std::bad_alloc();
        clist* raw = nullptr;
        const int fetched = mailimap_fetch(imap_, set.get(), type.get(), &raw);
        std::unique_ptr<clist, FetchFree> answers(raw);
        if (fetched != MAILIMAP_NO_ERROR)
            ThrowFor(fetched, FailureCode::ImapFolderNotRead, {folder});
        for (clistiter* it = answers ? clist_begin(answers.get()) : nullptr; it; it = clist_next(it)) {
            const auto* message = static_cast<const mailimap_msg_att*>(clist_content(it));
            for (clistiter* item = clist_begin(message->att_list); item; item = clist_next(item)) {
                const auto* att = static_cast<const mailimap_msg_att_item*>(clist_content(item));
                if (att->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC || !att->att_data.att_static ||
                    att->att_data.att_static->att_type != MAILIMAP_MSG_ATT_BODY_SECTION)
                    continue;
                const mailimap_msg_att_body_section* section = att->att_data.att_static->att_data.att_body_section;
                if (!section)
                    continue;
                each(section->sec_body_part ? std::string_view(section->sec_body_part, section->sec_length)
                                            : std::string_view());
            }
        }
        if (last == count)
            break;
    }
}

std::set<std::string> ImapSession::KnownMessageIds(const std::string& folder) {
    std::set<std::string> ids;
    ReadHeaderFields(folder, {"Message-ID"}, [&](std::string_view header) {
        if (auto id = HeaderField(header, "Message-ID"); id && !id->empty())
            ids.insert(std::move(*id));
    });
    return ids;
}

std::set<std::string> ImapSession::KnownMessageKeys(const std::string& folder) {
    std::set<std::string> keys;
    ReadHeaderFields(folder, {"Message-ID", "Date", "From", "Subject"},
                     [&](std::string_view header) { keys.insert(ImapMessageKey(header)); });
    return keys;
}

std::optional<Failure> ImapSession::Append(const std::string& folder, std::string_view message,
                                           const ImapInternalDate& date, bool seen) {
    const std::string wire = WireName(folder);
    std::unique_ptr<mailimap_flag_list, FlagListFree> flags;
    if (seen) {
        flags.reset(mailimap_flag_list_new_empty());
        mailimap_flag* flag = mailimap_flag_new_seen();
        if (!flags || !flag || mailimap_flag_list_add(flags.get(), flag) != MAILIMAP_NO_ERROR) {
            if (flag)
                mailimap_flag_free(flag);
            throw std::bad_alloc();
        }
    }
    std::unique_ptr<mailimap_date_time, DateTimeFree> when(mailimap_date_time_new(
        date.day, date.month, date.year, date.hour, date.minute, date.second, ZoneNumber(date.zoneMinutes)));
    if (!when)
        throw std::bad_alloc();
    const int result = mailimap_append(imap_, wire.c_str(), flags.get(), when.get(), message.data(), message.size());
    if (result == MAILIMAP_NO_ERROR)
        return std::nullopt;
    if (IsLostResult(result)) {
        lost_ = true;
        throw Failure(FailureCode::ImapConnectionLost, {target_.host});
    }
    if (strcasecmp(ServerCode().c_str(), "OVERQUOTA") == 0)
        return Failure(FailureCode::ImapQuota, {ServerWords()});
    return Failure(FailureCode::ImapMessageRefused, {ServerWords()});
}

void ImapSession::Logout() {
    if (!imap_)
        return;
    if (imap_->imap_stream && !lost_)
        mailimap_logout(imap_);
    mailimap_free(imap_);
    imap_ = nullptr;
}

} // namespace kamo
