#include "platform/KamoLibrary.h"

#include <dlfcn.h>
#include <memory>

namespace kamo {
namespace {

std::string DlError() {
    const char* e = dlerror();
    return e ? std::string(e) : std::string();
}

} // namespace

KamoLibrary::~KamoLibrary() {
    if (handle_)
        dlclose(handle_);
}

bool KamoLibrary::Load() {
    if (tried_)
        return handle_ != nullptr;
    tried_ = true;
    dlerror();
    // RTLD_LOCAL keeps the library's symbols out of the program's own namespace.
    void* handle = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        problem_.emplace(FailureCode::LibraryNotLoaded, std::vector<std::string>{path_.string(), DlError()});
        return false;
    }
    auto lookUp = [&](const char* name) -> void* {
        dlerror();
        void* sym = dlsym(handle, name);
        if (!sym && !problem_)
            problem_.emplace(FailureCode::LibraryFunctionMissing, std::vector<std::string>{name, path_.string()});
        return sym;
    };
    // The plain conversion is not called, but a library without it is not a whole build of ours.
    lookUp("KamoMail_Edit");
    void* framed = lookUp("KamoMail_EditFramed");
    void* friendEdit = lookUp("KamoFriend_Edit");
    void* strChange = lookUp("Mail_StrChange");
    if (problem_) {
        dlclose(handle);
        return false;
    }
    handle_ = handle;
    // dlsym hands back object pointers; POSIX guarantees they convert to function pointers.
    mailEditFramed_ = reinterpret_cast<KamoMail_EditFramed_Fn>(framed);
    friendEdit_ = reinterpret_cast<KamoFriend_Edit_Fn>(friendEdit);
    strChange_ = reinterpret_cast<Mail_StrChange_Fn>(strChange);
    return true;
}

KamoLibrary& ProgramLibrary(const std::filesystem::path& path) {
    static const std::unique_ptr<KamoLibrary> library = std::make_unique<KamoLibrary>(path);
    return *library;
}

} // namespace kamo
