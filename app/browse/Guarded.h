#pragma once
// The window's error trap: a handler that fails is told to the user, and the window stays usable.
#include <functional>

namespace kamo {

class Prompter;

void Guarded(Prompter& prompter, const std::function<void()>& work);

} // namespace kamo
