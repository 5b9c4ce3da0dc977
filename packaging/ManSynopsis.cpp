// Writes the manual page with the terminal commands in its synopsis, made from the command table:
//   kamomail_mansynopsis PAGE.in PAGE
// copies PAGE.in (the version already filled in) to PAGE, the marker line replaced by ManSynopsis().
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "common/CommandTable.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: kamomail_mansynopsis PAGE.in PAGE\n";
        return 2;
    }
    constexpr std::string_view kMarker = ".\\\" <terminal commands>";
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "kamomail_mansynopsis: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::string page;
    bool placed = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(kMarker, 0) == 0 && !placed) {
            page += kamo::ManSynopsis();
            placed = true;
        } else {
            page += line + '\n';
        }
    }
    if (!placed) {
        std::cerr << "kamomail_mansynopsis: no line starting " << kMarker << " in " << argv[1] << '\n';
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    if (!out) {
        std::cerr << "kamomail_mansynopsis: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
