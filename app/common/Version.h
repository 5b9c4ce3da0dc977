#pragma once
// The program's version, from the build (project version in the top CMakeLists.txt).
#include <string>

namespace kamo {

constexpr int kVersionMajor = KAMOMAIL_VERSION_MAJOR;
constexpr int kVersionMinor = KAMOMAIL_VERSION_MINOR;
constexpr int kVersionPatch = KAMOMAIL_VERSION_PATCH;

// As stored in "Ver": major x 100 + minor x 10 + revision (4.0.0 -> 400).
constexpr int kVersionNumber = kVersionMajor * 100 + kVersionMinor * 10 + kVersionPatch;

// "4.0.0"
inline std::string VersionText() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch);
}

} // namespace kamo
