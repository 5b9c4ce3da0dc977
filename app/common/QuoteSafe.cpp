#include "common/QuoteSafe.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unicode/uset.h>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/IcuConverter.h"

namespace kamo {
namespace {

bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

struct SetCloser {
    void operator()(USet* s) const { uset_close(s); }
};

// The characters that survive UTF-8 -> CP932 -> UTF-8 unchanged, without NUL (the library takes
// zero-terminated text).
const USet* Cp932RoundTripSet() {
    static const std::unique_ptr<USet, SetCloser> set = [] {
        std::unique_ptr<USet, SetCloser> s(uset_openEmpty());
        IcuConverter("windows-31j").AddRoundTripSet(s.get());
        uset_remove(s.get(), 0);
        uset_freeze(s.get());
        return s;
    }();
    return set.get();
}

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

void AppendChanged(Mail_StrChange_Fn strChange, const std::string& piece, std::string& out) {
    std::array<char, KAMOMAIL_STRCHANGE_AREA> area;
    int32_t length = 0;
    strChange(piece.c_str(), area.data(), &length);
    // Only the bytes the library reports are the text; the rest of the area is padding.
    const auto n = static_cast<std::size_t>(std::clamp<int32_t>(length, 0, KAMOMAIL_STRCHANGE_AREA));
    out.append(area.data(), n);
}

// Hands the text to the library in pieces that cannot outgrow its area, cut between characters.
// NUL bytes cannot cross the zero-terminated interface and pass by the library as they are.
std::string ChangeInPieces(Mail_StrChange_Fn strChange, std::string_view cp932) {
    std::string out;
    out.reserve(cp932.size() + cp932.size() / 8);
    std::string piece;
    std::size_t start = 0;
    auto flush = [&](std::size_t end) {
        if (end > start) {
            piece.assign(cp932.substr(start, end - start));
            AppendChanged(strChange, piece, out);
        }
        start = end;
    };
    std::size_t i = 0;
    while (i < cp932.size()) {
        const auto b = static_cast<unsigned char>(cp932[i]);
        if (b == 0) {
            flush(i);
            out.push_back('\0');
            start = ++i;
            continue;
        }
        const std::size_t width = IsLeadByte(b) && i + 1 < cp932.size() && cp932[i + 1] != '\0' ? 2 : 1;
        if (i + width - start > kQuoteSafePieceBytes)
            flush(i);
        i += width;
    }
    flush(cp932.size());
    return out;
}

// Whether the library would change anything: an ASCII " ' , | or a full-width double quote.
// Most names and many bodies hold none, and then the library call is left out.
bool HasDelimiterCp932(std::string_view cp932) {
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto b = static_cast<unsigned char>(cp932[i]);
        if (b == '"' || b == '\'' || b == ',' || b == '|')
            return true;
        if (IsLeadByte(b) && i + 1 < cp932.size()) {
            const auto t = static_cast<unsigned char>(cp932[i + 1]);
            if (b == 0x81 && (t == 0x67 || t == 0x68))
                return true;
            ++i;
        }
    }
    return false;
}

bool HasDelimiterUtf8(std::string_view utf8) {
    return utf8.find_first_of("\"',|") != std::string_view::npos ||
           utf8.find("\xE2\x80\x9C") != std::string_view::npos || utf8.find("\xE2\x80\x9D") != std::string_view::npos;
}

} // namespace

std::string QuoteSafeCp932(Mail_StrChange_Fn strChange, std::string_view cp932) {
    if (IsBlank(cp932))
        return {};
    if (TrimAscii(cp932, kSpace) == "\r\n" || !strChange || !HasDelimiterCp932(cp932))
        return std::string(cp932);
    return ChangeInPieces(strChange, cp932);
}

std::string QuoteSafe(Mail_StrChange_Fn strChange, std::string_view utf8) {
    if (IsBlank(utf8))
        return {};
    if (TrimAscii(utf8, kSpace) == "\r\n" || !strChange || !HasDelimiterUtf8(utf8))
        return std::string(utf8);
    const USet* set = Cp932RoundTripSet();
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char* rest = utf8.data() + pos;
        const auto restLen = static_cast<int32_t>(utf8.size() - pos);
        const auto mapped = static_cast<std::size_t>(uset_spanUTF8(set, rest, restLen, USET_SPAN_CONTAINED));
        if (mapped > 0) {
            out += Cp932ToUtf8(ChangeInPieces(strChange, Utf8ToCp932(utf8.substr(pos, mapped))));
            pos += mapped;
            continue;
        }
        // Characters CP932 cannot carry (and bytes that are not UTF-8) are never delimiters.
        const auto other = static_cast<std::size_t>(uset_spanUTF8(set, rest, restLen, USET_SPAN_NOT_CONTAINED));
        out.append(utf8.substr(pos, other));
        pos += other;
    }
    return out;
}

} // namespace kamo
