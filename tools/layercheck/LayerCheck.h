#pragma once
// The include rules of the program's source tree (app/), checked from the files themselves:
//   - an include of another folder must point down the layer order written in app/layers.txt;
//   - logic files (every file not named frm*, Qt* or main.cpp) include no Qt header, so the core that the
//     terminal commands and the tests link stays free of Qt;
//   - the folders' include graph has no cycle.
// A folder's tests/ may include what the folder may, the folder itself, the test support and the
// helpers in the tests/ of the folders below it.
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace layercheck {

// folder -> the folders it may include (besides itself), from the layer file.
using LayerRules = std::map<std::string, std::set<std::string>>;

// Lines "folder: lower lower ..." in order from the bottom; '#' starts a comment. A folder may only
// name folders listed above it, so the rules cannot hold a cycle. Problems go to `errors`.
LayerRules ParseLayerRules(const std::string& text, std::vector<std::string>& errors);

// Every broken rule under `appDir`, one line each ("file:line: what"); empty when the tree is clean.
std::vector<std::string> CheckTree(const std::filesystem::path& appDir, const LayerRules& rules);

} // namespace layercheck
