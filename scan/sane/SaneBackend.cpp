#include "SaneBackend.h"

#include "SaneFrames.h"
#include "SaneTransfer.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>

namespace velorix::scan::sane {

namespace {

struct DeviceRecord {
    std::string name, vendor, model, type;
};

// ---------------------------------------------------------------------------------------------
// libsane lifetime: initialised while any object of this backend exists, exited with the last.
// It honours SANE_CONFIG_DIR as libsane reads it; we never set it.

class SaneLibrary {
public:
    SaneLibrary() {
        SANE_Int version = 0;
        const SANE_Status status = sane_init(&version, nullptr);
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
    }
    ~SaneLibrary() { sane_exit(); }
    SaneLibrary(const SaneLibrary&) = delete;
    SaneLibrary& operator=(const SaneLibrary&) = delete;

private:
    std::vector<DeviceRecord> devices_;
    bool listed_ = false;
    std::chrono::steady_clock::time_point listedAt_;

public:
    // Asking every backend takes seconds, and the scan command lists twice in a row (reconnect,
    // then reopen): a list younger than this is reused.
    static constexpr std::chrono::seconds kListFresh{10};

    std::vector<DeviceRecord> Devices() {
        const auto now = std::chrono::steady_clock::now();
        if (listed_ && now - listedAt_ < kListFresh)
            return devices_;
        const SANE_Device** list = nullptr;
        const SANE_Status status = sane_get_devices(&list, SANE_FALSE);
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
        std::vector<DeviceRecord> recs;
        for (const SANE_Device** d = list; d && *d; ++d)
            recs.push_back({(*d)->name ? (*d)->name : "", (*d)->vendor ? (*d)->vendor : "",
                            (*d)->model ? (*d)->model : "", (*d)->type ? (*d)->type : ""});
        devices_ = recs;
        listed_ = true;
        listedAt_ = std::chrono::steady_clock::now();
        return recs;
    }

    static std::shared_ptr<SaneLibrary> Get() {
        static std::mutex mutex;
        static std::weak_ptr<SaneLibrary> current;
        std::lock_guard lock(mutex);
        auto lib = current.lock();
        if (!lib) {
            lib = std::make_shared<SaneLibrary>();
            current = lib;
        }
        return lib;
    }
};

// An open device; closing it is the last thing done with it.
class SaneHandle {
public:
    SaneHandle(std::shared_ptr<SaneLibrary> lib, const std::string& name) : lib_(std::move(lib)) {
        const SANE_Status status = sane_open(name.c_str(), &handle_);
        if (status != SANE_STATUS_GOOD)
            ThrowSane(status);
    }
    ~SaneHandle() { sane_close(handle_); }
    SaneHandle(const SaneHandle&) = delete;
    SaneHandle& operator=(const SaneHandle&) = delete;
    SANE_Handle get() const { return handle_; }

private:
    std::shared_ptr<SaneLibrary> lib_; // declared first: outlives the handle
    SANE_Handle handle_ = nullptr;
};

bool ContainsNoCase(const std::string& text, const std::string& part) {
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    return it != text.end();
}

[[noreturn]] void Refuse() {
    ThrowSane(SANE_STATUS_INVAL);
}

// ---------------------------------------------------------------------------------------------
// Option access by SANE option name.

class Options {
public:
    explicit Options(SANE_Handle h) : h_(h) {}

