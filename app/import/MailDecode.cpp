#include "import/MailDecode.h"

#include "common/QuoteSafe.h"

namespace kamo {
namespace {

// Every byte in a whole character: lead bytes with a valid second byte, nothing undefined.
bool IsWellFormedCp932(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            continue;
        if (!((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) || i + 1 >= s.size())
            return false;
        const auto t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC)
            return false;
    }
    return true;
}

} // namespace

std::string ReplaceBars(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '|')
            out += "｜";
        else
            out += c;
    }
    return out;
}

MailRecord BuildMailRecord(const TmpMail& raw, Mail_StrChange_Fn strChange) {
    auto finish = [&](std::string_view utf8) { return ReplaceBars(QuoteSafe(strChange, utf8)); };
    MailRecord mail;
    const AddressName from = SplitAddress(DecodeMailText(raw.from));
    const AddressName to = SplitAddress(DecodeMailText(raw.to));
    mail.sndAdd = finish(from.address);
    mail.sndName = finish(from.name);
    mail.rcvAdd = finish(to.address);
    mail.rcvName = finish(to.name);
    mail.subject = finish(DecodeEncodedWords(DecodeMailText(raw.subject)));
    const MailDate date = ParseMailDate(raw.date);
    mail.ymd = date.ymd;
    mail.hms = date.hms;
    // Bodies are the bulk of the work: CP932 bodies go to the library as they are and are decoded
    // once; ISO-2022-JP ones must be decoded first (their bytes look like ASCII delimiters), and
    // so must broken ones (a stray first byte would pair up with the library's replacement).
    if (raw.body.find('\x1B') == std::string::npos && IsWellFormedCp932(raw.body))
        mail.body = ReplaceBars(DecodeMailText(QuoteSafeCp932(strChange, raw.body)));
    else
        mail.body = finish(DecodeMailText(raw.body));
    mail.include = "0";
    return mail;
}

} // namespace kamo
