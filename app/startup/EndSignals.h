#pragma once
// SIGTERM, SIGINT (Ctrl-C) and SIGHUP held while a terminal command works: they wait in a signalfd
// until the command is at a point where it can stop cleanly (between two mails), and no system call
// is cut short by them meanwhile.
#include <csignal>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace kamo {

class EndSignals {
public:
    EndSignals() {
        sigemptyset(&set_);
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set_, sig);
        blocked_ = ::pthread_sigmask(SIG_BLOCK, &set_, &previous_) == 0;
        if (blocked_)
            fd_ = ::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    ~EndSignals() {
        if (fd_ >= 0)
            ::close(fd_);
        if (blocked_)
            ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;
    int Fd() const { return fd_; }
    // The signal that came, or 0.
    int Take() {
        signalfd_siginfo info{};
        if (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            return static_cast<int>(info.ssi_signo);
        return 0;
    }

private:
    sigset_t set_{};
    sigset_t previous_{};
    bool blocked_ = false;
    int fd_ = -1;
};

} // namespace kamo