    int Find(const char* name) const {
        SANE_Int count = 0;
        if (sane_control_option(h_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
            return -1;
        for (int i = 1; i < count; ++i) {
            const SANE_Option_Descriptor* d = sane_get_option_descriptor(h_, i);
            if (d && d->name && std::strcmp(d->name, name) == 0 && SANE_OPTION_IS_ACTIVE(d->cap))
                return i;
        }
        return -1;
    }
    const SANE_Option_Descriptor* Desc(int i) const { return sane_get_option_descriptor(h_, i); }
    bool Has(const char* name) const { return Find(name) >= 0; }
    bool Settable(const char* name) const {
        const int i = Find(name);
        return i >= 0 && SANE_OPTION_IS_SETTABLE(Desc(i)->cap);
    }
    bool IsNumber(int i) const {
        const auto* d = Desc(i);
        return d && (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED) &&
               d->size == static_cast<SANE_Int>(sizeof(SANE_Word));
    }

    double GetNumber(int i) const {
        SANE_Word w = 0;
        Check(sane_control_option(h_, i, SANE_ACTION_GET_VALUE, &w, nullptr));
        return Desc(i)->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : w;
    }
    std::string GetString(int i) const {
        std::vector<char> buf(static_cast<std::size_t>(std::max<SANE_Int>(Desc(i)->size, 1)) + 1,
                              0);
        Check(sane_control_option(h_, i, SANE_ACTION_GET_VALUE, buf.data(), nullptr));
        return buf.data();
    }
    // Returns the value the device took (it may round).
    double SetNumber(int i, double value) {
        SANE_Word w = Desc(i)->type == SANE_TYPE_FIXED ? SANE_FIX(value)
                                                       : static_cast<SANE_Word>(std::lround(value));
        Check(sane_control_option(h_, i, SANE_ACTION_SET_VALUE, &w, nullptr));
        return GetNumber(i);
    }
    void SetString(int i, const std::string& value) {
        std::vector<char> buf(static_cast<std::size_t>(std::max<SANE_Int>(Desc(i)->size, 1)) + 1,
                              0);
        if (value.size() >= buf.size())
            Refuse();
        std::memcpy(buf.data(), value.data(), value.size());
        Check(sane_control_option(h_, i, SANE_ACTION_SET_VALUE, buf.data(), nullptr));
    }
    // A value given as text, read by the option's type; an absent option is passed over.
    void SetText(const std::string& name, const std::string& text) {
        const int i = Find(name.c_str());
        if (i < 0)
            return;
        const auto* d = Desc(i);
        switch (d->type) {
        case SANE_TYPE_STRING:
            SetString(i, text);
            return;
        case SANE_TYPE_BOOL: {
            SANE_Word w;
            if (text == "yes" || text == "true" || text == "1")
                w = SANE_TRUE;
            else if (text == "no" || text == "false" || text == "0")
                w = SANE_FALSE;
            else
                Refuse();
            Check(sane_control_option(h_, i, SANE_ACTION_SET_VALUE, &w, nullptr));
            return;
        }
        case SANE_TYPE_INT:
        case SANE_TYPE_FIXED: {
            if (!IsNumber(i))
                Refuse();
            double value = 0; // C locale, whatever the user's
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
                Refuse();
            if (!Allows(i, value))
                Refuse();
            SetNumber(i, value);
            return;
        }
        default:
            Refuse();
        }
    }
    std::vector<std::string> StringList(int i) const {
        std::vector<std::string> list;
        const auto* d = Desc(i);
        if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST)
            for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s)
                list.emplace_back(*s);
        return list;
    }
    // Largest value the constraint allows; 0 without a constraint.
    double MaxNumber(int i) const {
        const auto* d = Desc(i);
        auto unfix = [d](SANE_Word w) { return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : w; };
        if (d->constraint_type == SANE_CONSTRAINT_RANGE)
            return unfix(d->constraint.range->max);
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            double best = 0;
            for (SANE_Int k = 1; k <= d->constraint.word_list[0]; ++k)
                best = std::max(best, unfix(d->constraint.word_list[k]));
            return best;
        }
        return 0;
    }
    bool Allows(int i, double value) const {
        const auto* d = Desc(i);
        const SANE_Word w = d->type == SANE_TYPE_FIXED ? SANE_FIX(value)
                                                       : static_cast<SANE_Word>(std::lround(value));
        if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
            const SANE_Range* r = d->constraint.range;
            if (w < r->min || w > r->max)
                return false;
            return r->quant == 0 || (w - r->min) % r->quant == 0;
        }
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            for (SANE_Int k = 1; k <= d->constraint.word_list[0]; ++k)
                if (d->constraint.word_list[k] == w)
                    return true;
            return false;
        }
        return true;
    }

private:
    static void Check(SANE_Status s) {
        if (s != SANE_STATUS_GOOD)
            ThrowSane(s);
    }
    SANE_Handle h_;
};

// ---------------------------------------------------------------------------------------------
// The connected device and the state the property ids need beyond SANE's options.

class SaneDevice : public IDevice, public std::enable_shared_from_this<SaneDevice> {
public:
    SaneDevice(std::shared_ptr<SaneLibrary> lib, const std::string& name,
               const std::vector<SaneOptionValue>& presets)
        : handle_(std::move(lib), name) {
        Options o = Opts();
        for (const SaneOptionValue& preset : presets)
            o.SetText(preset.name, preset.value);
    }

    std::unique_ptr<IProperties> Properties() override;
    std::unique_ptr<IItems> Items() override;

    SANE_Handle Handle() const { return handle_.get(); }
    Options Opts() const { return Options(handle_.get()); }

    // Scan area in pixels at the current resolution, as last written (x, y, width, height).
    int area[4] = {0, 0, 0, 0};
    bool areaWritten[4] = {false, false, false, false};
    int pages = 1;
    int pageSize = wia::PAGE_A4;
    std::string format = wia::ImgFmt_BMP;

private:
    SaneHandle handle_;
};

// ---------------------------------------------------------------------------------------------
// The mapping of property ids to SANE. Each id is one row; an id whose row says it does not
// exist on this device is not in the collection at all.
//
//  id    scope   SANE side                                 value
//  3074  device  range of "br-x" (mm), else the frame       bed width, thousandths of an inch
//  3075  device  range of "br-y" (mm), else the frame       bed height, thousandths of an inch
//  3091  device  largest "y-resolution"/"resolution"       optical resolution, dpi
//  3096  device  kept by us; only with a feeder "source"   pages per transfer
//  3097  device  kept by us; only with a feeder "source"   page size (0 = A4)
//  4103  item    "mode" Color / Gray / Lineart             3 / 2 / 0
//  4104  item    "depth" (per sample)                      bits per pixel: 24 colour, 8 grey
//  4106  item    kept by us                                format id; transfers give BMP
//  6146  item    "mode" Color / Gray                       intent 1 / 2
//  6147  item    "x-resolution" or "resolution"            dpi; values outside the constraint
//  6148  item    "y-resolution" or "resolution"              are refused (invalid argument)
//  6149  item    "tl-x"                                    left, pixels at the x resolution
//  6150  item    "tl-y"                                    top, pixels at the y resolution
//  6151  item    "br-x" = tl-x + width                     width, pixels
//  6152  item    "br-y" = tl-y + height                    height, pixels
//  6154  item    "brightness", scaled from -100..100       only when the option exists
//  6155  item    "contrast", scaled from -100..100         only when the option exists
//
// A device without the four corner options (a file reader, a sheet-feeder, a camera) scans its
// whole area: its bed is the frame it announces at the current resolution, the area reads as
// that whole frame and writes to it are taken without effect.

