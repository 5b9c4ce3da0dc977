#pragma once
// What another mail program reads from our exports: each message parsed by GMime, an independent
// MIME library, and brought into plain values to compare with the archive.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gmime/gmime.h>

#include "testsupport/GMimeSupport.h"

namespace kamo::test {

struct ParsedParty {
    bool group = false; // an empty group (the party had no plain address)
    std::string name;
    std::string address;
};

struct ParsedAttachment {
    std::string fileName;
    std::string contentType;
    std::string charset; // its charset parameter
    bool named = false;  // it has a filename parameter at all
    std::string data;
};

struct ParsedMail {
    ParsedParty from, to;           // to: when the message has exactly one receiver
    std::vector<ParsedParty> toAll; // every receiver
    std::vector<ParsedParty> cc, replyTo;
    std::string inReplyTo, references;    // as the header holds them, unfolded
    std::string keptFrom, keptTo, keptCc; // X-KamoMail-From, -To, -Cc, encoded words decoded
    std::string subject;
    std::string ymd, hms; // the Date header's own clock time (GMime reads no date before 1970)
    std::string dateText; // the Date header as written
    int zoneSeconds = 0;  // its zone offset
    std::string messageId;
    std::string contentType; // of the text part, e.g. "text/plain; charset=UTF-8"
    std::string status;      // the Status header (mbox)
    std::string encoding;    // of the text part
    std::string body;        // the text part's content, transfer encoding undone, bytes as they are
    std::string html;        // the text/html alternative beside it, the same way (none: empty)
    std::vector<ParsedAttachment> attachments;
    std::string mboxMarker; // the "From " line, in an mbox
};

inline ParsedParty PartyOf(InternetAddressList* list) {
    ParsedParty p;
    if (!list || internet_address_list_length(list) != 1)
        throw std::runtime_error("not exactly one address");
    InternetAddress* ia = internet_address_list_get_address(list, 0);
    p.name = Text(internet_address_get_name(ia));
    if (INTERNET_ADDRESS_IS_GROUP(ia))
        p.group = true;
    else
        p.address = Text(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(ia)));
    return p;
}

inline std::vector<ParsedParty> PartiesOf(InternetAddressList* list) {
    std::vector<ParsedParty> parties;
    for (int i = 0; list && i < internet_address_list_length(list); ++i) {
        InternetAddress* ia = internet_address_list_get_address(list, i);
        ParsedParty p;
        p.name = Text(internet_address_get_name(ia));
        p.group = INTERNET_ADDRESS_IS_GROUP(ia);
        if (!p.group)
            p.address = Text(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(ia)));
        parties.push_back(std::move(p));
    }
    return parties;
}

// An unstructured header's text, unfolded and its encoded words decoded.
inline std::string HeaderText(GMimeMessage* message, const char* name) {
    const char* raw = g_mime_object_get_header(GMIME_OBJECT(message), name);
    if (!raw)
        return {};
    char* decoded = g_mime_utils_header_decode_text(nullptr, raw);
    std::string text = Text(decoded);
    g_free(decoded);
    return text;
}

