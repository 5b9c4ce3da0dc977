#pragma once
// The conversion library (libkamomail.so), loaded by path at its first use and closed with this object.
// A missing library or export is an error result (a Failure), never a crash.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/Failure.h"
#include "kamomail.h"

namespace kamo {

class KamoLibrary {
public:
    explicit KamoLibrary(std::filesystem::path path) : path_(std::move(path)) {}
    ~KamoLibrary();
    KamoLibrary(const KamoLibrary&) = delete;
    KamoLibrary& operator=(const KamoLibrary&) = delete;

    // Opens the library and looks up its exports; later calls return the first outcome.
    bool Load();
    // Why Load() failed; none after a successful load.
    const std::optional<Failure>& Problem() const { return problem_; }
    // The same for logs and tests (ASCII); empty after a successful load.
    std::string Error() const { return problem_ ? problem_->what() : std::string(); }
    const std::filesystem::path& Path() const { return path_; }

    // The exports; null until Load() succeeded.
    KamoMail_EditFramed_Fn MailEditFramed() const { return mailEditFramed_; }
    KamoFriend_Edit_Fn FriendEdit() const { return friendEdit_; }
    Mail_StrChange_Fn StrChange() const { return strChange_; }

private:
    std::filesystem::path path_;
    void* handle_ = nullptr;
    bool tried_ = false;
    std::optional<Failure> problem_;
    KamoMail_EditFramed_Fn mailEditFramed_ = nullptr;
    KamoFriend_Edit_Fn friendEdit_ = nullptr;
    Mail_StrChange_Fn strChange_ = nullptr;
};

// The program's one instance, created at the first call with `path` (later calls return the same
// object): the library stays loaded for the rest of the run.
KamoLibrary& ProgramLibrary(const std::filesystem::path& path);

} // namespace kamo