enum class Scope { Device, Item };

struct Mapping {
    int id;
    Scope scope;
    bool (*exists)(SaneDevice&);
    bool (*writable)(SaneDevice&);
    TVariant (*get)(SaneDevice&);
    void (*set)(SaneDevice&, const TVariant&);
};

constexpr double MmPerInch = 25.4;

const char* XResName(const Options& o) {
    return o.Has(SANE_NAME_SCAN_X_RESOLUTION) ? SANE_NAME_SCAN_X_RESOLUTION
                                              : SANE_NAME_SCAN_RESOLUTION;
}
const char* YResName(const Options& o) {
    return o.Has(SANE_NAME_SCAN_Y_RESOLUTION) ? SANE_NAME_SCAN_Y_RESOLUTION
                                              : SANE_NAME_SCAN_RESOLUTION;
}

bool IsMmGeometry(const Options& o, const char* name) {
    const int i = o.Find(name);
    if (i < 0 || !o.IsNumber(i))
        return false;
    const auto* d = o.Desc(i);
    return d->unit == SANE_UNIT_MM && d->constraint_type == SANE_CONSTRAINT_RANGE;
}

bool HasFeeder(SaneDevice& dev) {
    Options o = dev.Opts();
    const int i = o.Find(SANE_NAME_SCAN_SOURCE);
    if (i < 0)
        return false;
    for (const std::string& s : o.StringList(i))
        if (ContainsNoCase(s, "feeder") || ContainsNoCase(s, "adf"))
            return true;
    return false;
}

TVariant BedSize(SaneDevice& dev, const char* option) {
    Options o = dev.Opts();
    if (!IsMmGeometry(o, option))
        Refuse();
    return static_cast<std::int32_t>(std::lround(o.MaxNumber(o.Find(option)) / MmPerInch * 1000));
}

double Resolution(const Options& o, const char* name) {
    const int i = o.Find(name);
    if (i < 0)
        Refuse();
    return o.GetNumber(i);
}

// Mode strings differ between backends; these are the usual spellings.
enum class Mode { Color, Gray, Lineart, Other };

Mode CurrentMode(SaneDevice& dev) {
    Options o = dev.Opts();
    const int i = o.Find(SANE_NAME_SCAN_MODE);
    if (i < 0) {
        SANE_Parameters p;
        if (sane_get_parameters(dev.Handle(), &p) == SANE_STATUS_GOOD &&
            p.format != SANE_FRAME_GRAY)
            return Mode::Color;
        return Mode::Gray;
    }
    const std::string m = o.GetString(i);
    if (ContainsNoCase(m, "color") || ContainsNoCase(m, "colour"))
        return Mode::Color;
    if (ContainsNoCase(m, "gray") || ContainsNoCase(m, "grey"))
        return Mode::Gray;
    if (ContainsNoCase(m, "lineart") || ContainsNoCase(m, "binary"))
        return Mode::Lineart;
    return Mode::Other;
}

void SetMode(SaneDevice& dev, Mode mode) {
    Options o = dev.Opts();
    const int i = o.Find(SANE_NAME_SCAN_MODE);
    if (i < 0)
        Refuse();
    const std::vector<std::string> list = o.StringList(i);
    auto pick = [&](std::initializer_list<const char*> words) -> std::string {
        for (const char* w : words)
            for (const std::string& s : list)
                if (ContainsNoCase(s, w))
                    return s;
        Refuse();
    };
    switch (mode) {
    case Mode::Color:
        o.SetString(i, pick({SANE_VALUE_SCAN_MODE_COLOR, "colour"}));
        break;
    case Mode::Gray:
        o.SetString(i, pick({SANE_VALUE_SCAN_MODE_GRAY, "grey"}));
        break;
    case Mode::Lineart:
        o.SetString(i, pick({SANE_VALUE_SCAN_MODE_LINEART, "binary"}));
        break;
    case Mode::Other:
        Refuse();
    }
}

bool ModeSettable(SaneDevice& dev) {
    return dev.Opts().Settable(SANE_NAME_SCAN_MODE);
}

int DepthPerSample(SaneDevice& dev) {
    Options o = dev.Opts();
    const int i = o.Find(SANE_NAME_BIT_DEPTH);
    if (i >= 0)
        return static_cast<int>(o.GetNumber(i));
    SANE_Parameters p;
    if (sane_get_parameters(dev.Handle(), &p) == SANE_STATUS_GOOD)
        return p.depth;
    return 8;
}

