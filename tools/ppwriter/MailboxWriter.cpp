#include "ppwriter/MailboxWriter.h"

#include <memory>
#include <stdexcept>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

namespace ppw {
namespace {

// Its own converter rather than the program's common/IcuConverter: the writer is built without
// app/ (KAMOMAIL_LIBRARY_ONLY), and test mailboxes made with the reader's own conversion code could
// not catch a fault in that code.
struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr OpenConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr conv(ucnv_open(name, &status));
    if (U_FAILURE(status))
        throw std::runtime_error(std::string("ppwriter: no ICU converter ") + name);
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(conv.get(), "?", 1, &status);
    return conv;
}

std::u16string ToUtf16(std::string_view utf8) {
    std::u16string out(utf8.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length, utf8.data(),
                         static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        throw std::runtime_error("ppwriter: text is not UTF-8");
    out.resize(static_cast<size_t>(length));
    return out;
}

std::string FromUtf16(UConverter* conv, const std::u16string& text) {
    if (text.empty())
        return {};
    ucnv_reset(conv);
    std::string out(text.size() * 8 + 16, '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n =
        ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()), reinterpret_cast<const UChar*>(text.data()),
                        static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        throw std::runtime_error("ppwriter: text conversion failed");
    out.resize(static_cast<size_t>(n));
    return out;
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool IsOrdinaryLeadByte(unsigned char b) {
    return b >= 0x10 && b <= 0x7F;
}

std::string Cp932Field(const Mail& mail, const std::string& text, const char* what) {
    std::string bytes = FieldBytes(mail, text);
    if (bytes.find('\0') != std::string::npos)
        throw std::runtime_error(std::string("ppwriter: zero byte inside ") + what);
    return bytes;
}

std::string DefaultHeader(const Mail& mail) {
    std::string h;
    auto line = [&](const char* name, const std::string& value) {
        h += name;
        h += value;
        h += "\r\n";
    };
    line("From: ", FieldBytes(mail, mail.from));
    line("To: ", FieldBytes(mail, mail.to));
    if (!mail.cc.empty())
        line("Cc: ", FieldBytes(mail, mail.cc));
    line("Subject: ", FieldBytes(mail, mail.subject));
    line("Date: ", FieldBytes(mail, mail.date));
    h += "\r\n";
    return h;
}

// One record's bytes plus the mail-file bytes it addresses, given where the mail-file entry starts.
struct Encoded {
    std::string record; // possibly cut (see Damage::cutAfter)
    bool cut = false;
    std::string header;
    std::string body;
};

Encoded Encode(const Mail& mail, uint64_t mailPos) {
    Encoded e;
    e.header = mail.header ? FieldBytes(mail, *mail.header) : DefaultHeader(mail);
    e.body = FieldBytes(mail, mail.body);
    uint64_t a = mailPos;
    uint64_t b = a + e.header.size();
    uint64_t c = e.body.size();
    if (b + c > 0xFFFFFFFFull)
        throw std::runtime_error("ppwriter: mail file grows past 4 GB");

    std::string strings;
    for (const auto* f : {&mail.from, &mail.to, &mail.cc, &mail.subject, &mail.date}) {
        strings += Cp932Field(mail, *f, "a list field");
        strings.push_back('\0');
    }
    const std::string trailer = TrailerBytes(mail.trailer);
    const Damage& d = mail.damage;
    std::string& r = e.record;
    r.reserve(28 + strings.size() + trailer.size());
    r += d.startMarker ? d.startMarker->substr(0, 4) : std::string("SsS1");
    const uint64_t length = 16 + strings.size() + 2 + trailer.size();
    PutU32(r, d.recordLength.value_or(static_cast<uint32_t>(length)));
    PutU32(r, d.headerOffset.value_or(static_cast<uint32_t>(a)));
    PutU32(r, d.bodyOffset.value_or(static_cast<uint32_t>(b)));
    PutU32(r, d.bodyLength.value_or(static_cast<uint32_t>(c)));
    r.append(reinterpret_cast<const char*>(mail.four.data()), 4);
    r += strings;
    r.append(reinterpret_cast<const char*>(mail.two.data()), 2);
    r += trailer;
    r += d.endMarker ? d.endMarker->substr(0, 4) : std::string("EeE1");
    if (d.cutAfter && *d.cutAfter < r.size()) {
        r.resize(*d.cutAfter);
        e.cut = true;
    }
    return e;
}

} // namespace

std::string ToCp932(std::string_view utf8) {
    thread_local ConverterPtr conv = OpenConverter("windows-31j");
    return FromUtf16(conv.get(), ToUtf16(utf8));
}

std::string ToIso2022Jp(std::string_view utf8) {
    thread_local ConverterPtr conv = OpenConverter("ISO-2022-JP");
    return FromUtf16(conv.get(), ToUtf16(utf8));
}

std::string ToCharset(std::string_view utf8, const char* charset) {
    ConverterPtr conv = OpenConverter(charset);
    return FromUtf16(conv.get(), ToUtf16(utf8));
}

std::string Base64(std::string_view bytes, size_t lineLength) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t column = 0;
    auto put = [&](char c) {
        if (lineLength > 0 && column == lineLength) {
            out += "\r\n";
            column = 0;
        }
        out.push_back(c);
        ++column;
    };
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6)
            put(kAlphabet[(v >> s) & 63]);
    }
    if (i + 1 == bytes.size()) {
        uint32_t v = uint8_t(bytes[i]) << 16;
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put('=');
        put('=');
    } else if (i + 2 == bytes.size()) {
        uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put('=');
    }
    return out;
}

