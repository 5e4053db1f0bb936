#pragma once
// Runs one command; whatever it throws ends the command and becomes an error box, and the
// window stays usable. No exception may reach Qt's event loop.
#include <functional>

namespace velorix {

class Prompts;

// Returns true when the command finished without an exception.
bool runGuarded(Prompts& prompts, const std::function<void()>& command) noexcept;

} // namespace velorix