// A numeric option with a range, its bounds in the option's own unit.
struct RangedOption {
    int index;
    double lo, hi;
    double quant;
};

bool IsRanged(const Options& o, int i) {
    return i >= 0 && o.IsNumber(i) && o.Desc(i)->constraint_type == SANE_CONSTRAINT_RANGE;
}

RangedOption FindRanged(const Options& o, const char* name) {
    const int i = o.Find(name);
    if (!IsRanged(o, i))
        Refuse();
    const auto* r = o.Desc(i)->constraint.range;
    const bool fixed = o.Desc(i)->type == SANE_TYPE_FIXED;
    auto num = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : w; };
    return {i, num(r->min), num(r->max), num(r->quant)};
}

// -100..100 onto the option's range, and back.
TVariant GetScaled(SaneDevice& dev, const char* name) {
    Options o = dev.Opts();
    const RangedOption r = FindRanged(o, name);
    if (r.hi <= r.lo)
        return std::int32_t{0};
    return static_cast<std::int32_t>(
        std::lround((o.GetNumber(r.index) - r.lo) * 200 / (r.hi - r.lo) - 100));
}

void SetScaled(SaneDevice& dev, const char* name, const TVariant& value) {
    const int v = VariantToInt(value);
    if (v < -100 || v > 100)
        Refuse();
    Options o = dev.Opts();
    const RangedOption r = FindRanged(o, name);
    double target = r.lo + (v + 100) * (r.hi - r.lo) / 200;
    if (r.quant > 0)
        target = r.lo + std::round((target - r.lo) / r.quant) * r.quant;
    o.SetNumber(r.index, std::clamp(target, r.lo, r.hi));
}

bool ScaledExists(SaneDevice& dev, const char* name) {
    Options o = dev.Opts();
    return IsRanged(o, o.Find(name));
}

void SetResolution(SaneDevice& dev, const char* name, const TVariant& value) {
    const int dpi = VariantToInt(value);
    Options o = dev.Opts();
    const int i = o.Find(name);
    if (i < 0 || !o.Allows(i, dpi))
        Refuse();
    if (std::lround(o.SetNumber(i, dpi)) != dpi)
        Refuse();
}

// Writes the pixel rectangle as SANE's millimetre corners at the current resolutions.
void ApplyArea(SaneDevice& dev) {
    Options o = dev.Opts();
    const double xres = Resolution(o, XResName(o));
    const double yres = Resolution(o, YResName(o));
    if (xres <= 0 || yres <= 0)
        Refuse();
    const char* names[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                            SANE_NAME_SCAN_BR_Y};
    int idx[4];
    for (int k = 0; k < 4; ++k) {
        idx[k] = o.Find(names[k]);
        if (idx[k] < 0)
            Refuse();
    }
    auto clampTo = [&](int i, double mm) {
        const auto* r = o.Desc(i)->constraint.range;
        const bool fixed = o.Desc(i)->type == SANE_TYPE_FIXED;
        const double lo = fixed ? SANE_UNFIX(r->min) : r->min;
        const double hi = fixed ? SANE_UNFIX(r->max) : r->max;
        return std::clamp(mm, lo, hi);
    };
    const double left = dev.area[0] * MmPerInch / xres;
    const double top = dev.area[1] * MmPerInch / yres;
    const double right = (dev.area[0] + static_cast<double>(dev.area[2])) * MmPerInch / xres;
    const double bottom = (dev.area[1] + static_cast<double>(dev.area[3])) * MmPerInch / yres;
    o.SetNumber(idx[0], clampTo(idx[0], left));
    o.SetNumber(idx[1], clampTo(idx[1], top));
    o.SetNumber(idx[2], clampTo(idx[2], right));
    o.SetNumber(idx[3], clampTo(idx[3], bottom));
}

bool AreaExists(SaneDevice& dev) {
    Options o = dev.Opts();
    return IsMmGeometry(o, SANE_NAME_SCAN_TL_X) && IsMmGeometry(o, SANE_NAME_SCAN_TL_Y) &&
           IsMmGeometry(o, SANE_NAME_SCAN_BR_X) && IsMmGeometry(o, SANE_NAME_SCAN_BR_Y) &&
           o.Has(SANE_NAME_SCAN_RESOLUTION);
}

// The rectangle read back from the device in pixels (what it will really scan).
TVariant GetArea(SaneDevice& dev, int k) {
    Options o = dev.Opts();
    const double res = Resolution(o, (k % 2 == 0) ? XResName(o) : YResName(o));
    auto mm = [&](const char* n) { return o.GetNumber(o.Find(n)); };
    double v = 0;
    switch (k) {
    case 0:
        v = mm(SANE_NAME_SCAN_TL_X);
        break;
    case 1:
        v = mm(SANE_NAME_SCAN_TL_Y);
        break;
    case 2:
        v = mm(SANE_NAME_SCAN_BR_X) - mm(SANE_NAME_SCAN_TL_X);
        break;
    default:
        v = mm(SANE_NAME_SCAN_BR_Y) - mm(SANE_NAME_SCAN_TL_Y);
        break;
    }
    return static_cast<std::int32_t>(std::lround(v * res / MmPerInch));
}

