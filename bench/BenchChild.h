#pragma once
// Timing a piece of work in a child process, so that its peak memory is its own: the parent holds
// nothing large when it forks, and the child's peak resident size comes back from wait4.
#include <cstdio>
#include <exception>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kamo::bench {

// User and system time of this process so far, in seconds.
inline double CpuNow() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return secs(u.ru_utime) + secs(u.ru_stime);
}

struct Outcome {
    double seconds = 0;
    double cpu = 0; // user + system time of the timed part
    long long rows = 0;
    long peakKb = 0;
    bool ok = false;
};

// Runs `work` in a child; it returns its Outcome (seconds, cpu, rows). The child's peak resident size
// comes along; `name` prefixes a failure's message.
template <class Work> Outcome InChild(const char* name, Work work) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Outcome o;
        try {
            o = work();
            o.ok = true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", name, e.what());
        }
        if (write(fds[1], &o, sizeof o) != sizeof o)
            _exit(2);
        _exit(0);
    }
    close(fds[1]);
    Outcome o;
    const bool got = read(fds[0], &o, sizeof o) == sizeof o;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    o.ok = o.ok && got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    o.peakKb = usage.ru_maxrss;
    return o;
}

} // namespace kamo::bench
