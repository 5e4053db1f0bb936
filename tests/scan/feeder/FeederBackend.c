/* A SANE backend for the tests whose devices have document feeders, loaded by SANE's dll
 * backend ("velorixfeeder" in a test dll.conf, the library found through LD_LIBRARY_PATH).
 *
 * Devices (velorixfeeder:NAME) name their sources as different vendors do: "fujitsu" (ADF Front,
 * ADF Back, ADF Duplex; page-width/page-height), "brother" (FlatBed, Automatic Document
 * Feeder(left aligned), ...(left aligned,Duplex)), "canon" (Flatbed, ADF Simplex, ADF Duplex;
 * page size options, inactive on the flatbed), "hp" (Flatbed, ADF, Duplex), "simplex" (ADF
 * alone), "jam" (jams half-way through sheet k), "cover" (its cover opens as sheet k is fed) and
 * "empty" (its feeder is empty at once).
 *
 * Each side is a white page with its number drawn large ("3R" is the front of sheet 3, "3V" its
 * back, "0" the flatbed) and, in a row of eight boxes near the top, its code in binary, most
 * significant box first, a dark box a 1: sheet * 2 for a front, sheet * 2 + 1 for a back, 255
 * for the flatbed. Sheets are numbered from 1 for the life of the handle.
 *
 * A feeder holds N sheets. sane_start takes the next side (front, then back on a duplex
 * source); with none left it says SANE_STATUS_NO_DOCS and is loaded again for the next start,
 * as a user puts more paper in. A sane_cancel between the front and the back of a duplex sheet
 * ejects the sheet, its back unread, as real feeders do. After a jam or an open cover the
 * feeder is loaded afresh too.
 *
 * Settings, read at each load from the file VELORIXFEEDER_CONTROL names when it is set, else
 * from the environment variables of the same names: VELORIXFEEDER_SHEETS (N, default 3),
 * VELORIXFEEDER_FAIL_AT (k, the sheet of each load that jams or opens the cover, default 2),
 * VELORIXFEEDER_BLANK_BACKS (1: backs are blank paper, with grain and dust),
 * VELORIXFEEDER_READ_US (a pause before each read, microseconds) and VELORIXFEEDER_FEED_MS (the
 * time each side takes to feed, at sane_start). The control file holds "NAME=VALUE" lines
 * without the prefix ("SHEETS=10"). VELORIXFEEDER_LOG names a file to which each sane_start of
 * a side adds "SIDE SECONDS" (sides counted from 1 for the handle, CLOCK_MONOTONIC when the
 * feed begins), so that benchmarks can tell when each sheet was read. */
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum Behaviour { kNormal, kJam, kCover, kEmpty };

typedef struct {
    const char* name;
    const char* type;
    const char* sources[4];
    int pageOptions;
    enum Behaviour behaviour;
} Model;

static const Model models[] = {
    {"fujitsu", "sheetfed scanner", {"ADF Front", "ADF Back", "ADF Duplex", NULL}, 1, kNormal},
    {"brother",
     "flatbed scanner",
     {"FlatBed", "Automatic Document Feeder(left aligned)",
      "Automatic Document Feeder(left aligned,Duplex)", NULL},
     0,
     kNormal},
    {"canon", "flatbed scanner", {"Flatbed", "ADF Simplex", "ADF Duplex", NULL}, 1, kNormal},
    {"hp", "flatbed scanner", {"Flatbed", "ADF", "Duplex", NULL}, 0, kNormal},
    {"simplex", "sheetfed scanner", {"ADF", NULL, NULL, NULL}, 1, kNormal},
    {"jam", "sheetfed scanner", {"ADF Front", "ADF Duplex", NULL, NULL}, 1, kJam},
    {"cover", "flatbed scanner", {"Flatbed", "ADF", "ADF Duplex", NULL}, 0, kCover},
    {"empty", "flatbed scanner", {"Flatbed", "Automatic Document Feeder", NULL, NULL}, 0, kEmpty},
};
enum { kModels = sizeof models / sizeof models[0] };

