#include "common/CodePage.h"

#include <unicode/utf8.h>

#include "common/IcuConverter.h"

namespace kamo {
namespace {

// One converter per thread: opening one costs more than converting a short text. The '?'
// substitute is chosen at once: it is what UTF-8 -> CP932 writes, and choosing it makes ICU drop its
// one-byte substitute, so a bad CP932 byte always becomes U+FFFD, whatever was converted before.
IcuConverter& Cp932() {
    thread_local IcuConverter conv("windows-31j");
    thread_local const bool substituteChosen = (conv.SetSubstitute("?"), true);
    (void)substituteChosen;
    return conv;
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    return Cp932().ToUtf8(cp932).value_or(std::string());
}

std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932) {
    return Cp932().ToUtf8Exact(cp932);
}

std::string Utf8ToCp932(std::string_view utf8) {
    if (utf8.empty())
        return {};
    return Cp932().FromUtf8(utf8).value_or(std::string());
}

size_t Cp932Length(std::string_view utf8) {
    return Utf8ToCp932(utf8).size();
}

bool IsValidUtf8(std::string_view bytes) {
    int32_t i = 0;
    const auto n = static_cast<int32_t>(bytes.size());
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    while (i < n) {
        UChar32 c;
        U8_NEXT(s, i, n, c);
        if (c < 0)
            return false;
    }
    return true;
}

} // namespace kamo
