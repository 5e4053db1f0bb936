#pragma once

namespace velorix::scan::sane {

// Keeps every thread of this process, the drivers' own included, on deferred cancellation.
// Called once, before the first driver is loaded.
void KeepCancellationDeferred();

} // namespace velorix::scan::sane
