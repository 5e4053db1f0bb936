#pragma once
// The scanners the worker lists, and opening one by the name a list showed.

#include "scan/client/Connection.h"

namespace velorix::scan::worker {

std::unique_ptr<IDeviceManager> CreateWorkerDeviceManager(std::shared_ptr<Connection> connection);

} // namespace velorix::scan::worker
