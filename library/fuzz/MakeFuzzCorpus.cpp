// Writes the seed corpus of every fuzz target into <dir>/<target>/, together with the saved findings
// of <regressions>/<target>/ when that folder is given.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FuzzSeeds.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fputs("usage: make_fuzz_corpus DIR [REGRESSIONS]\n", stderr);
        return 2;
    }
    try {
        for (const char* target : kamofuzz::kTargets) {
            const std::filesystem::path dir = std::filesystem::path(argv[1]) / target;
            std::filesystem::create_directories(dir);
            int n = 0;
            for (const auto& seed : kamofuzz::Seeds(target)) {
                char name[32];
                std::snprintf(name, sizeof name, "seed_%03d", n++);
                std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
                out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
                if (!out)
                    return 1;
            }
            const std::filesystem::path saved = argc == 3 ? std::filesystem::path(argv[2]) / target : "";
            if (argc == 3 && std::filesystem::is_directory(saved))
                for (const auto& entry : std::filesystem::directory_iterator(saved))
                    std::filesystem::copy_file(entry.path(), dir / entry.path().filename(),
                                               std::filesystem::copy_options::overwrite_existing);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_fuzz_corpus: %s\n", e.what());
        return 1;
    }
    return 0;
}
