#pragma once
// The settings-file layer: INI-style "[Section]" and "Key=Value" lines with the semantics of the
// Windows profile calls the settings were written for.
//  - Sections and keys match without regard to ASCII letter case; the first match wins.
//  - Values are trimmed of blanks and tabs; the text after a NUL byte is ignored; values are read
//    whole, however long.
//  - A missing file, section or key gives the caller's default.
//  - A write changes only the one line it must (or adds the key at the end of its section, or the
//    section at the end of the file) and keeps every other line, comment and blank as it was.
//  - Files are UTF-8. Each line is decoded on its own: a line that is not valid UTF-8 is read as
//    CP932 (a settings file carried over from Windows). A line the program does not change is
//    written back byte for byte; a changed line is written as UTF-8.
//  - Saving replaces the file atomically; a failure is reported and leaves the old file intact.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kamo {

class ProfileFile {
public:
    // Reads the file. A missing file is an empty profile; a file that exists but cannot be read is
    // empty too, and Save() then refuses so that the unread content is never overwritten.
    static ProfileFile Load(const std::filesystem::path& path);

    const std::filesystem::path& Path() const { return path_; }

    // The value when the key is present (possibly empty), else nothing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string Get(std::string_view section, std::string_view key, std::string_view fallback) const;

    // Sets a key, creating the section and key when missing. Line breaks in the value become blanks:
    // a value is one line.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // Writes the whole file back atomically. False when it could not be written.
    bool Save() const;

    // The file's text as Save() would write it.
    std::string Text() const;

private:
    struct Line {
        std::string text;               // decoded (UTF-8), without its line break
        std::string eol;                // "\n", "\r\n" or "" for a last line without a break
        std::optional<std::string> raw; // the bytes as read, while the line is unchanged
    };
    // Position of the section header line, or npos.
    size_t FindSection(std::string_view section) const;
    // Position of the key's line within the section starting at `header`, or npos.
    size_t FindKey(size_t header, std::string_view key) const;
    // One past the section's last line that is not blank (where a new key goes).
    size_t SectionInsertPoint(size_t header) const;
    std::string NewLineBreak() const;

    std::filesystem::path path_;
    std::vector<Line> lines_;
    bool bom_ = false;
    bool unreadable_ = false;
};

// One-call forms for code that reads or writes a single key.
std::string ReadProfileString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                              std::string_view fallback);
bool WriteProfileString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                        std::string_view value);

} // namespace kamo
