#include "platform/PasswordSource.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"

namespace kamo {
namespace {

// A password is one line; nothing longer is taken as one.
constexpr size_t kMaxPasswordBytes = 4096;

// Cuts `text` at its first line end.
void FirstLine(std::string& text) {
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) {
        std::fill(text.begin() + static_cast<std::ptrdiff_t>(end), text.end(), '\0');
        text.resize(end);
    }
}

// Puts the terminal's settings back when it goes.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::tcgetattr(fd_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        set_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (set_)
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool set_ = false;
};

} // namespace

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        Wipe();
        value_ = std::move(other.value_);
        other.Wipe();
    }
    return *this;
}

void Secret::Wipe() noexcept {
    // Through a volatile pointer, so that the compiler keeps the writes to memory about to be freed.
    volatile char* p = value_.data();
    for (size_t i = 0; i < value_.size(); ++i)
        p[i] = '\0';
    value_.clear();
}

std::variant<Secret, Failure> ReadPasswordFile(const std::filesystem::path& file) {
    const std::vector<std::string> name{file.string()};
    // Opened first and asked about after, so that the file checked is the file read.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
        return Failure(FailureCode::PasswordFileUnreadable, {file.string(), std::strerror(errno)});
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failure(FailureCode::PasswordFileNotRegular, name);
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0 || st.st_uid != ::geteuid())
        return Failure(FailureCode::PasswordFileOpenToOthers, name);
    Secret secret;
    std::string bytes;
    bytes.reserve(kMaxPasswordBytes + 1);
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Secret wipe(std::move(bytes));
            return Failure(FailureCode::PasswordFileUnreadable, {file.string(), std::strerror(errno)});
        }
        if (n == 0)
            break;
        bytes.append(chunk, static_cast<size_t>(n));
        std::memset(chunk, 0, sizeof chunk);
        if (bytes.size() > kMaxPasswordBytes)
            break;
    }
    FirstLine(bytes);
    if (bytes.empty() || bytes.size() > kMaxPasswordBytes) {
        Secret wipe(std::move(bytes));
        return Failure(FailureCode::PasswordFileEmpty, name);
    }
    return Secret(std::move(bytes));
}

std::variant<Secret, Failure> AskPasswordOnTerminal(const std::string& prompt) {
    if (::isatty(STDIN_FILENO) != 1)
        return Failure(FailureCode::PasswordNotGiven);
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::string typed;
    {
        const EchoOff quiet(STDIN_FILENO);
        for (;;) {
            char c = 0;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || c == '\n' || c == '\r')
                break;
            if (typed.size() < kMaxPasswordBytes)
                typed.push_back(c);
        }
    }
    if (typed.empty())
        return Failure(FailureCode::PasswordNotGiven);
    return Secret(std::move(typed));
}

} // namespace kamo