static SANE_Device devices[kModels];
static const SANE_Device* list[kModels + 1];

enum {
    kOptCount,
    kOptMode,
    kOptResolution,
    kOptSource,
    kOptTlX,
    kOptTlY,
    kOptBrX,
    kOptBrY,
    kOptPageWidth,
    kOptPageHeight,
    kOptions
};

static SANE_String_Const modes[] = {SANE_VALUE_SCAN_MODE_GRAY, SANE_VALUE_SCAN_MODE_COLOR, NULL};
static const SANE_Range resolutions = {50, 600, 1};
static const SANE_Range bedX = {0, SANE_FIX(215.9), 0};
static const SANE_Range bedY = {0, SANE_FIX(297.0), 0};
static const SANE_Range pageX = {SANE_FIX(50.0), SANE_FIX(215.9), 0};
static const SANE_Range pageY = {SANE_FIX(50.0), SANE_FIX(355.6), 0};

typedef struct {
    const Model* model;
    SANE_Option_Descriptor options[kOptions];
    int optionCount;
    int color;
    SANE_Word resolution;
    int source;
    SANE_Word area[4]; /* tl-x, tl-y, br-x, br-y, fixed mm */
    SANE_Word page[2]; /* width, height, fixed mm */

    /* the feeder */
    int loaded;   /* sheets are in the feeder (a load has been made) */
    int left;     /* sheets still in it */
    int position; /* sheets fed from this load */
    int sheet;    /* number of the sheet being read */
    int started;  /* sides started, for the log */
    int backNext; /* the next start reads the back of `sheet` */
    int sheets, failAt, blankBacks;
    long readUs, feedMs;

    /* the scan */
    int scanning;
    int side; /* 0 front, 1 back, 2 flatbed */
    int jamming;
    SANE_Parameters params;
    long long sent;
    SANE_Byte* line;
    int lineY;
} Device;

static int IsFlatbed(const Device* d) {
    const char* s = d->model->sources[d->source];
    return strcmp(s, "Flatbed") == 0 || strcmp(s, "FlatBed") == 0;
}
static int IsDuplex(const Device* d) {
    return strstr(d->model->sources[d->source], "Duplex") != NULL;
}

static const char* Setting(const char* name, char* buffer, size_t size) {
    const char* file = getenv("VELORIXFEEDER_CONTROL");
    if (file) {
        FILE* f = fopen(file, "r");
        const char* found = NULL;
        if (f) {
            char line[256];
            const size_t n = strlen(name);
            while (fgets(line, sizeof line, f))
                if (strncmp(line, name, n) == 0 && line[n] == '=') {
                    snprintf(buffer, size, "%s", line + n + 1);
                    buffer[strcspn(buffer, "\r\n")] = 0;
                    found = buffer;
                    break;
                }
            fclose(f);
        }
        return found;
    }
    char env[64];
    snprintf(env, sizeof env, "VELORIXFEEDER_%s", name);
    return getenv(env);
}

static long Number(const char* name, long fallback) {
    char buffer[64];
    const char* s = Setting(name, buffer, sizeof buffer);
    return s && *s ? atol(s) : fallback;
}

static void Load(Device* d) {
    d->sheets = (int)Number("SHEETS", 3);
    d->failAt = (int)Number("FAIL_AT", 2);
    d->blankBacks = (int)Number("BLANK_BACKS", 0);
    d->readUs = Number("READ_US", 0);
    d->feedMs = Number("FEED_MS", 0);
    d->loaded = 1;
    d->left = d->model->behaviour == kEmpty ? 0 : d->sheets;
    d->position = 0;
    d->backNext = 0;
}

SANE_Status sane_velorixfeeder_init(SANE_Int* version, SANE_Auth_Callback authorize) {
    (void)authorize;
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 0);
    for (int i = 0; i < kModels; ++i) {
        devices[i].name = models[i].name; /* the dll backend puts "velorixfeeder:" before it */
        devices[i].vendor = "Velorix";
        devices[i].model = models[i].name;
        devices[i].type = models[i].type;
    }
    return SANE_STATUS_GOOD;
}