void SetArea(SaneDevice& dev, int k, const TVariant& value) {
    const int v = VariantToInt(value);
    if (v < 0)
        Refuse();
    dev.area[k] = v;
    dev.areaWritten[k] = true;
    // Until all four are known, keep the device's own corners for the others.
    for (int j = 0; j < 4; ++j)
        if (!dev.areaWritten[j])
            dev.area[j] = VariantToInt(GetArea(dev, j));
    ApplyArea(dev);
}

// The frame the device announces now (before a scan, its best estimate). One it cannot tell
// (no paper, an unreadable file) is empty: the scan itself then says what is wrong.
SANE_Parameters AnnouncedFrame(SaneDevice& dev) {
    SANE_Parameters p{};
    if (sane_get_parameters(dev.Handle(), &p) != SANE_STATUS_GOOD)
        return SANE_Parameters{};
    return p;
}

bool WholeAreaOnly(SaneDevice& dev) {
    Options o = dev.Opts();
    if (AreaExists(dev))
        return false;
    const int x = o.Find(XResName(o)), y = o.Find(YResName(o));
    return x >= 0 && y >= 0 && o.IsNumber(x) && o.IsNumber(y);
}

bool BedExists(SaneDevice& dev, const char* corner) {
    return IsMmGeometry(dev.Opts(), corner) || WholeAreaOnly(dev);
}

// In thousandths of an inch: the smallest whole number that the component, computing pixels
// from it at this resolution (thousandths / 1000 * dpi, rounded down), turns back into the
// frame's own pixel count. A plain rounding up falls one pixel short where the quotient is
// exact (29 pixels at 100 dpi: 0.29 * 100 is just under 29). From 1000 dpi up a thousandth is a
// pixel or more, and the bed may read one pixel more than the frame. A height the device does
// not know in advance reads 0.
TVariant FrameBedSize(SaneDevice& dev, bool horizontal) {
    const SANE_Parameters p = AnnouncedFrame(dev);
    Options o = dev.Opts();
    const double res = Resolution(o, horizontal ? XResName(o) : YResName(o));
    const int pixels = horizontal ? p.pixels_per_line : p.lines;
    if (res <= 0 || pixels <= 0)
        return std::int32_t{0};
    auto thousandths = static_cast<std::int32_t>(std::ceil(pixels * 1000.0 / res));
    while (static_cast<std::int32_t>(thousandths / 1000.0 * res) < pixels)
        ++thousandths;
    return thousandths;
}

TVariant Bed(SaneDevice& dev, const char* corner, bool horizontal) {
    if (IsMmGeometry(dev.Opts(), corner))
        return BedSize(dev, corner);
    return FrameBedSize(dev, horizontal);
}

bool AreaMapped(SaneDevice& dev) {
    return AreaExists(dev) || WholeAreaOnly(dev);
}

TVariant AreaValue(SaneDevice& dev, int k) {
    if (AreaExists(dev))
        return GetArea(dev, k);
    if (k < 2)
        return std::int32_t{0};
    const SANE_Parameters p = AnnouncedFrame(dev);
    return static_cast<std::int32_t>(std::max(0, k == 2 ? p.pixels_per_line : p.lines));
}

void WriteArea(SaneDevice& dev, int k, const TVariant& value) {
    if (AreaExists(dev))
        return SetArea(dev, k, value);
    if (VariantToInt(value) < 0)
        Refuse();
}

bool Always(SaneDevice&) {
    return true;
}

