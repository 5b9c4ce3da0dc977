#pragma once
// The addresses and names of From, To and the address lists (Cc, Reply-To): split into their
// mailboxes by one rule, and written back as mailboxes.
#include <string>
#include <string_view>
#include <vector>

#include "common/MailRecord.h" // kNoName, MailParty

namespace kamo {

struct AddressName {
    std::string address;
    std::string name; // kNoName when there is none
};

// Splits a From/To value (UTF-8, encoded words not yet decoded) into address and name:
//   Name <addr>, "Name" <addr>   the part in angle brackets is the address
//   addr (Name)                  the part in round brackets is the name
//   addr                         the word around "@" is the address, the rest the name
//   anything else                the whole text is the address
// Only the first mailbox of a list (as SplitAddressList splits it) is taken; a text with none (a
// group without members, "undisclosed-recipients:;") is the address as it stands. Surrounding quotes are removed from
// the name and its encoded words decoded.
AddressName SplitAddress(std::string_view utf8);

// The mailboxes of an address list (UTF-8, encoded words not yet decoded), each read by
// SplitAddress: split at the commas outside quotes, comments and angle brackets (a comma before the
// mailbox's "@" belongs to an unquoted name), a group's name and its ";" dropped; a mailbox without
// a name has an empty one.
std::vector<MailParty> SplitAddressList(std::string_view utf8);

// A plain addr-spec: ASCII letters, digits and the atom characters, one "@" with text on both sides.
bool IsPlainAddress(std::string_view address);
// An address that may go into a header as it is: plain, and no longer than SMTP allows (254).
bool IsUsableAddress(std::string_view address);

class HeaderLine;
// A mailbox after the header's name or a comma: `"name" <address>`, `=?UTF-8?B?...?= <address>` or
// `<address>` (empty name). A quoted name folds at its blanks (folding white space inside a quoted
// string is allowed and unfolds to the same blank).
void AppendMailbox(HeaderLine& line, const std::string& name, const std::string& address);

} // namespace kamo