void sane_velorixfeeder_exit(void) {}

SANE_Status sane_velorixfeeder_get_devices(const SANE_Device*** out, SANE_Bool localOnly) {
    (void)localOnly;
    for (int i = 0; i < kModels; ++i)
        list[i] = &devices[i];
    list[kModels] = NULL;
    *out = list;
    return SANE_STATUS_GOOD;
}

static void Describe(Device* d) {
    SANE_Option_Descriptor* o = d->options;
    memset(o, 0, sizeof d->options);
    o[kOptCount] = (SANE_Option_Descriptor){.name = "",
                                            .title = SANE_TITLE_NUM_OPTIONS,
                                            .desc = "",
                                            .type = SANE_TYPE_INT,
                                            .size = sizeof(SANE_Word),
                                            .cap = SANE_CAP_SOFT_DETECT};
    const SANE_Int settable = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
    o[kOptMode] = (SANE_Option_Descriptor){.name = SANE_NAME_SCAN_MODE,
                                           .title = SANE_TITLE_SCAN_MODE,
                                           .desc = "",
                                           .type = SANE_TYPE_STRING,
                                           .size = 16,
                                           .cap = settable,
                                           .constraint_type = SANE_CONSTRAINT_STRING_LIST,
                                           .constraint.string_list = modes};
    o[kOptResolution] = (SANE_Option_Descriptor){.name = SANE_NAME_SCAN_RESOLUTION,
                                                 .title = SANE_TITLE_SCAN_RESOLUTION,
                                                 .desc = "",
                                                 .type = SANE_TYPE_INT,
                                                 .unit = SANE_UNIT_DPI,
                                                 .size = sizeof(SANE_Word),
                                                 .cap = settable,
                                                 .constraint_type = SANE_CONSTRAINT_RANGE,
                                                 .constraint.range = &resolutions};
    o[kOptSource] = (SANE_Option_Descriptor){.name = SANE_NAME_SCAN_SOURCE,
                                             .title = SANE_TITLE_SCAN_SOURCE,
                                             .desc = "",
                                             .type = SANE_TYPE_STRING,
                                             .size = 64,
                                             .cap = settable,
                                             .constraint_type = SANE_CONSTRAINT_STRING_LIST,
                                             .constraint.string_list = d->model->sources};
    const char* corners[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                              SANE_NAME_SCAN_BR_Y};
    for (int k = 0; k < 4; ++k)
        o[kOptTlX + k] = (SANE_Option_Descriptor){.name = corners[k],
                                                  .title = corners[k],
                                                  .desc = "",
                                                  .type = SANE_TYPE_FIXED,
                                                  .unit = SANE_UNIT_MM,
                                                  .size = sizeof(SANE_Word),
                                                  .cap = settable,
                                                  .constraint_type = SANE_CONSTRAINT_RANGE,
                                                  .constraint.range = k % 2 ? &bedY : &bedX};
    d->optionCount = kOptPageWidth;
    if (d->model->pageOptions) {
        const SANE_Int cap = settable | (IsFlatbed(d) ? SANE_CAP_INACTIVE : 0);
        o[kOptPageWidth] = (SANE_Option_Descriptor){.name = SANE_NAME_PAGE_WIDTH,
                                                    .title = SANE_TITLE_PAGE_WIDTH,
                                                    .desc = "",
                                                    .type = SANE_TYPE_FIXED,
                                                    .unit = SANE_UNIT_MM,
                                                    .size = sizeof(SANE_Word),
                                                    .cap = cap,
                                                    .constraint_type = SANE_CONSTRAINT_RANGE,
                                                    .constraint.range = &pageX};
        o[kOptPageHeight] = o[kOptPageWidth];
        o[kOptPageHeight].name = SANE_NAME_PAGE_HEIGHT;
        o[kOptPageHeight].title = SANE_TITLE_PAGE_HEIGHT;
        o[kOptPageHeight].constraint.range = &pageY;
        d->optionCount = kOptions;
    }
}