const Mapping kMappings[] = {
    {wia::DPS_HORIZONTAL_BED_SIZE, Scope::Device,
     [](SaneDevice& d) { return BedExists(d, SANE_NAME_SCAN_BR_X); },
     [](SaneDevice&) { return false; },
     [](SaneDevice& d) { return Bed(d, SANE_NAME_SCAN_BR_X, true); }, nullptr},
    {wia::DPS_VERTICAL_BED_SIZE, Scope::Device,
     [](SaneDevice& d) { return BedExists(d, SANE_NAME_SCAN_BR_Y); },
     [](SaneDevice&) { return false; },
     [](SaneDevice& d) { return Bed(d, SANE_NAME_SCAN_BR_Y, false); }, nullptr},
    {wia::DPS_OPTICAL_YRES, Scope::Device,
     [](SaneDevice& d) {
         Options o = d.Opts();
         const int i = o.Find(YResName(o));
         return i >= 0 && o.IsNumber(i) && o.MaxNumber(i) > 0;
     },
     [](SaneDevice&) { return false; },
     [](SaneDevice& d) -> TVariant {
         Options o = d.Opts();
         return static_cast<std::int32_t>(std::lround(o.MaxNumber(o.Find(YResName(o)))));
     },
     nullptr},
    {wia::DPS_PAGES, Scope::Device, HasFeeder, HasFeeder,
     [](SaneDevice& d) -> TVariant { return d.pages; },
     [](SaneDevice& d, const TVariant& v) {
         const int n = VariantToInt(v);
         if (n < 0)
             Refuse();
         d.pages = n;
     }},
    {wia::DPS_PAGE_SIZE, Scope::Device, HasFeeder, HasFeeder,
     [](SaneDevice& d) -> TVariant { return d.pageSize; },
     [](SaneDevice& d, const TVariant& v) { d.pageSize = VariantToInt(v); }},
    {wia::IPA_DATATYPE, Scope::Item, Always, ModeSettable,
     [](SaneDevice& d) -> TVariant {
         switch (CurrentMode(d)) {
         case Mode::Color:
             return wia::DATA_COLOR;
         case Mode::Gray:
             return wia::DATA_GRAYSCALE;
         default:
             return 0;
         }
     },
     [](SaneDevice& d, const TVariant& v) {
         switch (VariantToInt(v)) {
         case wia::DATA_COLOR:
             return SetMode(d, Mode::Color);
         case wia::DATA_GRAYSCALE:
             return SetMode(d, Mode::Gray);
         case 0:
             return SetMode(d, Mode::Lineart);
         default:
             Refuse();
         }
     }},
    {wia::IPA_DEPTH, Scope::Item, Always,
     [](SaneDevice& d) { return d.Opts().Settable(SANE_NAME_BIT_DEPTH); },
     [](SaneDevice& d) -> TVariant {
         return DepthPerSample(d) * (CurrentMode(d) == Mode::Color ? 3 : 1);
     },
     [](SaneDevice& d, const TVariant& v) {
         const int bits = VariantToInt(v);
         const int samples = CurrentMode(d) == Mode::Color ? 3 : 1;
         if (bits <= 0 || bits % samples != 0)
             Refuse();
         Options o = d.Opts();
         const int i = o.Find(SANE_NAME_BIT_DEPTH);
         if (i < 0 || !o.Allows(i, bits / samples))
             Refuse();
         o.SetNumber(i, bits / samples);
     }},
    {wia::IPA_FORMAT, Scope::Item, Always, Always,
     [](SaneDevice& d) -> TVariant { return d.format; },
     [](SaneDevice& d, const TVariant& v) {
         if (!std::holds_alternative<std::string>(v))
             Refuse();
         d.format = std::get<std::string>(v);
     }},
    {wia::IPS_CUR_INTENT, Scope::Item, Always, ModeSettable,
     [](SaneDevice& d) -> TVariant {
         const Mode m = CurrentMode(d);
         return m == Mode::Color  ? wia::INTENT_IMAGE_TYPE_COLOR
                : m == Mode::Gray ? wia::INTENT_IMAGE_TYPE_GRAYSCALE
                                  : 0;
     },
     [](SaneDevice& d, const TVariant& v) {
         switch (VariantToInt(v)) {
         case wia::INTENT_IMAGE_TYPE_COLOR:
             return SetMode(d, Mode::Color);
         case wia::INTENT_IMAGE_TYPE_GRAYSCALE:
             return SetMode(d, Mode::Gray);
         default:
             Refuse();
         }
     }},
    {wia::IPS_XRES, Scope::Item, [](SaneDevice& d) { return d.Opts().Has(XResName(d.Opts())); },
     [](SaneDevice& d) { return d.Opts().Settable(XResName(d.Opts())); },
     [](SaneDevice& d) -> TVariant {
         Options o = d.Opts();
         return static_cast<std::int32_t>(std::lround(Resolution(o, XResName(o))));
     },
     [](SaneDevice& d, const TVariant& v) { SetResolution(d, XResName(d.Opts()), v); }},
    {wia::IPS_YRES, Scope::Item, [](SaneDevice& d) { return d.Opts().Has(YResName(d.Opts())); },
     [](SaneDevice& d) { return d.Opts().Settable(YResName(d.Opts())); },
     [](SaneDevice& d) -> TVariant {
         Options o = d.Opts();
         return static_cast<std::int32_t>(std::lround(Resolution(o, YResName(o))));
     },
     [](SaneDevice& d, const TVariant& v) { SetResolution(d, YResName(d.Opts()), v); }},
    {wia::IPS_XPOS, Scope::Item, AreaMapped, AreaMapped,
     [](SaneDevice& d) { return AreaValue(d, 0); },
     [](SaneDevice& d, const TVariant& v) { WriteArea(d, 0, v); }},
    {wia::IPS_YPOS, Scope::Item, AreaMapped, AreaMapped,
     [](SaneDevice& d) { return AreaValue(d, 1); },
     [](SaneDevice& d, const TVariant& v) { WriteArea(d, 1, v); }},
    {wia::IPS_XEXTENT, Scope::Item, AreaMapped, AreaMapped,
     [](SaneDevice& d) { return AreaValue(d, 2); },
     [](SaneDevice& d, const TVariant& v) { WriteArea(d, 2, v); }},
    {wia::IPS_YEXTENT, Scope::Item, AreaMapped, AreaMapped,
     [](SaneDevice& d) { return AreaValue(d, 3); },
     [](SaneDevice& d, const TVariant& v) { WriteArea(d, 3, v); }},
    {wia::IPS_BRIGHTNESS, Scope::Item,
     [](SaneDevice& d) { return ScaledExists(d, SANE_NAME_BRIGHTNESS); },
     [](SaneDevice& d) { return d.Opts().Settable(SANE_NAME_BRIGHTNESS); },
     [](SaneDevice& d) { return GetScaled(d, SANE_NAME_BRIGHTNESS); },
     [](SaneDevice& d, const TVariant& v) { SetScaled(d, SANE_NAME_BRIGHTNESS, v); }},
    {wia::IPS_CONTRAST, Scope::Item,
     [](SaneDevice& d) { return ScaledExists(d, SANE_NAME_CONTRAST); },
     [](SaneDevice& d) { return d.Opts().Settable(SANE_NAME_CONTRAST); },
     [](SaneDevice& d) { return GetScaled(d, SANE_NAME_CONTRAST); },
     [](SaneDevice& d, const TVariant& v) { SetScaled(d, SANE_NAME_CONTRAST, v); }},
};

