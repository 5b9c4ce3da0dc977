#include "WordsCheck.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace layercheck {
namespace fs = std::filesystem;
namespace {

// The catalogue and the windows, which word what the logic reports.
bool IsEdgeFile(const fs::path& relative) {
    const std::string name = relative.filename().string();
    if (name.rfind("frm", 0) == 0 || name.rfind("Qt", 0) == 0)
        return true;
    const std::string folder = relative.parent_path().generic_string();
    return folder == "common" && (name.rfind("Messages", 0) == 0 || name == "CommandTable.cpp");
}

bool IsTestPath(const fs::path& relative) {
    for (const auto& part : relative)
        if (part == "tests" || part == "fuzz" || part == "testsupport")
            return true;
    return false;
}

} // namespace

std::vector<int> NonAsciiLiterals(const std::string& text) {
    std::vector<int> lines;
    int line = 1;
    const size_t n = text.size();
    auto mark = [&](int at) {
        if (lines.empty() || lines.back() != at)
            lines.push_back(at);
    };
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            while (i < n && text[i] != '\n')
                ++i;
            --i;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            for (i += 2; i + 1 < n && !(text[i] == '*' && text[i + 1] == '/'); ++i)
                line += text[i] == '\n';
            ++i;
        } else if (c == 'R' && i + 1 < n && text[i + 1] == '"' &&
                   (i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_'))) {
            // R"delim( ... )delim"
            const size_t open = text.find('(', i + 2);
            if (open == std::string::npos)
                break;
            const std::string close = ")" + text.substr(i + 2, open - i - 2) + "\"";
            const size_t end = text.find(close, open);
            const size_t stop = end == std::string::npos ? n : end + close.size();
            const int start = line;
            bool wide = false;
            for (size_t k = open; k < stop; ++k) {
                wide |= static_cast<unsigned char>(text[k]) >= 0x80;
                line += text[k] == '\n';
            }
            if (wide)
                mark(start);
            i = stop - 1;
        } else if (c == '"' || c == '\'') {
            bool wide = false;
            for (++i; i < n && text[i] != c && text[i] != '\n'; ++i) {
                if (text[i] == '\\' && i + 1 < n)
                    ++i;
                wide |= static_cast<unsigned char>(text[i]) >= 0x80;
            }
            if (wide)
                mark(line);
            if (i < n && text[i] == '\n')
                ++line;
        }
    }
    return lines;
}

std::set<std::string> ParseWordsList(const std::string& text, std::vector<std::string>& errors) {
    std::set<std::string> listed;
    std::istringstream in(text);
    std::string row;
    int number = 0;
    while (std::getline(in, row)) {
        ++number;
        if (const auto hash = row.find('#'); hash != std::string::npos)
            row.erase(hash);
        std::istringstream words(row);
        std::string path, reason;
        if (!(words >> path))
            continue;
        if (!(words >> reason))
            errors.push_back("words.txt:" + std::to_string(number) + ": " + path + " says not why");
        else if (!listed.insert(path).second)
            errors.push_back("words.txt:" + std::to_string(number) + ": " + path + " listed twice");
    }
    return listed;
}

std::vector<std::string> CheckWords(const fs::path& appDir, const std::set<std::string>& listed) {
    std::vector<std::string> problems;
    std::set<std::string> used;
    for (const auto& entry : fs::recursive_directory_iterator(appDir)) {
        const fs::path& file = entry.path();
        if (!entry.is_regular_file() || (file.extension() != ".cpp" && file.extension() != ".h"))
            continue;
        const fs::path relative = fs::relative(file, appDir);
        if (IsTestPath(relative) || IsEdgeFile(relative))
            continue;
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const auto lines = NonAsciiLiterals(text.str());
        if (lines.empty())
            continue;
        const std::string name = relative.generic_string();
        if (listed.count(name)) {
            used.insert(name);
            continue;
        }
        for (const int line : lines)
            problems.push_back(name + ":" + std::to_string(line) +
                               ": words for the user outside the catalogue and the windows");
    }
    for (const auto& name : listed)
        if (!used.count(name))
            problems.push_back("words.txt: " + name + " is listed but holds no such text");
    return problems;
}

} // namespace layercheck