SANE_Status sane_velorixfeeder_open(SANE_String_Const name, SANE_Handle* handle) {
    for (int i = 0; i < kModels; ++i)
        if (strcmp(name, models[i].name) == 0 || (!*name && i == 0)) {
            Device* d = calloc(1, sizeof *d);
            if (!d)
                return SANE_STATUS_NO_MEM;
            d->model = &models[i];
            d->resolution = 75;
            d->area[2] = bedX.max;
            d->area[3] = bedY.max;
            d->page[0] = SANE_FIX(215.9);
            d->page[1] = SANE_FIX(279.4);
            d->lineY = -1;
            Describe(d);
            *handle = d;
            return SANE_STATUS_GOOD;
        }
    return SANE_STATUS_INVAL;
}

void sane_velorixfeeder_close(SANE_Handle handle) {
    Device* d = handle;
    free(d->line);
    free(d);
}

const SANE_Option_Descriptor* sane_velorixfeeder_get_option_descriptor(SANE_Handle h, SANE_Int n) {
    Device* d = h;
    return n >= 0 && n < d->optionCount ? &d->options[n] : NULL;
}

static SANE_Word* Fixed(Device* d, int n) {
    if (n >= kOptTlX && n <= kOptBrY)
        return &d->area[n - kOptTlX];
    return &d->page[n - kOptPageWidth];
}

SANE_Status sane_velorixfeeder_control_option(SANE_Handle h, SANE_Int n, SANE_Action action,
                                              void* value, SANE_Int* info) {
    Device* d = h;
    if (info)
        *info = 0;
    if (d->scanning || n < 0 || n >= d->optionCount)
        return SANE_STATUS_INVAL;
    if (action == SANE_ACTION_GET_VALUE) {
        if (n == kOptCount)
            *(SANE_Word*)value = d->optionCount;
        else if (n == kOptMode)
            strcpy(value, modes[d->color]);
        else if (n == kOptResolution)
            *(SANE_Word*)value = d->resolution;
        else if (n == kOptSource)
            strcpy(value, d->model->sources[d->source]);
        else
            *(SANE_Word*)value = *Fixed(d, n);
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_SET_VALUE || n == kOptCount ||
        (d->options[n].cap & SANE_CAP_INACTIVE))
        return SANE_STATUS_INVAL;
    if (n == kOptMode || n == kOptSource) {
        SANE_String_Const const* choices = d->options[n].constraint.string_list;
        for (int m = 0; choices[m]; ++m)
            if (strcmp(value, choices[m]) == 0) {
                if (n == kOptMode) {
                    d->color = m;
                } else if (d->source != m) {
                    d->source = m;
                    d->backNext = 0; /* a sheet half read is ejected */
                    Describe(d);
                }
                if (info)
                    *info =
                        SANE_INFO_RELOAD_PARAMS | (n == kOptSource ? SANE_INFO_RELOAD_OPTIONS : 0);
                return SANE_STATUS_GOOD;
            }
        return SANE_STATUS_INVAL;
    }
    const SANE_Word v = *(SANE_Word*)value;
    const SANE_Range* r = d->options[n].constraint.range;
    if (v < r->min || v > r->max)
        return SANE_STATUS_INVAL;
    if (n == kOptResolution)
        d->resolution = v;
    else
        *Fixed(d, n) = v;
    if (info)
        *info = SANE_INFO_RELOAD_PARAMS;
    return SANE_STATUS_GOOD;
}

static int Pixels(SANE_Word mm, SANE_Word dpi) {
    return (int)(SANE_UNFIX(mm) / 25.4 * dpi);
}

