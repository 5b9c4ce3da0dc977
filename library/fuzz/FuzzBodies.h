#pragma once
// The bodies of the fuzz targets, shared by the libFuzzer programs and the replay tests. Each runs one
// input through an export and returns a description of any broken promise ("" when all held).
#include <cstddef>
#include <cstdint>
#include <string>

namespace kamofuzz {

std::string FuzzKamoMailEdit(const uint8_t* data, size_t size);
std::string FuzzKamoFriendEdit(const uint8_t* data, size_t size);
std::string FuzzMailStrChange(const uint8_t* data, size_t size);

// KamoMail_Edit's input packs both files: a 4-byte little-endian list length (taken modulo what
// remains), the list bytes, then the mail bytes.
inline std::string PackMailbox(const std::string& list, const std::string& mail) {
    const auto n = static_cast<uint32_t>(list.size());
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    return out + list + mail;
}

} // namespace kamofuzz
