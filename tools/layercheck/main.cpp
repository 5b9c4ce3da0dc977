// layercheck APP_DIR: checks the include rules of the program's source tree against APP_DIR/layers.txt.
// Exit status 0 when the tree keeps them, 1 (and one line per problem) when it does not.
#include <fstream>
#include <iostream>
#include <sstream>

#include "LayerCheck.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: layercheck APP_DIR\n";
        return 2;
    }
    const std::filesystem::path appDir = argv[1];
    std::ifstream in(appDir / "layers.txt");
    if (!in) {
        std::cerr << "layercheck: cannot read " << (appDir / "layers.txt") << '\n';
        return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> problems;
    const auto rules = layercheck::ParseLayerRules(text.str(), problems);
    for (const auto& p : layercheck::CheckTree(appDir, rules))
        problems.push_back(p);
    for (const auto& p : problems)
        std::cout << p << '\n';
    if (!problems.empty()) {
        std::cout << problems.size() << " include rule(s) broken\n";
        return 1;
    }
    std::cout << "layercheck: every include points down the layers\n";
    return 0;
}
