// SANE's thread helper switches each reader thread it starts to asynchronous cancellation, and
// the backends cancel that thread when a page ends. Under asynchronous cancellation POSIX allows
// nothing but the cancellation calls themselves: a reader stopped inside free() leaves the
// allocator's lock taken, its own exit then waits on that lock for ever, and so does the page's
// end, which joins it (SANE's test backend did so about once in a thousand pages on a busy
// machine, and the scan ended on the watchdog). This process keeps every thread on deferred
// cancellation: a cancel takes effect at the thread's next wait (read, write, poll, sleep),
// where the C library is ready to unwind.
#include "scan/sane/DriverThreads.h"

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <pthread.h>

namespace {

using SetCancelType = int (*)(int, int*);

std::atomic<SetCancelType> realSetCancelType{nullptr};

SetCancelType Real() {
    SetCancelType real = realSetCancelType.load();
    if (!real) {
        real = reinterpret_cast<SetCancelType>(::dlsym(RTLD_NEXT, "pthread_setcanceltype"));
        realSetCancelType.store(real);
    }
    return real;
}

} // namespace

// Found before the C library's by the drivers, which this executable exports it to.
extern "C" int pthread_setcanceltype(int type, int* oldtype) {
    if (type != PTHREAD_CANCEL_DEFERRED && type != PTHREAD_CANCEL_ASYNCHRONOUS)
        return EINVAL;
    const SetCancelType real = Real();
    return real ? real(PTHREAD_CANCEL_DEFERRED, oldtype) : ENOSYS;
}

namespace velorix::scan::sane {

void KeepCancellationDeferred() {
    Real();
}

} // namespace velorix::scan::sane
