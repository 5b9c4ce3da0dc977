// wordscheck APP_DIR: checks that the program's words for the user stay in the catalogue and the
// windows (WordsCheck.h), with APP_DIR/words.txt listing the files whose other texts are content.
// Exit status 0 when they do, 1 (and one line per literal out of place) when they do not.
#include <fstream>
#include <iostream>
#include <sstream>

#include "WordsCheck.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: wordscheck APP_DIR\n";
        return 2;
    }
    const std::filesystem::path appDir = argv[1];
    std::ifstream in(appDir / "words.txt");
    if (!in) {
        std::cerr << "wordscheck: cannot read " << (appDir / "words.txt") << '\n';
        return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> problems;
    const auto listed = layercheck::ParseWordsList(text.str(), problems);
    for (const auto& p : layercheck::CheckWords(appDir, listed))
        problems.push_back(p);
    for (const auto& p : problems)
        std::cout << p << '\n';
    if (!problems.empty()) {
        std::cout << problems.size() << " text(s) out of place\n";
        return 1;
    }
    std::cout << "wordscheck: every word for the user is in the catalogue or a window\n";
    return 0;
}
