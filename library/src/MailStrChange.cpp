// Mail_StrChange: the quote-safe replacement of " ' , | in a CP932 text.
#include <cstring>

#include "StrChange.h"
#include "kamomail.h"

extern "C" int16_t Mail_StrChange(const char* source, char* result, int32_t* length) {
    size_t used = 0;
    if (result) {
        std::memset(result, ' ', kamolib::kStrChangeArea);
        if (source)
            used = kamolib::StrChange(source, result, kamolib::kStrChangeArea);
    }
    if (length)
        *length = static_cast<int32_t>(used);
    return 0;
}
