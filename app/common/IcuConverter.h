#pragma once
// One ICU converter between a character set and UTF-8, closed with the object.
#include <optional>
#include <string>
#include <string_view>

struct UConverter;
struct USet;

namespace kamo {

class IcuConverter {
public:
    // Opens ICU's converter for `name` (any name or alias ICU knows); IsOpen() tells whether it did.
    explicit IcuConverter(const char* name);
    ~IcuConverter();
    IcuConverter(const IcuConverter&) = delete;
    IcuConverter& operator=(const IcuConverter&) = delete;

    bool IsOpen() const { return conv_ != nullptr && utf8_ != nullptr; }

    // The set's bytes to UTF-8. Bytes that are no character become ICU's substitute: U+FFFD, or
    // U+001A for a single bad byte of a set that has a one-byte substitute, until SetSubstitute is
    // called (ICU then drops that one-byte substitute). Nothing when ICU fails or it is not open.
    std::optional<std::string> ToUtf8(std::string_view bytes);

    // The same, but nothing when a byte sequence is no character of the set: whether text is
    // really in this set.
    std::optional<std::string> ToUtf8Exact(std::string_view bytes);

    // UTF-8 to the set's bytes; characters the set lacks become the substitute.
    std::optional<std::string> FromUtf8(std::string_view utf8);

    // The bytes written for characters the set lacks, from now on.
    void SetSubstitute(std::string_view bytes);

    // Adds the characters that survive a round trip through the set to `set`.
    bool AddRoundTripSet(USet* set) const;

private:
    std::optional<std::string> Convert(UConverter* to, UConverter* from, std::string_view in);

    UConverter* conv_ = nullptr;
    UConverter* utf8_ = nullptr;
};

} // namespace kamo
