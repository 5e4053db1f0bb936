#pragma once
// The scanner worker's main loop (see scan/worker/): answers the program on standard input and
// output until the program closes the link.

namespace velorix::scan::sane {
int RunScanWorker();
}