SANE_Status sane_velorixfeeder_get_parameters(SANE_Handle h, SANE_Parameters* p) {
    Device* d = h;
    if (d->scanning) {
        *p = d->params;
        return SANE_STATUS_GOOD;
    }
    p->format = d->color ? SANE_FRAME_RGB : SANE_FRAME_GRAY;
    p->last_frame = SANE_TRUE;
    p->depth = 8;
    if (!IsFlatbed(d) && d->model->pageOptions) {
        p->pixels_per_line = Pixels(d->page[0], d->resolution);
        p->lines = Pixels(d->page[1], d->resolution);
    } else {
        p->pixels_per_line = Pixels(d->area[2] - d->area[0], d->resolution);
        p->lines = Pixels(d->area[3] - d->area[1], d->resolution);
    }
    if (p->pixels_per_line < 1)
        p->pixels_per_line = 1;
    if (p->lines < 1)
        p->lines = 1;
    p->bytes_per_line = p->pixels_per_line * (d->color ? 3 : 1);
    return SANE_STATUS_GOOD;
}

static void LogStart(Device* d) {
    const char* file = getenv("VELORIXFEEDER_LOG");
    FILE* log = file ? fopen(file, "a") : NULL;
    if (!log)
        return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    fprintf(log, "%d %.6f\n", ++d->started, (double)now.tv_sec + (double)now.tv_nsec / 1e9);
    fclose(log);
}

SANE_Status sane_velorixfeeder_start(SANE_Handle h) {
    Device* d = h;
    if (d->scanning)
        return SANE_STATUS_DEVICE_BUSY;
    d->jamming = 0;
    if (IsFlatbed(d)) {
        d->side = 2;
    } else if (d->backNext) {
        d->side = 1;
        d->backNext = 0;
    } else {
        if (!d->loaded)
            Load(d);
        if (d->left == 0) {
            d->loaded = 0; /* more paper is put in for the next start */
            return SANE_STATUS_NO_DOCS;
        }
        ++d->position;
        if (d->model->behaviour == kCover && d->position == d->failAt) {
            d->loaded = 0;
            return SANE_STATUS_COVER_OPEN;
        }
        --d->left;
        ++d->sheet;
        d->side = 0;
        d->jamming = d->model->behaviour == kJam && d->position == d->failAt;
    }
    LogStart(d);
    if (d->feedMs > 0 && d->side != 2)
        usleep((useconds_t)(d->feedMs * 1000));
    sane_velorixfeeder_get_parameters(h, &d->params);
    d->scanning = 1;
    d->sent = 0;
    d->lineY = -1;
    free(d->line);
    d->line = malloc((size_t)d->params.bytes_per_line);
    return d->line ? SANE_STATUS_GOOD : SANE_STATUS_NO_MEM;
}

/* A 3 x 5 font: digits, R and V, rows top-down, three bits a row, the leftmost the highest. */
static const unsigned char glyphs[12][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {6, 5, 6, 5, 5}, {5, 5, 5, 5, 2},
};

static unsigned Noise(unsigned x, unsigned y, unsigned seed) {
    unsigned v = x * 73856093u ^ y * 19349663u ^ seed * 83492791u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    return v ^ (v >> 15);
}

/* The ink of one pixel: 0 paper, 1 ink. */
static int Ink(const Device* d, int x, int y, int w, int hgt, const char* label, int code) {
    if (y >= hgt * 4 / 100 && y < hgt * 10 / 100 && x >= w / 10 && x < w * 9 / 10) {
        const int box = (x - w / 10) / (w / 10 > 0 ? w / 10 : 1);
        const int inBox = (x - w / 10) % (w / 10 > 0 ? w / 10 : 1);
        if (box < 8 && inBox < (w / 10) * 8 / 10)
            return (code >> (7 - box)) & 1;
        return 0;
    }
    const int s = w / 20 > 0 ? w / 20 : 1;
    const int y0 = hgt * 30 / 100;
    if (y < y0 || y >= y0 + 5 * s || x < w / 10)
        return 0;
    const int col = (x - w / 10) / s, row = (y - y0) / s;
    const int ch = col / 4, bit = col % 4;
    if (bit == 3 || ch >= (int)strlen(label))
        return 0;
    const char c = label[ch];
    const int g = c == 'R' ? 10 : c == 'V' ? 11 : c - '0';
    (void)d;
    return (glyphs[g][row] >> (2 - bit)) & 1;
}

