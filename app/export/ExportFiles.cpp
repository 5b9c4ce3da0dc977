#include "export/ExportFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <sys/stat.h>

#include "common/NumberText.h"
#include "export/MailMessage.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;

void FailExport(FailureCode code, const fs::path& path, int error) {
    throw Failure(code, {path.string(), std::strerror(error)});
}

void WriteExportFile(const fs::path& path, std::string_view bytes, unsigned mode, std::time_t modified,
                     const fs::path& tempFolder) {
    FileWriter out(path, PrivateFile(mode), tempFolder);
    if (!out.Ok())
        FailExport(out.Error() == ELOOP ? FailureCode::TargetIsLink : FailureCode::MailFileNotMade, path, out.Error());
    bool written = out.Write(bytes);
    if (written && modified >= 0) {
        const struct timespec times[2] = {{modified, 0}, {modified, 0}};
        written = ::futimens(out.Fd(), times) == 0;
    }
    if (!written || !out.Commit())
        FailExport(out.Error() == ELOOP ? FailureCode::TargetIsLink : FailureCode::MailFileNotWritten, path,
                   out.Error() ? out.Error() : errno);
}

void MakeExportFolder(const fs::path& folder, bool ownOnly) {
    std::error_code ec;
    if (!folder.has_relative_path() || fs::is_directory(folder, ec)) {
        // already there
    } else {
        if (const fs::path parent = folder.parent_path(); !parent.empty() && parent != folder)
            MakeExportFolder(parent);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            FailExport(FailureCode::ExportFolderNotMade, folder, errno);
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        FailExport(FailureCode::ExportFolderNotMade, folder, errno);
    if (S_ISLNK(st.st_mode) && ownOnly)
        FailExport(FailureCode::ExportFolderIsLink, folder, ELOOP);
    if (!fs::is_directory(folder, ec))
        FailExport(FailureCode::ExportFolderNotMade, folder, ENOTDIR);
}

std::string MailFileStem(const MailRecord& mail) {
    auto digits = [](const std::string& s, const char* none) {
        std::string d;
        for (char c : s)
            if (c >= '0' && c <= '9')
                d += c;
        return d.empty() ? std::string(none) : d;
    };
    char key[32];
    std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(MailKeyHash(mail)));
    return digits(mail.ymd, "00000000") + "-" + digits(mail.hms, "000000") + "-" + std::to_string(mail.subKey) + "-" +
           (mail.sent ? "s" : "r") + "-" + key;
}

std::string EarlierMailFileStem(const std::string& stem) {
    return stem.size() > 8 ? stem.substr(0, stem.size() - 8) : stem;
}

void RemoveEarlierFile(const fs::path& path) {
    std::error_code ec;
    fs::remove_all(path, ec); // a link is removed, not what it names
}

std::string MailFileNames::Claim(const std::string& own) {
    std::string name = own;
    for (int n = 2; !taken_.insert(name).second; ++n)
        name = own + "-" + std::to_string(n);
    return name;
}

void ShowExportCount(WaitReporter& wait, int64_t done, const std::optional<int64_t>& total) {
    wait.ShowCount(WaitCount::Items, done, total);
    wait.SetProgress(done, total.value_or(0));
}

} // namespace kamo
