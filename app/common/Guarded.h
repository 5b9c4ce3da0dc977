#pragma once
// The windows' error trap: a handler that fails is told to the user, and the window stays usable.
// Every slot of a window that can throw runs under it (Qt must never see an exception).
#include <functional>

namespace kamo {

class Prompter;

void Guarded(Prompter& prompter, const std::function<void()>& work);

} // namespace kamo