static void RenderLine(Device* d, int y) {
    const SANE_Parameters* p = &d->params;
    const int w = p->pixels_per_line, hgt = p->lines;
    const int channels = d->color ? 3 : 1;
    char label[16];
    int code;
    if (d->side == 2) {
        snprintf(label, sizeof label, "0");
        code = 255;
    } else {
        snprintf(label, sizeof label, "%d%c", d->sheet, d->side ? 'V' : 'R');
        code = (d->sheet * 2 + d->side) & 0xff;
    }
    const int blank = d->side == 1 && d->blankBacks;
    for (int x = 0; x < w; ++x) {
        SANE_Byte rgb[3] = {255, 255, 255};
        if (blank) {
            /* paper grain and a few specks of dust */
            const unsigned n = Noise((unsigned)x, (unsigned)y, (unsigned)d->sheet);
            int v = 243 + (int)(n % 9);
            if (n % 20011u == 0)
                v = 90;
            rgb[0] = rgb[1] = rgb[2] = (SANE_Byte)v;
        } else if (Ink(d, x, y, w, hgt, label, code)) {
            rgb[0] = rgb[1] = 0;
            rgb[2] = d->side == 1 ? 140 : 0; /* backs in dark blue */
        }
        if (channels == 3)
            memcpy(d->line + 3 * x, rgb, 3);
        else
            d->line[x] = (SANE_Byte)((rgb[0] * 299 + rgb[1] * 587 + rgb[2] * 114) / 1000);
    }
    d->lineY = y;
}

SANE_Status sane_velorixfeeder_read(SANE_Handle h, SANE_Byte* data, SANE_Int max, SANE_Int* len) {
    Device* d = h;
    *len = 0;
    if (!d->scanning)
        return d->sent > 0 && d->sent >= (long long)d->params.lines * d->params.bytes_per_line
                   ? SANE_STATUS_EOF
                   : SANE_STATUS_CANCELLED;
    const long long bpl = d->params.bytes_per_line;
    const long long total = (long long)d->params.lines * bpl;
    if (d->jamming && d->sent >= total / 2) {
        d->scanning = 0;
        d->loaded = 0;
        d->backNext = 0;
        return SANE_STATUS_JAMMED;
    }
    if (d->sent >= total) {
        d->scanning = 0; /* the next side may start at once */
        if (d->side == 0 && IsDuplex(d))
            d->backNext = 1;
        return SANE_STATUS_EOF;
    }
    if (d->readUs > 0)
        usleep((useconds_t)d->readUs);
    long long n = total - d->sent;
    if (n > max)
        n = max;
    long long done = 0;
    while (done < n) {
        const long long at = d->sent + done;
        const int y = (int)(at / bpl);
        if (y != d->lineY)
            RenderLine(d, y);
        const long long from = at % bpl;
        long long chunk = bpl - from;
        if (chunk > n - done)
            chunk = n - done;
        memcpy(data + done, d->line + from, (size_t)chunk);
        done += chunk;
    }
    d->sent += n;
    *len = (SANE_Int)n;
    return SANE_STATUS_GOOD;
}

void sane_velorixfeeder_cancel(SANE_Handle h) {
    Device* d = h;
    /* Paper under way is ejected: a back not yet read is lost with its sheet. */
    d->scanning = 0;
    d->backNext = 0;
}

SANE_Status sane_velorixfeeder_set_io_mode(SANE_Handle h, SANE_Bool nonBlocking) {
    (void)h;
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_velorixfeeder_get_select_fd(SANE_Handle h, SANE_Int* fd) {
    (void)h;
    (void)fd;
    return SANE_STATUS_UNSUPPORTED;
}