std::string QuotedPrintable(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    auto put = [&](std::string_view piece) {
        if (column + piece.size() > 75) { // room for the "=" of a soft line break
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n"; // a line break of the text stays one
            column = 0;
            ++i;
            continue;
        }
        const bool lineEnd = i + 1 == bytes.size() || bytes[i + 1] == '\r';
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd)) {
            put(std::string_view(&bytes[i], 1));
        } else {
            const char hex[3] = {'=', kHex[c >> 4], kHex[c & 15]};
            put(std::string_view(hex, 3));
        }
    }
    return out;
}

std::string EncodedWord(std::string_view utf8) {
    return "=?ISO-2022-JP?B?" + Base64(ToIso2022Jp(utf8), 0) + "?=";
}

std::string Multipart(const std::string& boundary, const std::vector<std::string>& parts) {
    std::string out = "This is a multi-part message in MIME format.\r\n";
    for (const auto& part : parts)
        out += "\r\n--" + boundary + "\r\n" + part;
    return out + "\r\n--" + boundary + "--\r\n";
}

std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += "\r\n";
        out += lines[i];
    }
    return out;
}

std::string TrailerBytes(const Trailer& t) {
    if (t.raw)
        return *t.raw;
    auto fail = [](const char* why) -> std::string {
        throw std::runtime_error(std::string("ppwriter: trailer: ") + why);
    };
    if (t.lead.size() > 20)
        return fail("more than 20 lead bytes");
    for (unsigned char b : t.lead)
        if (!IsOrdinaryLeadByte(b))
            return fail("lead byte outside 0x10..0x7F");
    if (t.tail.find('\0') != std::string::npos)
        return fail("zero byte inside the tail");
    std::string out = t.lead;
    if (!t.groupCount) {
        if (!t.groupStrings.empty() || !t.tail.empty())
            return fail("strings or tail without a group count");
        out.push_back('\0');
        return out;
    }
    const uint8_t count = *t.groupCount;
    const int n = static_cast<int8_t>(count);
    if (t.lead.size() < 20 && n > 15)
        return fail("group count byte would read as ordinary content");
    out.push_back(static_cast<char>(count));
    if (n >= 2) {
        if (t.groupStrings.size() != static_cast<size_t>(n - 1))
            return fail("a group count n needs n - 1 strings");
        for (size_t i = 0; i < t.groupStrings.size(); ++i) {
            if (t.groupStrings[i].find('\0') != std::string::npos)
                return fail("zero byte inside a group string");
            out += t.groupStrings[i];
            out.push_back('\0');
            if (i + 1 < t.groupStrings.size())
                out.push_back(static_cast<char>(t.separator));
        }
        // The further byte after the last string is the end (0) or the tail's first byte.
        out += t.tail;
        out.push_back('\0');
        return out;
    }
    if (!t.groupStrings.empty())
        return fail("group strings need a count of 2 or more");
    if (n == 0) {
        if (!t.tail.empty())
            return fail("a zero group count ends the trailer");
        return out;
    }
    out += t.tail;
    out.push_back('\0');
    return out;
}

