#pragma once
// The check of a server's certificate before anything secret is sent: the chain must lead to a
// trusted authority and the server's own certificate must name the host that was asked for.
#include <optional>
#include <string>
#include <vector>

namespace kamo {

// Why the chain (DER, the server's own certificate first, as the server sent it) is not trusted for
// `host`, in GnuTLS's words, or none when it is. The authorities are the system's store, or only
// those in `caFile` when one is given. Throws Failure(ImapCaFileUnreadable) for a CA file that
// holds no certificate.
std::optional<std::string> ChainRefusal(const std::vector<std::string>& derChain, const std::string& host,
                                        const std::string& caFile);

} // namespace kamo