// Ids travel as decimal text; anything else names no property.
int ParseId(const std::string& id) {
    if (id.empty() || id.size() > 9 ||
        !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stoi(id);
}

std::string NotFound(const std::string& id) {
    return "Propriété " + id + " introuvable";
}

class SaneProperty : public IProperty {
public:
    SaneProperty(std::shared_ptr<SaneDevice> dev, const Mapping& m) : dev_(std::move(dev)), m_(m) {}
    TVariant Value() const override { return m_.get(*dev_); }
    void SetValue(const TVariant& value) override {
        if (!m_.set || !m_.writable(*dev_))
            ThrowSane(SANE_STATUS_ACCESS_DENIED);
        m_.set(*dev_, value);
    }
    bool IsReadOnly() const override { return !m_.set || !m_.writable(*dev_); }

private:
    std::shared_ptr<SaneDevice> dev_;
    const Mapping& m_;
};

class SaneProperties : public IProperties {
public:
    SaneProperties(std::shared_ptr<SaneDevice> dev, Scope scope)
        : dev_(std::move(dev)), scope_(scope) {}
    bool Exists(const std::string& id) override { return Find(id) != nullptr; }
    std::unique_ptr<IProperty> Item(const std::string& id) override {
        const Mapping* m = Find(id);
        if (!m)
            throw EPlatformError(NotFound(id));
        return std::make_unique<SaneProperty>(dev_, *m);
    }

private:
    const Mapping* Find(const std::string& id) {
        const int n = ParseId(id);
        for (const Mapping& m : kMappings)
            if (m.id == n && m.scope == scope_)
                return m.exists(*dev_) ? &m : nullptr;
        return nullptr;
    }
    std::shared_ptr<SaneDevice> dev_;
    Scope scope_;
};

class SaneItem : public IItem {
public:
    explicit SaneItem(std::shared_ptr<SaneDevice> dev) : dev_(std::move(dev)) {}
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<SaneProperties>(dev_, Scope::Item);
    }
    SaneDevice& Device() const { return *dev_; }

private:
    std::shared_ptr<SaneDevice> dev_;
};

// A SANE device is one flatbed (or feeder) item.
class SaneItems : public IItems {
public:
    explicit SaneItems(std::shared_ptr<SaneDevice> dev) : dev_(std::move(dev)) {}
    int Count() override { return 1; }
    std::unique_ptr<IItem> Item(int index) override {
        if (index != 1)
            ThrowSane(SANE_STATUS_INVAL);
        return std::make_unique<SaneItem>(dev_);
    }

private:
    std::shared_ptr<SaneDevice> dev_;
};

std::unique_ptr<IProperties> SaneDevice::Properties() {
    return std::make_unique<SaneProperties>(shared_from_this(), Scope::Device);
}
std::unique_ptr<IItems> SaneDevice::Items() {
    return std::make_unique<SaneItems>(shared_from_this());
}

// ---------------------------------------------------------------------------------------------
// Device list.

class NameProperty : public IProperty {
public:
    explicit NameProperty(std::string text) : text_(std::move(text)) {}
    TVariant Value() const override { return text_; }
    void SetValue(const TVariant&) override { ThrowSane(SANE_STATUS_ACCESS_DENIED); }
    bool IsReadOnly() const override { return true; }

private:
    std::string text_;
};

class InfoProperties : public IProperties {
public:
    explicit InfoProperties(std::string listed) : listed_(std::move(listed)) {}
    bool Exists(const std::string& id) override { return ParseId(id) == wia::DIP_DEV_NAME; }
    std::unique_ptr<IProperty> Item(const std::string& id) override {
        if (!Exists(id))
            throw EPlatformError(NotFound(id));
        return std::make_unique<NameProperty>(listed_);
    }

private:
    std::string listed_;
};

