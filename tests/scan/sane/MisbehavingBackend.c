/* A SANE backend for the tests whose devices misbehave on purpose, loaded by SANE's dll backend
 * ("velorixtest" in a test dll.conf, the library found through LD_LIBRARY_PATH).
 *
 * Devices (velorixtest:NAME): "good" scans whole pages; "segv", "abort", "exit" and "hang" deliver
 * half a page and then crash, abort, exit(3) or never return from sane_read; "overclaim" says it
 * read more bytes than the buffer holds; "short" announces more lines than it sends; "stall" sends
 * half a page and then sleeps VELORIXTEST_STALL seconds per read; "slowstart" waits
 * VELORIXTEST_STALL seconds before its first bytes. The listing obeys VELORIXTEST_LIST: "hang"
 * never returns, "crash" crashes, "slow:S" takes S seconds. sane_open needs no listing.
 * With VELORIXTEST_FAIL_FILE set, reads give at most 500 bytes, and a scan started while that
 * file holds "STATUS READS" ends with that SANE status after that many reads, as a device that
 * jams or is unplugged does. With VELORIXTEST_XY set, "resolution" is the horizontal one and a
 * "y-resolution" option of its own sets the vertical one. "asynccancel" scans whole pages with a
 * reader thread beside it, as SANE's thread helper starts one: the thread asks for asynchronous
 * cancellation and spends its time holding a lock, as a reader inside free() holds the
 * allocator's; the page's end cancels it, joins it and takes that lock. */
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <pthread.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* The formatter does not settle on one layout of this list. */
/* clang-format off */
#define NAMES X(good) X(segv) X(abort) X(exit) X(hang) X(overclaim) X(short) X(stall) \
    X(slowstart) X(chatty) X(mimic) X(sethang) X(openhang) X(asynccancel)
/* clang-format on */
#define X(n) #n,
static const char* names[] = {NAMES};
#undef X
enum { kDevices = sizeof names / sizeof names[0] };

static SANE_Device devices[kDevices];
static const SANE_Device* list[kDevices + 1];

enum { kOptCount, kOptMode, kOptResolution, kOptYResolution, kOptions };
static SANE_String_Const modes[] = {SANE_VALUE_SCAN_MODE_GRAY, SANE_VALUE_SCAN_MODE_COLOR, NULL};
static const SANE_Range resolutions = {25, 600, 1};
static SANE_Option_Descriptor options[kOptions] = {
    {.name = "",
     .title = SANE_TITLE_NUM_OPTIONS,
     .desc = "",
     .type = SANE_TYPE_INT,
     .size = sizeof(SANE_Word),
     .cap = SANE_CAP_SOFT_DETECT},
    {.name = SANE_NAME_SCAN_MODE,
     .title = SANE_TITLE_SCAN_MODE,
     .desc = "",
     .type = SANE_TYPE_STRING,
     .size = 16,
     .cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
     .constraint_type = SANE_CONSTRAINT_STRING_LIST,
     .constraint.string_list = modes},
    {.name = SANE_NAME_SCAN_RESOLUTION,
     .title = SANE_TITLE_SCAN_RESOLUTION,
     .desc = "",
     .type = SANE_TYPE_INT,
     .unit = SANE_UNIT_DPI,
     .size = sizeof(SANE_Word),
     .cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
     .constraint_type = SANE_CONSTRAINT_RANGE,
     .constraint.range = &resolutions},
    {.name = SANE_NAME_SCAN_Y_RESOLUTION,
     .title = SANE_TITLE_SCAN_Y_RESOLUTION,
     .desc = "",
     .type = SANE_TYPE_INT,
     .unit = SANE_UNIT_DPI,
     .size = sizeof(SANE_Word),
     .cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
     .constraint_type = SANE_CONSTRAINT_RANGE,
     .constraint.range = &resolutions},
};

static int optionCount(void) {
    return getenv("VELORIXTEST_XY") ? kOptions : kOptYResolution;
}

typedef struct {
    int kind;
    int color;
    SANE_Word resolution;
    SANE_Word yResolution;
    int scanning;
    long long sent;
    int lines;
    int bytesPerLine;
    int reads;
    int failAfter; /* -1: never */
    SANE_Status failStatus;
    pthread_t reader;
    int readerRunning;
} Device;

/* The "asynccancel" reader: the lock stands for the allocator's, taken for 100 ms at a time
 * with no cancellation point inside, then released before a wait that is one. */
