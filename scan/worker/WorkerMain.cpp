// velorix-scan-worker: the process that runs the scanner drivers for the program, so that a
// driver that crashes, exits or hangs takes only this process with it.
#include "../sane/SaneWorker.h"

#include <csignal>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    // A closed pipe to the program is seen as the end of input, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    return velorix::scan::sane::RunScanWorker();
}
