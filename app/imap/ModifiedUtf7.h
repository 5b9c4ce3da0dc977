#pragma once
// IMAP mailbox names on the wire (RFC 3501 5.1.3, "modified UTF-7"): printable ASCII stands for
// itself, "&" is written "&-", and every other run of characters is "&", its UTF-16 in base64 with ","
// for "/" and no padding, then "-". The folder names of the archive are UTF-8; these two turn one
// into the other and back, each the other's inverse.
#include <optional>
#include <string>
#include <string_view>

namespace kamo {

// The wire form of a UTF-8 folder name; none for bytes that are not UTF-8.
std::optional<std::string> EncodeMailboxName(std::string_view utf8);

// The UTF-8 name of a wire form; none for one that no encoder writes (a character outside printable
// ASCII, an "&" run not closed, a letter outside the alphabet, bits left over, a lone surrogate, or
// printable ASCII encoded), so that a name read back compares equal to the one that was sent.
std::optional<std::string> DecodeMailboxName(std::string_view wire);

} // namespace kamo
