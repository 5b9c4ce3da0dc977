#pragma once
// The header fields of a mail kept beside it for other mail programs (db/HeaderFields.h), read
// from the mail's own header region when it is read.
#include <string_view>
#include <vector>

#include "db/HeaderFields.h"

namespace kamo {

// Message-ID, In-Reply-To and References (the message IDs alone; a malformed one is left out), Cc
// and Reply-To (each mailbox of the list with its address and its name, 8-bit text and encoded
// words decoded, groups opened up). Empty fields for a header region without them.
HeaderFields ReadHeaderFields(std::string_view header);

} // namespace kamo
