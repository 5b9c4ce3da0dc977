#include "common/IcuConverter.h"

#include <unicode/ucnv.h>

namespace kamo {

IcuConverter::IcuConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    conv_ = ucnv_open(name, &status);
    if (U_FAILURE(status)) {
        conv_ = nullptr;
        return;
    }
    status = U_ZERO_ERROR;
    utf8_ = ucnv_open("UTF-8", &status);
    if (U_FAILURE(status))
        utf8_ = nullptr;
}

IcuConverter::~IcuConverter() {
    if (utf8_)
        ucnv_close(utf8_);
    if (conv_)
        ucnv_close(conv_);
}

std::optional<std::string> IcuConverter::ToUtf8(std::string_view bytes) {
    return Convert(utf8_, conv_, bytes);
}

std::optional<std::string> IcuConverter::ToUtf8Exact(std::string_view bytes) {
    if (!IsOpen())
        return std::nullopt;
    UConverterToUCallback oldAction = nullptr;
    const void* oldContext = nullptr;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(conv_, UCNV_TO_U_CALLBACK_STOP, nullptr, &oldAction, &oldContext, &status);
    if (U_FAILURE(status))
        return std::nullopt;
    std::optional<std::string> out = Convert(utf8_, conv_, bytes);
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(conv_, oldAction, oldContext, nullptr, nullptr, &status);
    return out;
}

std::optional<std::string> IcuConverter::FromUtf8(std::string_view utf8) {
    return Convert(conv_, utf8_, utf8);
}

void IcuConverter::SetSubstitute(std::string_view bytes) {
    if (!IsOpen())
        return;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setSubstChars(conv_, bytes.data(), static_cast<int8_t>(bytes.size()), &status);
}

bool IcuConverter::AddRoundTripSet(USet* set) const {
    if (!conv_)
        return false;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_getUnicodeSet(conv_, set, UCNV_ROUNDTRIP_SET, &status);
    return U_SUCCESS(status);
}

std::optional<std::string> IcuConverter::Convert(UConverter* to, UConverter* from, std::string_view in) {
    if (!IsOpen())
        return std::nullopt;
    if (in.empty())
        return std::string();
    // The output size is not known beforehand: convert the whole text again into a larger buffer
    // until it fits, so a text is always converted in one piece.
    std::string out(in.size() * 3 + 16, '\0');
    for (;;) {
        ucnv_reset(to);
        ucnv_reset(from);
        char* target = out.data();
        const char* source = in.data();
        UErrorCode status = U_ZERO_ERROR;
        ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, in.data() + in.size(), nullptr, nullptr,
                       nullptr, nullptr, true, true, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() * 2);
            continue;
        }
        if (U_FAILURE(status))
            return std::nullopt;
        out.resize(static_cast<std::size_t>(target - out.data()));
        return out;
    }
}

} // namespace kamo
