#include "browse/AttachmentFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "common/NumberText.h"
#include "platform/FileDescriptor.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace {

constexpr std::size_t kMaxNameBytes = 200;

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// At most `bytes` bytes of UTF-8 text, never half a character.
std::string_view CutUtf8(std::string_view s, std::size_t bytes) {
    if (s.size() <= bytes)
        return s;
    while (bytes > 0 && IsContinuationByte(s[bytes]))
        --bytes;
    return s.substr(0, bytes);
}

// The extension a file of a common content type has, for attachments that came without a name.
std::string ExtensionOf(std::string_view contentType) {
    static constexpr std::pair<const char*, const char*> kTypes[] = {
        {"image/jpeg", ".jpg"}, {"image/png", ".png"},       {"image/gif", ".gif"},
        {"image/bmp", ".bmp"},  {"application/pdf", ".pdf"}, {"application/zip", ".zip"},
        {"text/plain", ".txt"}, {"text/html", ".html"},      {"message/rfc822", ".eml"},
        {"audio/midi", ".mid"}, {"audio/x-wav", ".wav"},     {"application/msword", ".doc"},
    };
    for (const auto& [type, extension] : kTypes)
        if (contentType == type)
            return extension;
    return {};
}

} // namespace

std::string AttachmentLabel(const AttachmentEntry& entry) {
    return Say(BrowseText::AttachmentLabel,
               {SafeFileName(entry.name, entry.position, entry.contentType), WithSeparators(entry.size)});
}

std::string SafeFileName(std::string_view name, int64_t position, std::string_view contentType) {
    std::string clean;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\')
            clean += '_';
        else if (b >= 0x20 && b != 0x7F)
            clean += c;
    }
    const std::size_t first = clean.find_first_not_of(". ");
    clean = first == std::string::npos ? std::string() : clean.substr(first);
    while (!clean.empty() && clean.back() == ' ')
        clean.pop_back();
    if (clean.empty())
        return Say(BrowseText::UnnamedAttachment, {std::to_string(position), ExtensionOf(contentType)});
    if (clean.size() > kMaxNameBytes) {
        const std::size_t dot = clean.rfind('.');
        const std::string extension =
            dot != std::string::npos && clean.size() - dot <= 16 ? clean.substr(dot) : std::string();
        clean = std::string(CutUtf8(clean, kMaxNameBytes - extension.size())) + extension;
    }
    return clean;
}

std::filesystem::path SaveAttachmentFile(const std::filesystem::path& folder, const std::string& fileName,
                                         std::string_view bytes) {
    const std::size_t dot = fileName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::string extension = hasExtension ? fileName.substr(dot) : std::string();
    for (int n = 1;; ++n) {
        const std::filesystem::path path =
            folder / (n == 1 ? fileName : stem + " (" + std::to_string(n) + ")" + extension);
        FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (fd.Get() < 0) {
            if (errno == EEXIST && n < 10000)
                continue;
            throw std::system_error(errno, std::generic_category(), path.string());
        }
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t written = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                const int error = written < 0 ? errno : EIO;
                ::unlink(path.c_str()); // no half file left under the attachment's name
                throw std::system_error(error, std::generic_category(), path.string());
            }
            done += static_cast<std::size_t>(written);
        }
        if (::close(fd.Release()) != 0) {
            const int error = errno;
            ::unlink(path.c_str());
            throw std::system_error(error, std::generic_category(), path.string());
        }
        return path;
    }
}

std::filesystem::path WriteViewingCopy(const std::filesystem::path& tempRoot, const std::string& fileName,
                                       std::string_view bytes) {
    std::string pattern = (tempRoot / "kamomail-attachment-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) // made 0700
        throw std::system_error(errno, std::generic_category(), pattern);
    const std::filesystem::path file = std::filesystem::path(pattern) / fileName;
    if (!AtomicWriteFile(file, bytes, PrivateFile())) {
        const int error = errno ? errno : EIO;
        std::error_code ec;
        std::filesystem::remove_all(pattern, ec);
        throw std::system_error(error, std::generic_category(), file.string());
    }
    return file;
}

} // namespace kamo
