// Decoding time grows with the length of the mail, never with its square: every scan over mail
// text (encoded words, HTML references, MIME header fields, address lists) is measured on 4 MB of
// its worst shape against the decoding of 4 MB of ordinary text.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "import/MailDecode.h"
#include "mime/HtmlText.h"
#include "mime/MimeBody.h"
#include "ppwriter/MailboxWriter.h"

using namespace kamo;

namespace {

constexpr std::size_t kSize = 4 << 20;

std::string Repeat(std::string_view unit, std::size_t size = kSize) {
    std::string s;
    s.reserve(size + unit.size());
    while (s.size() < size)
        s += unit;
    return s;
}

// The shortest of `runs` runs, in seconds: the machine's other work only ever adds time.
double Seconds(const std::function<void()>& work, int runs = 2) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

TmpMail Mail(std::string subject, std::string from = "hanako@example.jp", std::string header = {},
             std::string body = "body\r\n") {
    TmpMail m;
    m.from = std::move(from);
    m.to = "kamo@example.jp";
    m.subject = std::move(subject);
    m.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    m.header = std::move(header);
    m.body = std::move(body);
    return m;
}

const std::string kMime = "MIME-Version: 1.0\r\n";

} // namespace

TEST(DecodeTime, EveryScanOverMailTextIsLinear) {
    // Ordinary text of each kind, 4 MB: encoded words in a subject, a multipart MIME mail with its
    // text and an attachment, an HTML part.
    const std::string words = Repeat(ppw::EncodedWord("日本語の件名です") + " ");
    const std::string html = Repeat("<p>こんにちは &amp; さようなら <b>太字</b></p>\r\n");
    const std::string multipart = ppw::Multipart(
        "b", {"Content-Type: text/plain; charset=UTF-8\r\n\r\n" + Repeat("本文の一行です。\r\n", kSize / 2),
              "Content-Type: application/pdf; name=a.pdf\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                  ppw::Base64(std::string(kSize / 3, 'x'))});
    const double ordinary = std::max({
        Seconds([&] { DecodeMail(Mail(words), nullptr); }),
        Seconds([&] { ReadMimeContent(kMime + "Content-Type: multipart/mixed; boundary=b\r\n", multipart); }),
        Seconds([&] { HtmlToText(html); }),
    });

    struct Case {
        const char* shape;
        std::function<void(std::size_t n)> work; // on n bytes of the shape
    };
    const Case cases[] = {
        {"subject of words never closed", [&](std::size_t n) { DecodeMail(Mail(Repeat("=?x?b?a", n)), nullptr); }},
        {"subject of starts", [&](std::size_t n) { DecodeMail(Mail(Repeat("=?", n)), nullptr); }},
        {"subject of words in other charsets",
         [&](std::size_t n) { DecodeMail(Mail(Repeat("=?a?q?x?= =?b?q?y?= ", n)), nullptr); }},
        {"attachment name",
         [&](std::size_t n) {
             ReadMimeContent(
                 kMime + "Content-Type: application/octet-stream; name=\"" + Repeat("=?x?b?a", n) + "\"\r\n", "x");
         }},
        {"forwarded subject",
         [&](std::size_t n) {
             ReadMimeContent(kMime + "Content-Type: message/rfc822\r\n",
                             "Subject: " + Repeat("=?x?b?a", n) + "\r\n\r\ntext\r\n");
         }},
        {"html of ampersands", [&](std::size_t n) { HtmlToText(Repeat("&", n)); }},
        {"html of references never closed", [&](std::size_t n) { HtmlToText(Repeat("&#1", n)); }},
        {"html of tags never closed", [&](std::size_t n) { HtmlToText(Repeat("<a href='", n)); }},
        {"html of links", [&](std::size_t n) { HtmlToText(Repeat("<a href=x>", n)); }},
        {"html part of ampersands",
         [&](std::size_t n) { ReadMimeContent(kMime + "Content-Type: text/html; charset=UTF-8\r\n", Repeat("&", n)); }},
        {"address list of commas", [&](std::size_t n) { DecodeMail(Mail("s", Repeat(",", n)), nullptr); }},
        {"address list of quotes and brackets",
         [&](std::size_t n) { DecodeMail(Mail("s", Repeat("\"(<,", n)), nullptr); }},
        {"date line of numbers and clocks",
         [&](std::size_t n) {
             TmpMail m = Mail("s");
             m.date = Repeat("12:00:00 2001-03-06T21:05:09 (x) ", n);
             DecodeMail(m, nullptr);
         }},
        {"header field of folds",
         [&](std::size_t n) { ReadMimeContent(kMime + "Content-Type: text/plain;" + Repeat("\r\n x", n), "t"); }},
        {"header of fields", [&](std::size_t n) { ReadMimeContent(kMime + Repeat("X-A: 1\r\n", n), "t"); }},
        {"parameters",
         [&](std::size_t n) { ReadMimeContent(kMime + "Content-Type: text/plain" + Repeat("; a=\"b\\\"", n), "t"); }},
        {"uuencoded lines",
         [&](std::size_t n) {
             ReadMimeContent(kMime + "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: "
                                     "x-uuencode\r\n",
                             "begin 644 x\r\n" + Repeat("M\r\n" + std::string(70, '!') + "\r\n", n));
         }},
        {"parameter sections",
         [&](std::size_t n) {
             std::string value = "Content-Type: text/plain";
             for (int i = 0; value.size() < n; ++i)
                 value += "; name*" + std::to_string(i % 10000) + "*=%41";
             ReadMimeContent(kMime + value, "t");
         }},
        {"comments",
         [&](std::size_t n) { ReadMimeContent(kMime + "Content-Type: text/plain " + Repeat("((", n), "t"); }},
        {"shift_jis parameter",
         [&](std::size_t n) {
             ReadMimeContent(kMime + "Content-Type: text/plain; name=\"" + Repeat("\x95\\", n) + "\"", "t");
         }},
        {"multipart of delimiters",
         [&](std::size_t n) {
             ReadMimeContent(kMime + "Content-Type: multipart/mixed; boundary=b\r\n", Repeat("--b\r\n", n));
         }},
    };
    // Generous: a linear scan of any shape stays within a small multiple of ordinary text; one that
    // grows with the square takes minutes here. A sixteenth of the size first, so that such a scan
    // fails in seconds rather than in hours.
    const double limit = 25 * ordinary + 0.5;
    for (const auto& c : cases) {
        const double small = Seconds([&] { c.work(kSize / 16); }, 1);
        ASSERT_LT(small, limit / 16 + 0.5) << c.shape << " on " << kSize / 16 << " bytes: " << small << " s";
        const double took = Seconds([&] { c.work(kSize); });
        EXPECT_LT(took, limit) << c.shape << ": " << took << " s, ordinary text " << ordinary << " s";
        RecordProperty(c.shape, std::to_string(took));
    }
    RecordProperty("ordinary", std::to_string(ordinary));
}