inline ParsedMail Parse(GMimeMessage* message) {
    ParsedMail m;
    m.from = PartyOf(g_mime_message_get_from(message));
    m.toAll = PartiesOf(g_mime_message_get_to(message));
    if (m.toAll.size() == 1)
        m.to = PartyOf(g_mime_message_get_to(message));
    m.cc = PartiesOf(g_mime_message_get_cc(message));
    m.replyTo = PartiesOf(g_mime_message_get_reply_to(message));
    m.inReplyTo = Text(g_mime_object_get_header(GMIME_OBJECT(message), "In-Reply-To"));
    m.references = Text(g_mime_object_get_header(GMIME_OBJECT(message), "References"));
    m.keptFrom = HeaderText(message, "X-KamoMail-From");
    m.keptTo = HeaderText(message, "X-KamoMail-To");
    m.keptCc = HeaderText(message, "X-KamoMail-Cc");
    m.subject = Text(g_mime_message_get_subject(message));
    if (GDateTime* date = g_mime_message_get_date(message)) {
        char* ymd = g_date_time_format(date, "%Y/%m/%d");
        char* hms = g_date_time_format(date, "%H:%M:%S");
        m.ymd = ymd;
        m.hms = hms;
        g_free(ymd);
        g_free(hms);
        m.zoneSeconds = static_cast<int>(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND);
    }
    m.messageId = Text(g_mime_message_get_message_id(message));
    m.dateText = Text(g_mime_object_get_header(GMIME_OBJECT(message), "Date"));
    m.status = Text(g_mime_object_get_header(GMIME_OBJECT(message), "Status"));
    GMimeObject* top = g_mime_message_get_mime_part(message);
    GMimePart* text = nullptr;
    GMimePart* html = nullptr;
    // multipart/alternative: the text, then the HTML.
    auto alternatives = [&](GMimeObject* object) {
        GMimeMultipart* alt = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(alt); ++i) {
            GMimeObject* part = g_mime_multipart_get_part(alt, i);
            if (!GMIME_IS_PART(part))
                continue;
            GMimeContentType* type = g_mime_object_get_content_type(part);
            if (g_mime_content_type_is_type(type, "text", "plain"))
                text = GMIME_PART(part);
            else if (g_mime_content_type_is_type(type, "text", "html"))
                html = GMIME_PART(part);
        }
    };
    auto isAlternative = [](GMimeObject* object) {
        return GMIME_IS_MULTIPART(object) &&
               g_mime_content_type_is_type(g_mime_object_get_content_type(object), "multipart", "alternative");
    };
    if (isAlternative(top)) {
        alternatives(top);
    } else if (GMIME_IS_MULTIPART(top)) {
        GMimeMultipart* multi = GMIME_MULTIPART(top);
        for (int i = 0; i < g_mime_multipart_get_count(multi); ++i) {
            GMimeObject* child = g_mime_multipart_get_part(multi, i);
            if (i == 0 && isAlternative(child)) {
                alternatives(child);
                continue;
            }
            if (!GMIME_IS_PART(child))
                continue;
            if (i == 0) {
                text = GMIME_PART(child);
                continue;
            }
            ParsedAttachment a;
            a.fileName = Text(g_mime_part_get_filename(GMIME_PART(child)));
            GMimeContentType* contentType = g_mime_object_get_content_type(child);
            char* type = g_mime_content_type_get_mime_type(contentType);
            a.contentType = Text(type);
            g_free(type);
            a.charset = Text(g_mime_content_type_get_parameter(contentType, "charset"));
            a.named = g_mime_object_get_content_disposition_parameter(child, "filename") != nullptr;
            a.data = Decoded(GMIME_PART(child));
            m.attachments.push_back(std::move(a));
        }
    } else if (GMIME_IS_PART(top)) {
        text = GMIME_PART(top);
    }
    if (!text)
        throw std::runtime_error("no text part");
    GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(text));
    char* mime = g_mime_content_type_get_mime_type(type);
    m.contentType = Text(mime) + "; charset=" + Text(g_mime_content_type_get_parameter(type, "charset"));
    g_free(mime);
    m.encoding = Text(g_mime_content_encoding_to_string(g_mime_part_get_content_encoding(text)));
    m.body = Decoded(text);
    if (html)
        m.html = Decoded(html);
    return m;
}

inline std::vector<ParsedMail> ParseStream(GMimeStream* stream, bool mbox) {
    InitGMime();
    GObjectRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
    g_mime_parser_set_format(parser.p, mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
    std::vector<ParsedMail> mails;
    while (!g_mime_parser_eos(parser.p)) {
        GObjectRef<GMimeMessage> message(g_mime_parser_construct_message(parser.p, nullptr));
        if (!message.p)
            break;
        ParsedMail m = Parse(message.p);
        if (mbox) {
            char* marker = g_mime_parser_get_mbox_marker(parser.p);
            m.mboxMarker = Text(marker);
            g_free(marker);
        }
        mails.push_back(std::move(m));
        if (!mbox)
            break;
    }
    return mails;
}

inline std::vector<ParsedMail> ParseFile(const std::filesystem::path& path, bool mbox) {
    InitGMime();
    GError* error = nullptr;
    GObjectRef<GMimeStream> stream(g_mime_stream_fs_open(path.c_str(), O_RDONLY, 0, &error));
    if (!stream.p) {
        if (error)
            g_error_free(error);
        throw std::runtime_error("cannot open " + path.string());
    }
    return ParseStream(stream.p, mbox);
}

inline ParsedMail ParseBytes(const std::string& bytes) {
    InitGMime();
    GObjectRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), static_cast<size_t>(bytes.size())));
    auto mails = ParseStream(stream.p, false);
    if (mails.empty())
        throw std::runtime_error("no message");
    return mails.front();
}

} // namespace kamo::test