static pthread_mutex_t allocatorLock = PTHREAD_MUTEX_INITIALIZER;
static atomic_int readerHoldsLock;

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void* readerThread(void* arg) {
    (void)arg;
    int old;
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, &old);
    for (;;) {
        pthread_mutex_lock(&allocatorLock);
        atomic_store(&readerHoldsLock, 1);
        for (const double until = now() + 0.1; now() < until;) {
        }
        atomic_store(&readerHoldsLock, 0);
        pthread_mutex_unlock(&allocatorLock);
        usleep(1000);
    }
    return NULL;
}

/* As SANE's backends end a page: the reader cancelled while it holds the lock, then joined;
 * then the lock, as the next malloc would take it. */
static void stopReader(Device* d) {
    if (!d->readerRunning)
        return;
    d->readerRunning = 0;
    while (!atomic_load(&readerHoldsLock))
        usleep(1000);
    pthread_cancel(d->reader);
    pthread_join(d->reader, NULL);
    pthread_mutex_lock(&allocatorLock);
    pthread_mutex_unlock(&allocatorLock);
}

static double stallSeconds(void) {
    const char* s = getenv("VELORIXTEST_STALL");
    return s ? atof(s) : 3600.0;
}

SANE_Status sane_velorixtest_init(SANE_Int* version, SANE_Auth_Callback authorize) {
    (void)authorize;
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 0);
    for (int i = 0; i < kDevices; ++i) {
        devices[i].name = names[i]; /* the dll backend puts "velorixtest:" before it */
        devices[i].vendor = "Velorix";
        devices[i].model = names[i];
        devices[i].type = "flatbed scanner";
    }
    return SANE_STATUS_GOOD;
}

void sane_velorixtest_exit(void) {}

SANE_Status sane_velorixtest_get_devices(const SANE_Device*** out, SANE_Bool localOnly) {
    (void)localOnly;
    const char* how = getenv("VELORIXTEST_LIST");
    if (how && strcmp(how, "hang") == 0)
        for (;;)
            pause();
    if (how && strcmp(how, "crash") == 0)
        raise(SIGSEGV);
    if (how && strncmp(how, "slow:", 5) == 0)
        usleep((useconds_t)(atof(how + 5) * 1e6));
    for (int i = 0; i < kDevices; ++i)
        list[i] = &devices[i];
    list[kDevices] = NULL;
    *out = list;
    return SANE_STATUS_GOOD;
}

static int is(const Device* d, const char* kind) {
    return strcmp(names[d->kind], kind) == 0;
}

/* What drivers print on their standard output, as many do. */
static void chatter(const Device* d) {
    if (is(d, "chatty"))
        printf("lamp warming up... ");
    if (is(d, "mimic"))
        printf("ok\n0\tready\n1\tok\n2\terror\tx\n3\tok\n4\tok\n5\tcancelled\n");
    fflush(stdout);
}

SANE_Status sane_velorixtest_open(SANE_String_Const name, SANE_Handle* handle) {
    for (int i = 0; i < kDevices; ++i)
        if (strcmp(name, names[i]) == 0 || (!*name && i == 0)) {
            if (strcmp(names[i], "openhang") == 0)
                for (;;)
                    pause();
            Device* d = calloc(1, sizeof *d);
            if (!d)
                return SANE_STATUS_NO_MEM;
            d->kind = i;
            d->resolution = 75;
            d->yResolution = 75;
            chatter(d);
            *handle = d;
            return SANE_STATUS_GOOD;
        }
    return SANE_STATUS_INVAL;
}

void sane_velorixtest_close(SANE_Handle handle) {
    free(handle);
}

const SANE_Option_Descriptor* sane_velorixtest_get_option_descriptor(SANE_Handle h, SANE_Int n) {
    (void)h;
    return n >= 0 && n < optionCount() ? &options[n] : NULL;
}

SANE_Status sane_velorixtest_control_option(SANE_Handle h, SANE_Int n, SANE_Action action,
                                            void* value, SANE_Int* info) {
    Device* d = h;
    if (info)
        *info = 0;
    if (d->scanning || n < 0 || n >= optionCount())
        return SANE_STATUS_INVAL;
    if (action == SANE_ACTION_GET_VALUE) {
        if (n == kOptCount)
            *(SANE_Word*)value = optionCount();
        else if (n == kOptMode)
            strcpy(value, modes[d->color]);
        else
            *(SANE_Word*)value = n == kOptYResolution ? d->yResolution : d->resolution;
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_SET_VALUE || n == kOptCount)
        return SANE_STATUS_INVAL;
    if (is(d, "sethang"))
        for (;;)
            pause();
    if (n == kOptMode) {
        for (int m = 0; modes[m]; ++m)
            if (strcmp(value, modes[m]) == 0) {
                d->color = m;
                if (info)
                    *info = SANE_INFO_RELOAD_PARAMS;
                return SANE_STATUS_GOOD;
            }
        return SANE_STATUS_INVAL;
    }
    const SANE_Word r = *(SANE_Word*)value;
    if (r < resolutions.min || r > resolutions.max)
        return SANE_STATUS_INVAL;
    *(n == kOptYResolution ? &d->yResolution : &d->resolution) = r;
    if (info)
        *info = SANE_INFO_RELOAD_PARAMS;
    return SANE_STATUS_GOOD;
}

