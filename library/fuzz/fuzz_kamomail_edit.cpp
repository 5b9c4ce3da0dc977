// libFuzzer entry point; the checks live in FuzzBodies.cpp so that the replay tests share them.
#include <cstdio>
#include <cstdlib>

#include "FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = kamofuzz::FuzzKamoMailEdit(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "fuzz_kamomail_edit: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
