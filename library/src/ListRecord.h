#pragma once
// One record of a PostPet list file, read the same way by both mail conversions. The reader is any
// type with Read, ReadByte, ReadU32, ReadCString and SkipCString (SeqReader, PosReader).
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "kamomail.h"

namespace kamolib {

constexpr char kStartMarker[4] = {'S', 's', 'S', '1'};
constexpr char kEndMarker[4] = {'E', 'e', 'E', '1'};

struct Record {
    uint32_t headerOffset = 0;
    uint32_t bodyOffset = 0;
    uint32_t bodyLength = 0;
    std::string fields[5]; // From, To, Cc, Subject, Date
};

// Steps over the variable section in front of the end marker. Its content is not used.
template <typename Reader> bool SkipTrailer(Reader& in) {
    int j = 0;
    for (;;) {
        uint8_t b;
        if (!in.ReadByte(b))
            return false;
        if (j <= 20)
            ++j;
        const bool groupCount = j == 21 || (j <= 20 && static_cast<int8_t>(b) <= 15);
        if (!groupCount) {
            if (b == 0)
                return true;
            continue;
        }
        j = 22; // no later byte of this trailer is a group count
        const int n = static_cast<int8_t>(b);
        for (int s = 1; s < n; ++s) {
            if (!in.SkipCString() || !in.ReadByte(b))
                return false;
        }
        if (b == 0)
            return true;
    }
}

// Reads one list record; false on a short read or a wrong marker.
template <typename Reader> bool ReadRecord(Reader& in, Record& r) {
    char marker[4];
    uint32_t length;
    uint8_t skipped[4];
    if (!in.Read(marker, 4) || std::memcmp(marker, kStartMarker, 4) != 0)
        return false;
    if (!in.ReadU32(length) || !in.ReadU32(r.headerOffset) || !in.ReadU32(r.bodyOffset) || !in.ReadU32(r.bodyLength) ||
        !in.Read(skipped, 4))
        return false;
    for (auto& field : r.fields)
        if (!in.ReadCString(field))
            return false;
    if (!in.Read(skipped, 2) || !SkipTrailer(in))
        return false;
    return in.Read(marker, 4) && std::memcmp(marker, kEndMarker, 4) == 0;
}

// The C entry of a mailbox conversion: null out-parameters are allowed, and nothing is thrown
// across the interface.
template <typename Convert>
int16_t GuardedConversion(const char* listPath, const char* mailPath, const char* outPath, int32_t* count,
                          int32_t* code, Convert convert) {
    int32_t localCount = 0, localCode = 0;
    int32_t& countRef = count ? *count : localCount;
    int32_t& codeRef = code ? *code : localCode;
    try {
        return convert(listPath, mailPath, outPath, countRef, codeRef);
    } catch (const std::bad_alloc&) {
        codeRef = KAMOMAIL_ERR_BODY_MEMORY;
    } catch (...) {
        codeRef = KAMOMAIL_ERR_OPEN;
    }
    return 0;
}

} // namespace kamolib
