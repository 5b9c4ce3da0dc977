#include <cstdio>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "kamomail.h"

namespace {

// The names `nm` lists for the shared object: its dynamic symbols (`-D --defined-only`) or its
// whole symbol table, the hidden ones included.
std::set<std::string> Symbols(const std::string& path, const std::string& options) {
    std::set<std::string> names;
    const std::string command = "nm " + options + " '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            names.insert(name.substr(0, name.find('@')));
    }
    return names;
}

} // namespace

TEST(Exports, ExactlyTheCExportsAreExported) {
    const auto names = Symbols(KAMOMAIL_SO_PATH, "-D --defined-only");
    ASSERT_FALSE(names.empty()) << "nm found no symbols in " << KAMOMAIL_SO_PATH;
    EXPECT_EQ(names,
              (std::set<std::string>{"KamoFriend_Edit", "KamoMail_Edit", "KamoMail_EditFramed", "Mail_StrChange"}));
}

TEST(Exports, LoadsByNameAndConverts) {
    std::unique_ptr<void, int (*)(void*)> handle(::dlopen(KAMOMAIL_SO_PATH, RTLD_NOW | RTLD_LOCAL), ::dlclose);
    ASSERT_TRUE(handle) << ::dlerror();
    auto change = reinterpret_cast<Mail_StrChange_Fn>(::dlsym(handle.get(), "Mail_StrChange"));
    ASSERT_NE(change, nullptr);
    EXPECT_NE(::dlsym(handle.get(), "KamoMail_Edit"), nullptr);
    EXPECT_NE(::dlsym(handle.get(), "KamoFriend_Edit"), nullptr);
    EXPECT_NE(::dlsym(handle.get(), "KamoMail_EditFramed"), nullptr);
    // Internal helpers are in the object but stay out of reach.
    const char* const internal = "_ZN7kamolib9StrChangeEPKcPcm"; // kamolib::StrChange(const char*, char*, size_t)
    EXPECT_EQ(Symbols(KAMOMAIL_SO_PATH, "").count(internal), 1u);
    EXPECT_EQ(::dlsym(handle.get(), internal), nullptr);
    char area[KAMOMAIL_STRCHANGE_AREA];
    int32_t length = 0;
    EXPECT_EQ(change("a,b", area, &length), 0);
    EXPECT_EQ(std::string(area, static_cast<size_t>(length)), "a\x81\x43"
                                                              "b");
}
