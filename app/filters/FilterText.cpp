#include "filters/FilterText.h"

#include <memory>

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include "common/AsciiText.h"

namespace kamo {

void AppendUtf8(char32_t c, std::string& out) {
    char buf[U8_MAX_LENGTH];
    int32_t len = 0;
    UBool error = false;
    U8_APPEND(buf, len, U8_MAX_LENGTH, static_cast<UChar32>(c), error);
    if (!error)
        out.append(buf, static_cast<size_t>(len));
}

namespace {

// Full folding of one code point; may yield up to three code points (e.g. U+00DF -> "ss").
void AppendFoldedCodePoint(UChar32 c, std::string& out) {
    UChar src[U16_MAX_LENGTH];
    int32_t srcLen = 0;
    U16_APPEND_UNSAFE(src, srcLen, c); // c is a valid code point: it came out of U8_NEXT
    UChar dest[8];
    UErrorCode status = U_ZERO_ERROR;
    int32_t destLen = u_strFoldCase(dest, 8, src, srcLen, U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status) || destLen > 8) {
        AppendUtf8(c, out);
        return;
    }
    for (int32_t i = 0; i < destLen;) {
        UChar32 folded;
        U16_NEXT(dest, i, destLen, folded);
        AppendUtf8(folded, out);
    }
}

} // namespace

void AppendFoldedCase(std::string_view utf8, std::string& out) {
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            out.push_back(ToLowerAscii(static_cast<char>(s[i])));
            ++i;
            continue;
        }
        int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        // Case folding is context free, so code points that do not change are copied as they are;
        // that keeps Japanese text (nearly all of the archive) off the slow path.
        if (c < 0 || !u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_CASEFOLDED))
            out.append(utf8.substr(static_cast<size_t>(start), static_cast<size_t>(i - start)));
        else
            AppendFoldedCodePoint(c, out);
    }
}

std::string FoldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendFoldedCase(utf8, out);
    return out;
}

std::string ToFullWidth(std::string_view utf8) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> widen(
        icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !widen)
        return std::string(utf8);
    auto text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    widen->transliterate(text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool ArchiveTextEqual(std::string_view a, std::string_view b) {
    return EqualsNoCase(a, b);
}

bool TextContains(std::string_view text, std::string_view needle) {
    return !needle.empty() && text.find(needle) != std::string_view::npos;
}

} // namespace kamo
