#pragma once
// The address and the name in a From or To value.
#include <string>
#include <string_view>

#include "common/MailRecord.h" // kNoName

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
// Only the first of several comma-separated mailboxes is taken. Surrounding quotes are removed from
// the name and its encoded words decoded.
AddressName SplitAddress(std::string_view utf8);

} // namespace kamo
