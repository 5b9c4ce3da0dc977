#include "common/CodePage.h"

#include <memory>
#include <unicode/ucnv.h>
#include <unicode/utf8.h>

namespace kamo {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr OpenCp932() {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr conv(ucnv_open("windows-31j", &status));
    if (U_FAILURE(status))
        return nullptr;
    return conv;
}

// One converter per thread: opening one costs more than converting a short text.
UConverter* Cp932() {
    thread_local ConverterPtr conv = OpenCp932();
    return conv.get();
}

UConverter* Utf8() {
    thread_local ConverterPtr conv = [] {
        UErrorCode status = U_ZERO_ERROR;
        return ConverterPtr(ucnv_open("UTF-8", &status));
    }();
    return conv.get();
}

std::string Convert(UConverter* to, UConverter* from, std::string_view in, bool substituteQuestion) {
    if (in.empty())
        return {};
    ucnv_reset(to);
    ucnv_reset(from);
    if (substituteQuestion) {
        UErrorCode s = U_ZERO_ERROR;
        ucnv_setSubstChars(to, "?", 1, &s);
    }
    std::string out;
    out.resize(in.size() * 3 + 16);
    UErrorCode status = U_ZERO_ERROR;
    for (;;) {
        char* target = out.data();
        const char* source = in.data();
        status = U_ZERO_ERROR;
        ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, in.data() + in.size(), nullptr, nullptr,
                       nullptr, nullptr, true, true, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() * 2);
            ucnv_reset(to);
            ucnv_reset(from);
            continue;
        }
        out.resize(U_SUCCESS(status) ? static_cast<size_t>(target - out.data()) : 0);
        return out;
    }
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932) { return Convert(Utf8(), Cp932(), cp932, false); }

std::string Utf8ToCp932(std::string_view utf8) { return Convert(Cp932(), Utf8(), utf8, true); }

size_t Cp932Length(std::string_view utf8) { return Utf8ToCp932(utf8).size(); }

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
