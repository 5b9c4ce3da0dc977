#include "platform/ProfileFile.h"

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Profile lines are trimmed of blanks and tabs only.
std::string_view Trim(std::string_view s) {
    return TrimAscii(s, kSpaceTab);
}

// "[Name]" -> Name; nothing for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
    std::string_view t = Trim(line);
    return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// "Key = Value" -> Key; nothing for lines that are no key.
std::optional<std::string_view> KeyName(std::string_view line) {
    if (IsComment(line) || SectionName(line))
        return std::nullopt;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(0, eq));
}

std::string ValueOf(std::string_view line) {
    std::string_view v = line.substr(line.find('=') + 1);
    v = v.substr(0, v.find('\0'));
    return std::string(Trim(v));
}

std::string WithoutLineBreaks(std::string_view value) {
    std::string v(value);
    for (char& c : v) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return v;
}

} // namespace

// Far above any settings file the program writes; a larger "settings file" is something else.
constexpr size_t kMaxProfileBytes = 4 << 20;

ProfileFile ProfileFile::Load(const std::filesystem::path& path) {
    ProfileFile f;
    f.path_ = path;

    // Never blocks on a FIFO or reads a device: only a regular file of a settings file's size is read.
    std::string bytes;
    const ReadFileResult read = ReadRegularFile(path, kMaxProfileBytes, bytes);
    if (read != ReadFileResult::Ok) {
        f.unreadable_ = read != ReadFileResult::Missing;
        return f;
    }

    if (bytes.compare(0, kBom.size(), kBom) == 0) {
        f.bom_ = true;
        bytes.erase(0, kBom.size());
    }
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = bytes.substr(pos);
            pos = bytes.size();
        } else {
            size_t end = nl;
            line.eol = "\n";
            if (end > pos && bytes[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            }
            line.text = bytes.substr(pos, end - pos);
            pos = nl + 1;
        }
        // Each line on its own: one stray byte must not turn the other lines into mojibake. The
        // bytes as read are kept, and written back unless the line is changed.
        line.raw = line.text;
        if (!IsValidUtf8(line.text))
            line.text = Cp932ToUtf8(line.text);
        f.lines_.push_back(std::move(line));
    }
    return f;
}

size_t ProfileFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = SectionName(lines_[i].text);
        if (name && EqualsNoCase(*name, Trim(section)))
            return i;
    }
    return kNone;
}

size_t ProfileFile::FindKey(size_t header, std::string_view key) const {
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].text))
            break;
        auto name = KeyName(lines_[i].text);
        if (name && EqualsNoCase(*name, Trim(key)))
            return i;
    }
    return kNone;
}

size_t ProfileFile::SectionInsertPoint(size_t header) const {
    size_t at = header + 1;
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].text))
            break;
        if (KeyName(lines_[i].text))
            at = i + 1;
    }
    return at;
}

std::string ProfileFile::NewLineBreak() const {
    for (const auto& l : lines_) {
        if (l.eol == "\r\n")
            return "\r\n";
    }
    return "\n";
}

std::optional<std::string> ProfileFile::Find(std::string_view section, std::string_view key) const {
    size_t header = FindSection(section);
    if (header == kNone)
        return std::nullopt;
    size_t at = FindKey(header, key);
    if (at == kNone)
        return std::nullopt;
    return ValueOf(lines_[at].text);
}

std::string ProfileFile::Get(std::string_view section, std::string_view key, std::string_view fallback) const {
    auto v = Find(section, key);
    return v ? *v : std::string(fallback);
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string eol = NewLineBreak();
    const std::string v = WithoutLineBreaks(value);
    size_t header = FindSection(section);
    if (header != kNone) {
        size_t at = FindKey(header, key);
        if (at != kNone) {
            Line& line = lines_[at];
            if (ValueOf(line.text) == v)
                return; // unchanged: the line keeps its bytes
            line.text = std::string(*KeyName(line.text)) + "=" + v;
            line.raw.reset();
            return;
        }
        size_t insert = SectionInsertPoint(header);
        if (insert == lines_.size() && lines_.back().eol.empty())
            lines_.back().eol = eol;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert),
                      Line{std::string(Trim(key)) + "=" + v, eol, std::nullopt});
        return;
    }
    if (!lines_.empty() && lines_.back().eol.empty())
        lines_.back().eol = eol;
    lines_.push_back(Line{"[" + std::string(Trim(section)) + "]", eol, std::nullopt});
    lines_.push_back(Line{std::string(Trim(key)) + "=" + v, eol, std::nullopt});
}

std::string ProfileFile::Text() const {
    std::string out;
    if (bom_)
        out += kBom;
    for (const auto& l : lines_) {
        out += l.raw ? *l.raw : l.text;
        out += l.eol;
    }
    return out;
}

bool ProfileFile::Save() const {
    if (unreadable_)
        return false;
    return AtomicWriteFile(path_, Text());
}

std::string ReadProfileString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                              std::string_view fallback) {
    return ProfileFile::Load(path).Get(section, key, fallback);
}

bool WriteProfileString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    ProfileFile f = ProfileFile::Load(path);
    f.Set(section, key, value);
    return f.Save();
}

} // namespace kamo
