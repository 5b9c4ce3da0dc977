// The pieces of MIME reading one by one: transfer encodings, header fields and parameters, declared
// charsets, HTML text, and the walk over damaged mail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <random>

#include "common/CodePage.h"
#include "mime/HtmlText.h"
#include "mime/MailCharsets.h"
#include "mime/MimeBody.h"
#include "mime/MimeHeaders.h"
#include "mime/TransferEncodings.h"
#include "ppwriter/MailboxWriter.h"

using namespace kamo;

// The heap this test program holds, and the most it held since the last ResetPeak: every
// operator new and delete of the program goes through here, so a walk's peak can be measured.
namespace {
std::atomic<std::size_t> heapNow{0};
std::atomic<std::size_t> heapPeak{0};

void* Take(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    const std::size_t now = heapNow += malloc_usable_size(p);
    for (std::size_t peak = heapPeak; now > peak && !heapPeak.compare_exchange_weak(peak, now);) {
    }
    return p;
}

void Give(void* p) noexcept {
    if (!p)
        return;
    heapNow -= malloc_usable_size(p);
    std::free(p);
}

std::size_t ResetPeak() {
    return heapPeak = heapNow.load();
}
} // namespace

void* operator new(std::size_t n) {
    return Take(n);
}
void* operator new[](std::size_t n) {
    return Take(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return Take(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
    return operator new(n, t);
}
void operator delete(void* p) noexcept {
    Give(p);
}
void operator delete[](void* p) noexcept {
    Give(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Give(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Give(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Give(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Give(p);
}

TEST(TransferEncodings, Base64AndQuotedPrintableTakeWhatTheyAreGiven) {
    const std::pair<std::string, std::string> base64[] = {
        {"5pel5pys", "日本"},
        {"5pel5pys\r\n6Kqe", "日本語"}, // line breaks
        {"5pe l5p\tys", "日本"},        // blanks
        {"5pel5pw", "日\xE6\x9C"},      // padding missing
        {"5pel5pw=", "日\xE6\x9C"},     //
        {"5pel5pw==", "日\xE6\x9C"},    // padding extra
        {"QQ==QUI=", "AAB"},            // padded texts one after the other
        {"5pel=5pys", "日本"},          // "=" where a group is complete pads nothing
        {"!@#5pel$%^5pys", "日本"},     // junk
        {"", ""},
    };
    for (const auto& [in, out] : base64)
        EXPECT_EQ(DecodeBase64(in), out) << in;

    const std::pair<std::string, std::string> qp[] = {
        {"caf=C3=A9\r\n", "café\r\n"},
        {"caf=c3=a9", "café"},            // lower-case hex
        {"long=\r\nline", "longline"},    // soft line break
        {"long= \t\r\nline", "longline"}, // blanks after the "="
        {"long=\nline", "longline"},      //
        {"trailing   \r\nnext", "trailing\r\nnext"},
        {"a=ZZb=4", "a=ZZb=4"},              // "=" starting nothing stays
        {"=E6=97=A5=\r\n=E6=9C=AC", "日本"}, // a character split by a soft break
        {"end=", "end"},
    };
    for (const auto& [in, out] : qp)
        EXPECT_EQ(DecodeQuotedPrintable(in), out) << in;
    EXPECT_EQ(DecodeQEncoding("a_b=5F=3d"), "a b_=");
}

TEST(MimeHeaders, FieldsUnfoldAndParametersDecode) {
    const std::string header = "Subject: one\r\n\ttwo\r\n three\r\ncontent-TYPE: text/plain;\r\n charset=\"utf-8\"\r\n"
                               "Content-Type: text/html\r\nX-Empty:\r\n\r\nContent-Disposition: attachment\r\n";
    EXPECT_EQ(HeaderField(header, "Subject"), "one\ttwo three");
    EXPECT_EQ(HeaderField(header, "Content-Type"), "text/plain; charset=\"utf-8\""); // the first of two
    EXPECT_EQ(HeaderField(header, "X-Empty"), "");
    EXPECT_EQ(HeaderField(header, "Content-Disposition"), std::nullopt); // after the empty line: body
    EXPECT_EQ(HeaderField(header, "Subj"), std::nullopt);

    const FieldParams p = ParseFieldParams(
        "Multipart/Mixed (a comment); Boundary=\"a;b\\\"c\" (note); charset = iso-2022-jp ;"
        " name*1*=%E6%9B%B8.txt; name*0*=UTF-8'ja'%E6%96%87; name=\"plain\"; filename=\"=?UTF-8?B?5pel5pys?=.txt\"");
    EXPECT_EQ(p.value, "multipart/mixed");
    ASSERT_TRUE(p.Find("boundary"));
    EXPECT_EQ(p.Find("boundary")->value, "a;b\"c");
    EXPECT_EQ(p.Find("charset")->value, "iso-2022-jp");
    ASSERT_TRUE(p.Find("name"));
    EXPECT_EQ(ParamText(*p.Find("name")), "文書.txt"); // sections in any order; extended wins over plain
    EXPECT_EQ(ParamText(*p.Find("filename")), "日本.txt");
    EXPECT_EQ(p.Find("missing"), nullptr);

    const std::pair<std::string, std::string> names[] = {
        {"a; name*=Shift_JIS''%93%FA%96%7B.doc", "日本.doc"},
        {"a; name*=''%E6%97%A5", "日"}, // no charset: read as undeclared text
        {"a; name*0=\"part \"; name*1=\"two\"", "part two"},
        {"a; name=\"" + Utf8ToCp932("髙橋.txt") + "\"", "髙橋.txt"}, // raw 8-bit
        {"a; name=\"" + ppw::EncodedWord("写真") + ".jpg\"", "写真.jpg"},
    };
    for (const auto& [value, name] : names) {
        const FieldParams f = ParseFieldParams(value);
        ASSERT_TRUE(f.Find("name")) << value;
        EXPECT_EQ(ParamText(*f.Find("name")), name) << value;
    }

    const auto split = SplitEntity("A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore");
    EXPECT_EQ(split.header, "A: 1\r\nB: 2\r\n");
    EXPECT_EQ(split.body, "body\r\n\r\nmore");
    EXPECT_EQ(SplitEntity("\r\nno header").header, "");
    EXPECT_EQ(SplitEntity("no header line\r\nat all").body, "no header line\r\nat all");
    EXPECT_EQ(SplitEntity("Only: header").header, "Only: header");
}

TEST(MailCharsets, ADeclaredCharsetGivesWayOnlyWhenPlainlyWrong) {
    const std::string text = "日本語のメール①";
    const std::string sjis = Utf8ToCp932(text);
    struct Case {
        const char* charset;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"ISO-2022-JP", ppw::ToIso2022Jp("日本語"), "日本語"},
        {"ISO-2022-JP", text, text}, // UTF-8 under a 7-bit label
        {"iso-2022-jp", sjis, text}, // CP932 under a 7-bit label
        {"us-ascii", sjis, text},    //
        {"UTF-8", sjis, text},       // not UTF-8 at all
        {"UTF-8",
         "a\xff"
         "b",
         "a\xEF\xBF\xBD"
         "b"},                                                      // UTF-8 with one bad byte stays UTF-8
        {"Shift_JIS", sjis, text},                                  //
        {"Shift_JIS", text, text},                                  // UTF-8 is no CP932 text here
        {"EUC-JP", ppw::ToCharset("日本語", "EUC-JP"), "日本語"},   //
        {"ISO-8859-1", "caf\xe9", "café"},                          // every byte a character
        {"ISO-8859-1", text, text},                                 // C1 controls: plainly wrong
        {"windows-1252", "\x93quoted\x94", "“quoted”"},             //
        {"", ppw::ToCharset("日本語の件", "EUC-JP"), "日本語の件"}, // undeclared
        {"", Utf8ToCp932("ﾃｽ"), "ﾃｽ"},                              // CP932 that happens to be two-byte UTF-8 as well
        {"x-unknown", sjis, text},                                  // unknown: as undeclared
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeBodyText(c.charset, c.bytes), c.expected) << c.charset << " " << c.expected;
    std::string out = "untouched";
    EXPECT_FALSE(DecodeDeclaredText("x-unknown", "abc", out));
    EXPECT_EQ(out, "untouched");
}

TEST(HtmlText, TagsGoBreaksStayEntitiesDecode) {
    const std::pair<std::string, std::string> cases[] = {
        {"a<br>b<BR/>c", "a\nb\nc"},
        {"<p>one</p><p>two</p>", "one\ntwo"},
        {"<div>x</div>\n<div>y</div>", "x\ny"},
        {"a  \r\n  b", "a b"},
        {"<pre>a  b\n c</pre>", "a  b\n c"},
        {"&lt;&gt;&amp;&quot;&#65;&#x42;&nbsp;&unknown; &", "<>&\"AB &unknown; &"},
        {"3 < 5 > 2", "3 < 5 > 2"},
        {"<a href=\"x>y\">link</a>", "link <x>y>"}, // a quoted ">" does not end the tag
        {"<HEAD><TITLE>t</TITLE></HEAD><Body>b</Body>", "b"},
        {"<script>if (a<b) x();</script>ok<style>.c{}</style>", "ok"},
        {"<!-- c --><!-- unclosed", ""},
        {"<br><br>a<br><br>b<br><br>", "a\n\nb"}, // blank lines at either end go, one inside stays
        {"&#0;&#xD800;&#99999999;", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [html, text] : cases)
        EXPECT_EQ(HtmlToText(html), text) << html;
    EXPECT_EQ(HtmlMetaCharset("<html><head><META http-equiv=\"Content-Type\" content=\"text/html; "
                              "charset=Shift_JIS\"></head>"),
              "shift_jis");
    EXPECT_EQ(HtmlMetaCharset("<meta charset='utf-8'>"), "utf-8");
    EXPECT_EQ(HtmlMetaCharset("<p>charset=utf-8</p>"), "");
}

TEST(MimeBody, AnyCutOrDamagedMailIsReadWithoutFaultIntoWellFormedText) {
    const std::string header = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n";
    const std::string body = ppw::Multipart(
        "b1", {"Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
               "=E6=97=A5=E6=9C=AC\r\n",
               "Content-Type: multipart/alternative; boundary=b2\r\n\r\n" +
                   ppw::Multipart("b2", {"Content-Type: text/html; charset=Shift_JIS\r\n\r\n<p>" + Utf8ToCp932("髙") +
                                         "&amp;</p>"}),
               "Content-Type: message/rfc822\r\n\r\nSubject: =?UTF-8?B?5pel?=\r\nContent-Type: text/plain\r\n\r\ninner",
               "Content-Type: image/png; name*0*=UTF-8''%E6; name*1*=%97%A5.png\r\nContent-Transfer-Encoding: "
               "base64\r\n\r\n" +
                   ppw::Base64(std::string("\x89PNG\0\0", 6))});
    const MimeContent whole = ReadMimeContent(header, body);
    EXPECT_EQ(whole.text, "日本\r\n髙&\r\n\r\nSubject: 日\r\n\r\ninner");
    ASSERT_EQ(whole.attachments.size(), 1u);
    EXPECT_EQ(whole.attachments[0].name, "日.png");
    EXPECT_EQ(whole.attachments[0].bytes, std::string("\x89PNG\0\0", 6));

    // Every prefix, and seeded random damage: never a fault, always UTF-8.
    for (std::size_t n = 0; n <= body.size(); ++n)
        EXPECT_TRUE(IsValidUtf8(ReadMimeContent(header, body.substr(0, n)).text)) << n;
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        std::string damaged = body;
        for (int k = 0; k < 8; ++k)
            damaged[rng() % damaged.size()] = static_cast<char>(rng() % 256);
        EXPECT_TRUE(IsValidUtf8(ReadMimeContent(header, damaged).text)) << round;
    }
    // Nesting far deeper than any mailer: read to a limit, the rest kept as the text it is.
    std::string nested = "Content-Type: text/plain\r\n\r\ninnermost";
    for (int depth = 0; depth < 2000; ++depth) {
        const std::string b = "x" + std::to_string(depth);
        nested = "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n" + nested + "\r\n--" + b +
                 "--\r\n";
    }
    const EntityParts outer = SplitEntity(nested);
    const MimeContent deep = ReadMimeContent(outer.header, outer.body);
    EXPECT_EQ(
        deep.text.rfind("【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに元のテキストのまま載せました。", 0),
        0u);
    EXPECT_NE(deep.text.find("innermost"), std::string::npos);
    EXPECT_TRUE(deep.attachments.empty());
    // A multipart whose boundary never comes, or that names none, is read as text.
    EXPECT_EQ(ReadMimeContent(header, "no parts here\r\n").text, "no parts here\r\n");
    EXPECT_EQ(ReadMimeContent("Content-Type: multipart/mixed\r\n", "--x\r\nno boundary\r\n").text,
              "--x\r\nno boundary\r\n");
    // A charset name that is no MIME name never reaches ICU: read as undeclared.
    EXPECT_EQ(ReadMimeContent("Content-Type: text/plain; charset=\"../../x\"\r\n", Utf8ToCp932("髙")).text, "髙");
}

TEST(MimeBody, DeepEmbeddedMessagesStopAtALimitWithANoteAndAreNotCopiedPerLevel) {
    // 40 messages one inside the other around 4 MB of text: the text, not 24 copies of it.
    const std::string payload(4 << 20, 'x');
    std::string head;
    for (int depth = 0; depth < 40; ++depth)
        head += "Content-Type: message/rfc822\r\n\r\nSubject: level " + std::to_string(depth) + "\r\n";
    std::string mail;
    mail.reserve(head.size() + 64 + payload.size());
    mail += head + "Content-Type: text/plain\r\n\r\ninnermost " + payload;
    const EntityParts outer = SplitEntity(mail);
    const std::size_t before = ResetPeak();
    MimeContent deep = ReadMimeContent(outer.header, outer.body);
    const std::size_t peak = heapPeak - before;
    EXPECT_LT(peak, 3 * mail.size()) << peak;
    // The levels above the limit give their headers; where it stops, the note, then the rest whole
    // as the text it is.
    const std::size_t note = deep.text.find(
        "\r\n\r\n【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに元のテキストのまま載せました。");
    ASSERT_NE(note, std::string::npos);
    EXPECT_LT(deep.text.find("Subject: level 23\r\n"), note);
    EXPECT_GT(deep.text.find("Subject: level 24\r\n"), note);
    EXPECT_TRUE(deep.text.ends_with("innermost " + payload));
    EXPECT_TRUE(deep.attachments.empty());
}

TEST(MimeHeaders, QuotedShiftJisNamesKeepCharactersWhoseSecondByteIsABackslash) {
    struct Case {
        std::string value;
        std::string name;
    };
    const Case cases[] = {
        // 表 (95 5C), 能 (94 5C), ソ (83 5C), 十 (8F 5C): second byte a backslash.
        {"a; name=\"" + Utf8ToCp932("表計算.xls") + "\"", "表計算.xls"},
        {"a; name=\"" + Utf8ToCp932("能力表.txt") + "\"", "能力表.txt"},
        {"a; name=\"" + Utf8ToCp932("ソフト十") + "\"; charset=x", "ソフト十"},
        // A backslash second byte before the closing quote and a semicolon.
        {"a; name=\"" + Utf8ToCp932("表") + "\"; other=\"b\"", "表"},
        // In a comment too.
        {"a (" + Utf8ToCp932("表") + ") ; name=" + Utf8ToCp932("表.doc"), "表.doc"},
        // ISO-2022-JP: 本 is 4B 5C, 能 is 47 3D... every byte of the run is a character's.
        {"a; name=\"\x1b$BK\\G=\x1b(B.txt\"", "本能.txt"},
        {"a; name=\"\x1b(I=;\x1b(B.txt\"", "ｽｻ.txt"}, // half-width katakana by ESC ( I
        // Escapes outside such characters still count, in CP932 and in UTF-8 text.
        {"a; name=\"" + Utf8ToCp932("表") + "\\\"q\\\\.txt\"", "表\"q\\.txt"},
        {"a; name=\"日本\\\"x\"", "日本\"x"},
    };
    for (const auto& c : cases) {
        const FieldParams f = ParseFieldParams(c.value);
        ASSERT_TRUE(f.Find("name")) << c.name;
        EXPECT_EQ(ParamText(*f.Find("name")), c.name) << c.name;
    }
}

TEST(MimeBody, StrayBytesInBase64AreSkippedWithANoteAndDecodedPartsStayAsTheyAre) {
    std::string png = std::string("\x89PNG\r\n\x1a\n\0\0", 10);
    for (int i = 0; i < 600; ++i)
        png += static_cast<char>(i * 7 % 256);
    const std::string text = "こんにちは、base64の本文です。\r\n";
    auto inject = [](std::string b64, std::size_t at, std::string_view stray) { return b64.insert(at, stray); };
    struct Case {
        const char* what;
        std::string header, body;
        std::string text; // "" : only attachments are checked
        std::string attachment;
        bool note;
    };
    const std::string b64Text = "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n";
    const std::string b64Png = "Content-Type: image/png; name=a.png\r\nContent-Transfer-Encoding: base64\r\n";
    const Case cases[] = {
        {"text, 8-bit byte between lines", b64Text, inject(ppw::Base64(text, 16), 18, "\xE9"), text, "", true},
        {"text, NUL inside a line", b64Text, inject(ppw::Base64(text, 16), 4, std::string(1, '\0')), text, "", true},
        {"picture, 8-bit byte", b64Png, inject(ppw::Base64(png), 100, "\x81"), "", png, true},
        {"picture, two 8-bit bytes", b64Png, inject(inject(ppw::Base64(png), 200, "\xFF"), 40, "\xA0"), "", png, true},
        // Stored decoded already (the header still says base64): taken as it is, no note.
        {"decoded text", b64Text, text, text, "", false},
        {"decoded picture", b64Png, png, "", png, false},
        {"clean", b64Png, ppw::Base64(png), "", png, false},
    };
    const std::string note = "【KamoMail】このメールのbase64で書かれた部分に余計な文字があったため、";
    for (const auto& c : cases) {
        const MimeContent content = ReadMimeContent(c.header, c.body);
        if (!c.text.empty()) {
            EXPECT_EQ(content.text.substr(0, c.text.size()), c.text) << c.what;
        }
        if (!c.attachment.empty()) {
            ASSERT_EQ(content.attachments.size(), 1u) << c.what;
            EXPECT_EQ(content.attachments[0].bytes, c.attachment) << c.what;
        }
        EXPECT_EQ(content.text.find(note) != std::string::npos, c.note) << c.what << ": " << content.text;
    }
}

TEST(MimeBody, TextPastTheNestingBoundIsKeptAsTextWithANote) {
    struct Case {
        const char* what;
        int depth;
        std::string innermost;
        bool text; // kept as text; else as an attachment
    };
    const Case cases[] = {
        {"just past", 25, "Content-Type: text/plain\r\n\r\ninnermost 本文", true},
        {"far past", 300, "Content-Type: text/plain\r\n\r\ninnermost 本文", true},
        {"binary past", 30, std::string("Content-Type: image/png\r\n\r\n\x89PNG\0\0", 33), false},
    };
    const std::string textNote =
        "【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに元のテキストのまま載せました。";
    const std::string fileNote =
        "【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに添付ファイルとして保存しました。";
    for (const auto& c : cases) {
        std::string nested = c.innermost;
        for (int depth = 0; depth < c.depth; ++depth) {
            const std::string b = "x" + std::to_string(depth);
            nested = "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n" + nested + "\r\n--" +
                     b + "--\r\n";
        }
        const EntityParts outer = SplitEntity(nested);
        const MimeContent content = ReadMimeContent(outer.header, outer.body);
        EXPECT_TRUE(IsValidUtf8(content.text)) << c.what;
        if (c.text) {
            EXPECT_EQ(content.text.rfind(textNote, 0), 0u) << c.what << ": " << content.text.substr(0, 300);
            EXPECT_NE(content.text.find("innermost 本文"), std::string::npos) << c.what;
            EXPECT_TRUE(content.attachments.empty()) << c.what;
        } else {
            EXPECT_EQ(content.text, fileNote) << c.what;
            ASSERT_EQ(content.attachments.size(), 1u) << c.what;
            EXPECT_NE(content.attachments[0].bytes.find("\x89PNG"), std::string::npos) << c.what;
        }
    }
}

TEST(HtmlText, LinksKeepTheirTargets) {
    const std::pair<std::string, std::string> cases[] = {
        {"<a href=\"http://example.jp/a?b=1&amp;c=2\">こちら</a>をどうぞ",
         "こちら <http://example.jp/a?b=1&c=2>をどうぞ"},
        {"see <A HREF='http://x.jp/'>site</A> now", "see site <http://x.jp/> now"},
        {"<a href=http://x.jp/>http://x.jp/</a>", "http://x.jp/"}, // the text is the target
        {"<a href=\"mailto:k@example.jp\">k@example.jp</a>", "k@example.jp"},
        {"<a href=\"mailto:k@example.jp\">鴨</a>", "鴨 <mailto:k@example.jp>"},
        {"<a href=\"#top\">top</a>", "top"}, // a place in the same text
        {"<a name=\"x\">no target</a>", "no target"},
        {"<a href=\"http://x.jp/\"><img src=\"b.png\"></a>", "<http://x.jp/>"},
        {"<p><a href=\"http://a.jp/\">a</a><a href=\"http://b.jp/\">b</a></p>", "a <http://a.jp/>b <http://b.jp/>"},
        {"<a href=\"http://open.jp/\">never closed", "never closed <http://open.jp/>"},
    };
    for (const auto& [html, text] : cases)
        EXPECT_EQ(HtmlToText(html), text) << html;
}

TEST(MimeBody, TheMailsOwnHtmlIsGivenOnlyWhenAskedFor) {
    const std::string sjis = ppw::ToCp932("こんにちは");
    const std::string alternative =
        ppw::Multipart("b", {"Content-Type: text/plain; charset=Shift_JIS\r\n\r\n" + sjis,
                             "Content-Type: text/html; charset=Shift_JIS\r\n\r\n<p>" + sjis + "</p>"});
    const std::string related =
        ppw::Multipart("r", {"Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                                 ppw::Base64("<b>二番目</b>"),
                             "Content-Type: image/png\r\n\r\npng"});
    const std::string embedded =
        ppw::Multipart("m", {"Content-Type: text/plain\r\n\r\nouter",
                             "Content-Type: message/rfc822\r\n\r\nSubject: inner\r\nContent-Type: text/html\r\n\r\n"
                             "<p>inner</p>"});
    struct Case {
        const char* label;
        std::string header, body, html;
    };
    const Case cases[] = {
        {"an alternative: its HTML beside the text shown", "Content-Type: multipart/alternative; boundary=b\r\n",
         alternative, "<p>こんにちは</p>"},
        {"HTML alone, charset from its meta tag", "Content-Type: text/html\r\n",
         "<meta charset=\"Shift_JIS\"><p>" + sjis + "</p>", "<meta charset=\"Shift_JIS\"><p>こんにちは</p>"},
        {"the first HTML in a nested multipart", "Content-Type: multipart/alternative; boundary=a\r\n",
         ppw::Multipart("a", {"Content-Type: text/plain\r\n\r\ntext",
                              "Content-Type: multipart/related; boundary=r\r\n\r\n" + related}),
         "<b>二番目</b>"},
        {"an embedded message's HTML is its own, not the mail's", "Content-Type: multipart/mixed; boundary=m\r\n",
         embedded, ""},
        {"an HTML attachment is no HTML of the mail", "Content-Type: text/html; name=\"page.html\"\r\n", "<p>file</p>",
         ""},
        {"plain text", "Content-Type: text/plain\r\n", "text", ""},
    };
    for (const auto& c : cases) {
        const MimeContent asked = ReadMimeContent(c.header, c.body, true);
        EXPECT_EQ(asked.html, c.html) << c.label;
        const MimeContent read = ReadMimeContent(c.header, c.body);
        EXPECT_EQ(read.html, "") << c.label;
        EXPECT_EQ(read.text, asked.text) << c.label; // asking changes nothing else
        EXPECT_EQ(read.attachments.size(), asked.attachments.size()) << c.label;
    }
}
