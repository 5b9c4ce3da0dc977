#include "LayerCheck.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

namespace layercheck {
namespace fs = std::filesystem;
namespace {

const char* const kTestFolder = "tests";
const char* const kTestSupport = "testsupport";

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Windows, and main.cpp, which starts the window program; both are built apart from the core.
bool IsWindowFile(const fs::path& file) {
    const std::string name = file.filename().string();
    return name.rfind("frm", 0) == 0 || name.rfind("Qt", 0) == 0 || name == "main.cpp";
}

struct Include {
    int line;
    std::string target;
    bool angled;
};

std::vector<Include> ReadIncludes(const fs::path& file) {
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<Include> found;
    std::ifstream in(file);
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        std::smatch m;
        if (std::regex_search(text, m, kInclude))
            found.push_back({number, m[2].str(), m[1].str() == "<"});
    }
    return found;
}

bool IsQtHeader(const std::string& target) {
    // <QString>, <QtTest>, <QtWidgets/QWidget>; not <queue>.
    return (target.size() > 1 && target[0] == 'Q' && std::isupper(static_cast<unsigned char>(target[1]))) ||
           target.rfind("Qt", 0) == 0;
}

// Depth-first search for a cycle in the folder graph; returns it as "a -> b -> a" or empty.
std::string FindCycle(const std::map<std::string, std::set<std::string>>& graph) {
    std::map<std::string, int> state; // 0 new, 1 on the path, 2 done
    std::vector<std::string> path;
    std::string cycle;
    std::function<bool(const std::string&)> visit = [&](const std::string& node) {
        state[node] = 1;
        path.push_back(node);
        if (auto it = graph.find(node); it != graph.end()) {
            for (const auto& next : it->second) {
                if (state[next] == 1) {
                    auto from = std::find(path.begin(), path.end(), next);
                    for (auto p = from; p != path.end(); ++p)
                        cycle += *p + " -> ";
                    cycle += next;
                    return true;
                }
                if (state[next] == 0 && visit(next))
                    return true;
            }
        }
        path.pop_back();
        state[node] = 2;
        return false;
    };
    for (const auto& [node, _] : graph)
        if (state[node] == 0 && visit(node))
            return cycle;
    return {};
}

} // namespace

LayerRules ParseLayerRules(const std::string& text, std::vector<std::string>& errors) {
    LayerRules rules;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trimmed(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            errors.push_back("layers:" + std::to_string(number) + ": no ':' in \"" + line + "\"");
            continue;
        }
        const std::string folder = Trimmed(line.substr(0, colon));
        if (rules.count(folder))
            errors.push_back("layers:" + std::to_string(number) + ": " + folder + " listed twice");
        std::set<std::string>& lower = rules[folder];
        std::istringstream names(line.substr(colon + 1));
        for (std::string name; names >> name;) {
            if (!rules.count(name) || name == folder)
                errors.push_back("layers:" + std::to_string(number) + ": " + folder + " names " + name +
                                 ", which is not listed above it");
            else
                lower.insert(name);
        }
    }
    return rules;
}

std::vector<std::string> CheckTree(const fs::path& appDir, const LayerRules& rules) {
    std::vector<std::string> problems;
    std::map<std::string, std::set<std::string>> graph;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(appDir)) {
        const auto ext = entry.path().extension();
        if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());

    for (const auto& file : files) {
        const fs::path relative = fs::relative(file, appDir);
        auto part = relative.begin();
        const std::string folder = part->string();
        if (relative.begin() == std::prev(relative.end()))
            continue; // files directly in app/ (none today) belong to no layer
        const bool inTests = std::next(part) != relative.end() && std::next(part)->string() == kTestFolder;
        const auto rule = rules.find(folder);
        const std::string where = relative.string();
        if (rule == rules.end()) {
            problems.push_back(where + ": folder " + folder + " is not in the layer file");
            continue;
        }
        for (const auto& inc : ReadIncludes(file)) {
            const std::string at = where + ":" + std::to_string(inc.line) + ": ";
            if (inc.angled) {
                if (!inTests && !IsWindowFile(file) && IsQtHeader(inc.target))
                    problems.push_back(at + "logic file includes Qt header <" + inc.target + ">");
                continue;
            }
            const auto slash = inc.target.find('/');
            if (slash == std::string::npos)
                continue; // a header of the conversion library or the system
            const std::string target = inc.target.substr(0, slash);
            if (!rules.count(target))
                continue; // tools/ (the mailbox writer) and the library are outside the layers
            const bool targetIsTestHelper = inc.target.compare(slash, 7, "/tests/") == 0;
            bool allowed = target == folder || rule->second.count(target) > 0;
            if (inTests && target == kTestSupport)
                allowed = true;
            if (targetIsTestHelper && !inTests)
                allowed = false;
            if (!allowed)
                problems.push_back(at + folder + " must not include " + inc.target + " (" + target + " is not below " +
                                   folder + ")");
            if (!inTests && target != folder)
                graph[folder].insert(target);
        }
    }
    if (const std::string cycle = FindCycle(graph); !cycle.empty())
        problems.push_back("folders include each other: " + cycle);
    return problems;
}

} // namespace layercheck