/* Two inches by three at the current resolution. */
SANE_Status sane_velorixtest_get_parameters(SANE_Handle h, SANE_Parameters* p) {
    Device* d = h;
    p->format = d->color ? SANE_FRAME_RGB : SANE_FRAME_GRAY;
    p->last_frame = SANE_TRUE;
    p->depth = 8;
    p->pixels_per_line = 2 * d->resolution;
    p->bytes_per_line = p->pixels_per_line * (d->color ? 3 : 1);
    p->lines = 3 * (getenv("VELORIXTEST_XY") ? d->yResolution : d->resolution);
    return SANE_STATUS_GOOD;
}

SANE_Status sane_velorixtest_start(SANE_Handle h) {
    Device* d = h;
    SANE_Parameters p;
    sane_velorixtest_get_parameters(h, &p);
    d->scanning = 1;
    d->sent = 0;
    d->lines = p.lines;
    d->bytesPerLine = p.bytes_per_line;
    d->reads = 0;
    d->failAfter = -1;
    chatter(d);
    const char* failFile = getenv("VELORIXTEST_FAIL_FILE");
    FILE* f = failFile ? fopen(failFile, "r") : NULL;
    if (is(d, "asynccancel") && pthread_create(&d->reader, NULL, readerThread, NULL) == 0)
        d->readerRunning = 1;
    if (f) {
        int status = 0, reads = 0;
        if (fscanf(f, "%d %d", &status, &reads) == 2) {
            d->failStatus = (SANE_Status)status;
            d->failAfter = reads;
        }
        fclose(f);
    }
    return SANE_STATUS_GOOD;
}

SANE_Status sane_velorixtest_read(SANE_Handle h, SANE_Byte* data, SANE_Int max, SANE_Int* len) {
    Device* d = h;
    *len = 0;
    if (!d->scanning)
        return SANE_STATUS_CANCELLED;
    if (d->failAfter >= 0 && d->reads++ == d->failAfter) {
        d->scanning = 0;
        return d->failStatus;
    }
    if (getenv("VELORIXTEST_FAIL_FILE") && max > 500)
        max = 500;
    const long long total = (long long)d->lines * d->bytesPerLine;
    const char* kind = names[d->kind];
    long long end = total;
    if (strcmp(kind, "short") == 0)
        end = total / 3 / d->bytesPerLine * d->bytesPerLine;
    if (strcmp(kind, "slowstart") == 0 && d->sent == 0)
        usleep((useconds_t)(stallSeconds() * 1e6));
    if (d->sent >= total / 2 && strcmp(kind, "good") != 0 && strcmp(kind, "short") != 0 &&
        strcmp(kind, "slowstart") != 0) {
        if (strcmp(kind, "segv") == 0)
            raise(SIGSEGV);
        if (strcmp(kind, "abort") == 0)
            abort();
        if (strcmp(kind, "exit") == 0)
            exit(3);
        if (strcmp(kind, "hang") == 0)
            for (;;)
                pause();
        if (strcmp(kind, "overclaim") == 0) {
            *len = max + 4096;
            return SANE_STATUS_GOOD;
        }
        if (strcmp(kind, "stall") == 0)
            usleep((useconds_t)(stallSeconds() * 1e6));
    }
    if (d->sent >= end) {
        stopReader(d);
        return SANE_STATUS_EOF;
    }
    long long n = end - d->sent;
    if (n > max)
        n = max;
    for (long long i = 0; i < n; ++i) {
        const long long at = d->sent + i;
        data[i] = (SANE_Byte)((at / d->bytesPerLine + at % d->bytesPerLine) & 0xff);
    }
    d->sent += n;
    *len = (SANE_Int)n;
    return SANE_STATUS_GOOD;
}

void sane_velorixtest_cancel(SANE_Handle h) {
    Device* d = h;
    stopReader(d);
    d->scanning = 0;
}

SANE_Status sane_velorixtest_set_io_mode(SANE_Handle h, SANE_Bool nonBlocking) {
    (void)h;
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_velorixtest_get_select_fd(SANE_Handle h, SANE_Int* fd) {
    (void)h;
    (void)fd;
    return SANE_STATUS_UNSUPPORTED;
}
