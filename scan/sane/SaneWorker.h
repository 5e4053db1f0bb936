#pragma once
// The scanner worker's main loop (see WorkerMain.cpp): answers the program on standard input and
// output until the program closes the link.

namespace velorix::scan::sane {
int RunScanWorker();
}
