#include "import/MailDecode.h"

#include "common/QuoteSafe.h"
#include "import/MailHeaderFields.h"
#include "mime/EarlierReading.h"
#include "mime/MimeBody.h"

namespace kamo {
namespace {

// Every byte in a whole character: lead bytes with a valid second byte, nothing undefined.
// `halfwidth` tells whether a half-width katakana byte was seen (another set's bytes, maybe).
bool IsWellFormedCp932(std::string_view s, bool& halfwidth) {
    halfwidth = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80)
            continue;
        if (b >= 0xA1 && b <= 0xDF) {
            halfwidth = true;
            continue;
        }
        if (!((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) || i + 1 >= s.size())
            return false;
        const auto t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC)
            return false;
    }
    return true;
}

std::string Finish(Mail_StrChange_Fn strChange, std::string_view utf8) {
    return ReplaceBars(QuoteSafe(strChange, utf8));
}

// A body of PostPet text (already with CR LF line breaks): undeclared text, read as
// DecodeUndeclaredText reads it.
std::string PlainBody(const std::string& body, Mail_StrChange_Fn strChange) {
    // Bodies are the bulk of the work: CP932 bodies go to the library as they are and are decoded
    // once; ISO-2022-JP ones must be decoded first (their bytes look like ASCII delimiters), and
    // so must broken ones (a stray first byte would pair up with the library's replacement) and
    // ones that may be in another set (only those show half-width katakana read as CP932).
    bool halfwidth = false;
    const bool earlier = EarlierReading::Active(); // all text but ISO-2022-JP runs was CP932
    if (body.find('\x1B') == std::string::npos && IsWellFormedCp932(body, halfwidth) && (!halfwidth || earlier))
        return ReplaceBars(DecodeMailText(QuoteSafeCp932(strChange, body)));
    return Finish(strChange, earlier ? DecodeMailText(body) : DecodeUndeclaredText(body));
}

} // namespace

std::string ReplaceBars(std::string_view utf8) {
    // The text between bars is copied whole: most text has none.
    std::string out;
    out.reserve(utf8.size());
    std::size_t from = 0;
    for (std::size_t bar = utf8.find('|'); bar != std::string_view::npos; bar = utf8.find('|', from)) {
        out.append(utf8.substr(from, bar - from));
        out += "｜";
        from = bar + 1;
    }
    out.append(utf8.substr(from));
    return out;
}

namespace {

// The fields every reading of a mail gives alike.
void DecodeFields(const TmpMail& raw, Mail_StrChange_Fn strChange, MailRecord& mail) {
    const AddressName from = SplitAddress(DecodeUndeclaredText(raw.from));
    const AddressName to = SplitAddress(DecodeUndeclaredText(raw.to));
    mail.sndAdd = Finish(strChange, from.address);
    mail.sndName = Finish(strChange, from.name);
    mail.rcvAdd = Finish(strChange, to.address);
    mail.rcvName = Finish(strChange, to.name);
    mail.subject = Finish(strChange, DecodeEncodedWords(DecodeUndeclaredText(raw.subject)));
    const MailDate date = ParseMailDate(raw.date);
    mail.ymd = date.ymd;
    mail.hms = date.hms;
    mail.include.assign(1, '0'); // (GCC 12 warns falsely about operator= of a literal here at -O2)
}

} // namespace

const char* const kNotDecodedNote =
    "【KamoMail】このメールは全体を読み解けなかったため、本文を元のテキストのまま保存しました。\r\n\r\n";

DecodedMail DecodeMail(const TmpMail& raw, Mail_StrChange_Fn strChange) {
    DecodedMail decoded;
    MailRecord& mail = decoded.record;
    DecodeFields(raw, strChange, mail);
    decoded.headers = ReadHeaderFields(raw.header);
    decoded.mime = HasMimeHeaders(raw.header);
    if (decoded.mime) {
        // The body's own bytes: a binary part must not lose the CRs the reshaped body drops.
        MimeContent content = ReadMimeContent(raw.header, raw.rawBody.empty() ? raw.body : raw.rawBody);
        mail.body = Finish(strChange, content.text);
        decoded.attachments.reserve(content.attachments.size());
        for (MimeAttachment& a : content.attachments)
            decoded.attachments.push_back(
                {std::move(a.name), StoredContentType(a.mediaType, a.charset), std::move(a.bytes)});
    } else {
        mail.body = PlainBody(raw.body, strChange);
    }
    return decoded;
}

DecodedMail DecodeMailAsText(const TmpMail& raw, Mail_StrChange_Fn strChange) {
    DecodedMail decoded;
    decoded.whole = false;
    DecodeFields(raw, strChange, decoded.record);
    decoded.record.body = kNotDecodedNote + PlainBody(raw.body, strChange);
    return decoded;
}

std::vector<DecodedMail> EarlierReadings(const TmpMail& raw, Mail_StrChange_Fn strChange) {
    const EarlierReading earlier;
    std::vector<DecodedMail> readings;
    DecodedMail decoding = DecodeMail(raw, strChange);
    DecodedMail asText = decoding;
    asText.attachments.clear();
    asText.mime = false;
    asText.record.body = PlainBody(raw.body, strChange);
    readings.push_back(std::move(decoding));
    if (readings.front().mime)
        readings.push_back(asText); // the reading before MIME
    asText.whole = false;
    asText.record.body = kNotDecodedNote + asText.record.body;
    readings.push_back(std::move(asText));
    return readings;
}

} // namespace kamo
