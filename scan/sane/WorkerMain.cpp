// velorix-scan-worker: the process that runs the scanner drivers for the program, so that a
// driver that crashes, exits or hangs takes only this process with it.
// Usage: velorix-scan-worker [--program PID], PID being the program that takes the pages.
#include "scan/link/SharedBlock.h"
#include "scan/sane/SaneWorker.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--program") == 0)
            velorix::scan::worker::SharedBlock::SetReceiver(std::strtoul(argv[i + 1], nullptr, 10));
    }
#ifdef SIGPIPE
    // A closed pipe to the program is seen as the end of input, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    return velorix::scan::sane::RunScanWorker();
}
