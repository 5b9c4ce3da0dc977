#include "common/BesideWait.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace kamo {
namespace {

constexpr std::chrono::milliseconds kPumpEvery{20};

} // namespace

void RunWhilePumping(WaitReporter& wait, const std::function<void()>& work) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        std::exception_ptr caught;
        try {
            work();
        } catch (...) {
            caught = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        failure = caught;
        done = true;
        finished.notify_all();
    });
    for (bool over = false; !over;) {
        wait.Pump();
        std::unique_lock<std::mutex> lock(mutex);
        over = finished.wait_for(lock, kPumpEvery, [&] { return done; });
    }
    worker.join();
    wait.Pump();
    if (failure)
        std::rethrow_exception(failure);
}

bool PumpedPause(WaitReporter& wait, std::chrono::milliseconds length) {
    const auto until = std::chrono::steady_clock::now() + length;
    for (;;) {
        wait.Pump();
        if (wait.CancelRequested())
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPumpEvery, until - now));
    }
}

} // namespace kamo
