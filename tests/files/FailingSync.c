// Preloaded into a program, makes its fsync and fdatasync fail as a full quota or a failing
// network disk does: VELORIX_FAIL_SYNC names the error (EDQUOT, ENOSPC or EIO; unset or empty:
// the real call), VELORIX_FAIL_SYNC_ON=folder fails only folders' syncs, otherwise only files'.
// Both are read at every call, so a test can switch them between saves.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static int failure_for(int fd) {
    const char* name = getenv("VELORIX_FAIL_SYNC");
    if (name == NULL || *name == '\0')
        return 0;
    const char* on = getenv("VELORIX_FAIL_SYNC_ON");
    const int folders = on != NULL && strcmp(on, "folder") == 0;
    struct stat st;
    if (fstat(fd, &st) != 0 || (S_ISDIR(st.st_mode) != 0) != folders)
        return 0;
    if (strcmp(name, "EDQUOT") == 0)
        return EDQUOT;
    if (strcmp(name, "ENOSPC") == 0)
        return ENOSPC;
    return EIO;
}

typedef int (*sync_call)(int);

// Fails as asked, or passes the call on to the C library's own function.
static int sync_or_fail(const char* symbol, int fd) {
    const int error = failure_for(fd);
    if (error != 0) {
        errno = error;
        return -1;
    }
    void* found = dlsym(RTLD_NEXT, symbol);
    sync_call real = NULL;
    memcpy(&real, &found, sizeof real);
    return real != NULL ? real(fd) : 0;
}

int fsync(int fd) {
    return sync_or_fail("fsync", fd);
}

int fdatasync(int fd) {
    return sync_or_fail("fdatasync", fd);
}
