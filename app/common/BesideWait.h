#pragma once
// Work that blocks on something outside the program (a mail server's answer, a wait before trying
// again) while a wait window is up: the caller's thread keeps pumping the reporter, so the window
// keeps painting and its 中止 is seen.
#include <chrono>
#include <functional>

#include "common/WaitReporter.h"

namespace kamo {

// Runs `work` on a thread of its own and pumps `wait` on the caller's thread until it is done; what
// `work` throws is thrown here. `work` must not touch `wait`. It is not stopped by 中止: the caller
// decides what a stop asked for meanwhile means once it returns.
void RunWhilePumping(WaitReporter& wait, const std::function<void()>& work);

// Waits `length` with `wait` pumped; false, at once, when a stop is asked for.
bool PumpedPause(WaitReporter& wait, std::chrono::milliseconds length);

} // namespace kamo
