#pragma once
// One scan through the worker: its progress, the watchdog, "Annuler", and the page taken over.

#include "scan/client/Connection.h"

namespace velorix::scan::worker {

std::unique_ptr<ICommonDialog> CreateWorkerDialog(std::shared_ptr<Connection> connection);

} // namespace velorix::scan::worker
