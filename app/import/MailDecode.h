#pragma once
// Turning the raw values of a KamoMail.Tmp block into a Mail Record. Each decoding step has its
// own file, included here for the callers; this one adds the replacements every stored value gets.
#include <string>
#include <string_view>

#include "common/MailRecord.h"
#include "import/EncodedWords.h"
#include "import/MailAddresses.h"
#include "import/MailCharsets.h"
#include "import/MailDates.h"
#include "import/TmpReader.h"
#include "kamomail.h"

namespace kamo {

// "|" -> "｜".
std::string ReplaceBars(std::string_view utf8);

// The whole conversion of one block. Every text value is decoded, made quote-safe through
// Mail_StrChange (`strChange` may be null: then only the bars are replaced) and has its bars
// replaced. The send/receive flag and the sub-key are left for the caller.
MailRecord BuildMailRecord(const TmpMail& raw, Mail_StrChange_Fn strChange);

} // namespace kamo