class SaneDeviceInfo : public IDeviceInfo {
public:
    SaneDeviceInfo(std::shared_ptr<SaneLibrary> lib, DeviceRecord rec,
                   std::shared_ptr<const std::vector<SaneOptionValue>> presets)
        : lib_(std::move(lib)), rec_(std::move(rec)), presets_(std::move(presets)) {}
    int Type() override {
        if (ContainsNoCase(rec_.type, "video"))
            return VideoDeviceType;
        if (ContainsNoCase(rec_.type, "camera"))
            return CameraDeviceType;
        return ScannerDeviceType;
    }
    // Readable and unique: vendor and model as the backend tells them, then SANE's device name.
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<InfoProperties>(rec_.vendor + " " + rec_.model + " (" + rec_.name +
                                                ")");
    }
    // Opening a network scanner can take a while too.
    std::shared_ptr<IDevice> Connect() override {
        std::shared_ptr<IDevice> device;
        RunWithProgress("Scanners", "Connexion au scanner…", nullptr,
                        [&] { device = std::make_shared<SaneDevice>(lib_, rec_.name, *presets_); });
        return device;
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    DeviceRecord rec_;
    std::shared_ptr<const std::vector<SaneOptionValue>> presets_;
};

class SaneDeviceInfos : public IDeviceInfos {
public:
    SaneDeviceInfos(std::shared_ptr<SaneLibrary> lib, std::vector<DeviceRecord> recs,
                    std::shared_ptr<const std::vector<SaneOptionValue>> presets)
        : lib_(std::move(lib)), recs_(std::move(recs)), presets_(std::move(presets)) {}
    int Count() override { return static_cast<int>(recs_.size()); }
    std::unique_ptr<IDeviceInfo> Item(int index) override {
        if (index < 1 || index > Count())
            ThrowSane(SANE_STATUS_INVAL);
        return std::make_unique<SaneDeviceInfo>(lib_, recs_[static_cast<std::size_t>(index - 1)],
                                                presets_);
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    std::vector<DeviceRecord> recs_;
    std::shared_ptr<const std::vector<SaneOptionValue>> presets_;
};

class SaneDeviceManager : public IDeviceManager {
public:
    SaneDeviceManager(std::shared_ptr<SaneLibrary> lib,
                      std::shared_ptr<const std::vector<SaneOptionValue>> presets)
        : lib_(std::move(lib)), presets_(std::move(presets)) {}
    std::unique_ptr<IDeviceInfos> DeviceInfos() override {
        std::vector<DeviceRecord> recs;
        // Asking every backend can take seconds: the user sees a window meanwhile.
        RunWithProgress("Scanners", "Recherche des scanners…", nullptr,
                        [&] { recs = lib_->Devices(); });
        return std::make_unique<SaneDeviceInfos>(lib_, std::move(recs), presets_);
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    std::shared_ptr<const std::vector<SaneOptionValue>> presets_;
};

// ---------------------------------------------------------------------------------------------
// Transfer.

// The scan's picture; its BMP file is made only when a file is asked for.
class SaneImageFile : public IImageFile {
public:
    explicit SaneImageFile(QImage picture) : picture_(std::move(picture)) {}
    std::string FormatID() override { return wia::ImgFmt_BMP; }
    std::vector<std::uint8_t> FileData() override { return EncodeBmp(picture_); }
    void SaveFile(const std::string& fileName) override {
        const std::vector<std::uint8_t> bytes = EncodeBmp(picture_);
        std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            throw EPlatformError("Impossible d'écrire le fichier " + fileName);
    }
    QImage Picture() override { return picture_; }

private:
    QImage picture_;
};

class SaneCommonDialog : public ICommonDialog {
public:
    std::unique_ptr<IImageFile> ShowTransfer(IItem& item, const std::string& formatId,
                                             bool cancelError) override {
        auto* saneItem = dynamic_cast<SaneItem*>(&item);
        if (!saneItem || formatId != wia::ImgFmt_BMP)
            ThrowSane(SANE_STATUS_UNSUPPORTED);
        SaneDevice& dev = saneItem->Device();
        int dpi = 0;
        {
            Options o = dev.Opts();
            if (o.Has(XResName(o)))
                dpi = static_cast<int>(std::lround(Resolution(o, XResName(o))));
        }
        TransferState state;
        std::optional<QImage> picture;
        RunWithProgress("Numérisation", "Numérisation en cours…", &state,
                        [&] { picture = ReadScan(dev.Handle(), state, dpi); });
        if (!picture) {
            if (cancelError)
                ThrowSane(SANE_STATUS_CANCELLED);
            return nullptr;
        }
        return std::make_unique<SaneImageFile>(std::move(*picture));
    }
};

class SanePlatform : public IScanPlatform {
public:
    explicit SanePlatform(std::vector<SaneOptionValue> presets)
        : presets_(std::make_shared<const std::vector<SaneOptionValue>>(std::move(presets))) {}
    std::string Name() const override { return "sane"; }
    // libsane stays initialised as long as the platform lives, so the device list and open
    // devices are not lost between two calls.
    std::unique_ptr<IDeviceManager> CreateDeviceManager() override {
        if (!lib_)
            lib_ = SaneLibrary::Get();
        return std::make_unique<SaneDeviceManager>(lib_, presets_);
    }
    std::unique_ptr<ICommonDialog> CreateCommonDialog() override {
        return std::make_unique<SaneCommonDialog>();
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    std::shared_ptr<const std::vector<SaneOptionValue>> presets_;
};

} // namespace

std::shared_ptr<IScanPlatform> CreateSaneScanPlatform(std::vector<SaneOptionValue> presets) {
    return std::make_shared<SanePlatform>(std::move(presets));
}

} // namespace velorix::scan::sane