std::string FieldBytes(const Mail& mail, const std::string& text) {
    return mail.raw ? text : ToCp932(text);
}

MailboxWriter::MailboxWriter(const std::filesystem::path& listPath, const std::filesystem::path& mailPath)
    : listBuf_(1 << 20), mailBuf_(1 << 20), listPath_(listPath) {
    list_.rdbuf()->pubsetbuf(listBuf_.data(), static_cast<std::streamsize>(listBuf_.size()));
    mail_.rdbuf()->pubsetbuf(mailBuf_.data(), static_cast<std::streamsize>(mailBuf_.size()));
    list_.open(listPath, std::ios::binary | std::ios::trunc);
    if (!list_)
        throw std::runtime_error("ppwriter: cannot create " + listPath.string());
    mail_.open(mailPath, std::ios::binary | std::ios::trunc);
    if (!mail_)
        throw std::runtime_error("ppwriter: cannot create " + mailPath.string());
}

MailboxWriter::~MailboxWriter() = default;

void MailboxWriter::Add(const Mail& mail) {
    Encoded e = Encode(mail, mailPos_);
    mail_.write(e.header.data(), static_cast<std::streamsize>(e.header.size()));
    mail_.write(e.body.data(), static_cast<std::streamsize>(e.body.size()));
    mailPos_ += e.header.size() + e.body.size();
    if (!listEnded_) {
        list_.write(e.record.data(), static_cast<std::streamsize>(e.record.size()));
        listEnded_ = e.cut;
    }
    if (!list_ || !mail_)
        throw std::runtime_error("ppwriter: write failed next to " + listPath_.string());
}

void MailboxWriter::Close() {
    list_.close();
    mail_.close();
    if (list_.fail() || mail_.fail())
        throw std::runtime_error("ppwriter: write failed next to " + listPath_.string());
}

void WriteMailbox(const std::filesystem::path& listPath, const std::filesystem::path& mailPath,
                  const std::vector<Mail>& mails) {
    MailboxWriter w(listPath, mailPath);
    for (const Mail& m : mails)
        w.Add(m);
    w.Close();
}

MailboxBytes BuildMailbox(const std::vector<Mail>& mails) {
    MailboxBytes out;
    bool ended = false;
    for (const Mail& m : mails) {
        Encoded e = Encode(m, out.mail.size());
        out.mail += e.header;
        out.mail += e.body;
        if (!ended) {
            out.list += e.record;
            ended = e.cut;
        }
    }
    return out;
}

std::string FriendFileBytes(const std::vector<Friend>& friends) {
    std::string out;
    for (const Friend& f : friends) {
        PutU32(out, f.petKind);
        for (const auto* field : {&f.petName, &f.ownerName, &f.address}) {
            std::string bytes = f.raw ? *field : ToCp932(*field);
            if (bytes.size() > 255)
                throw std::runtime_error("ppwriter: friend field longer than 255 bytes");
            out.push_back(static_cast<char>(bytes.size()));
            out += bytes;
        }
        PutU32(out, f.mailCount);
    }
    return out;
}

void WriteFriendFile(const std::filesystem::path& path, const std::vector<Friend>& friends) {
    const std::string bytes = FriendFileBytes(friends);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("ppwriter: cannot write " + path.string());
}

} // namespace ppw
