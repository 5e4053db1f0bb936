#include "scan/sane/SaneProperties.h"

#include "scan/ScanSettings.h"
#include "scan/ScanSources.h"

#include <cstdint>

namespace velorix::scan::sane {

namespace {

// ---------------------------------------------------------------------------------------------
// The mapping of property ids to SANE. Each id is one row; an id whose row says it does not
// exist on this device is not in the collection at all.
//
//  id    scope   SANE side                                 value
//  3074  device  range of "br-x" (mm), else the frame       bed width, thousandths of an inch
//  3075  device  range of "br-y" (mm), else the frame       bed height, thousandths of an inch
//  3086  device  the kinds of "source" (ScanSources.h)     feeder 1 | flatbed 2 | duplex 4
//  3088  device  "source", by its kind                     the same bits (duplex with feeder)
//  3091  device  largest "y-resolution"/"resolution"       optical resolution, dpi
//  3096  device  kept by us; only with a feeder "source"   pages per transfer (0 = all)
//  3097  device  "page-width"/"page-height" where there;   page size (0 = A4, 100 = the
//                else kept by us; only with a feeder       driver's own)
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

} // namespace

const char* XResName(const Options& o) {
    return o.Has(SANE_NAME_SCAN_X_RESOLUTION) ? SANE_NAME_SCAN_X_RESOLUTION
                                              : SANE_NAME_SCAN_RESOLUTION;
}
const char* YResName(const Options& o) {
    return o.Has(SANE_NAME_SCAN_Y_RESOLUTION) ? SANE_NAME_SCAN_Y_RESOLUTION
                                              : SANE_NAME_SCAN_RESOLUTION;
}

namespace {

bool IsMmGeometry(const Options& o, const char* name) {
    const int i = o.Find(name);
    if (i < 0 || !o.IsNumber(i))
        return false;
    const auto* d = o.Desc(i);
    return d->unit == SANE_UNIT_MM && d->constraint_type == SANE_CONSTRAINT_RANGE;
}

// The sources the device offers, by kind, with the driver's own names.
std::vector<OfferedSource> Sources(SaneDevice& dev) {
    Options o = dev.Opts();
    const int i = o.Find(SANE_NAME_SCAN_SOURCE);
    if (i < 0 || o.Desc(i)->type != SANE_TYPE_STRING)
        return {};
    return OfferedSources(o.StringList(i));
}

bool HasSources(SaneDevice& dev) {
    return !Sources(dev).empty();
}

bool HasFeeder(SaneDevice& dev) {
    for (const OfferedSource& s : Sources(dev))
        if (IsFeeder(s.kind))
            return true;
    return false;
}

TVariant Capabilities(SaneDevice& dev) {
    int bits = 0;
    for (const OfferedSource& s : Sources(dev))
        bits |= DocumentHandlingOf(s.kind);
    return std::int32_t{bits};
}

TVariant CurrentSource(SaneDevice& dev) {
    Options o = dev.Opts();
    const std::optional<SourceKind> kind =
        ClassifySource(o.GetString(o.Find(SANE_NAME_SCAN_SOURCE)));
    return std::int32_t{kind ? DocumentHandlingOf(*kind) : 0};
}

void ChooseSource(SaneDevice& dev, const TVariant& value) {
    const int bits = VariantToInt(value);
    for (const OfferedSource& s : Sources(dev))
        if (DocumentHandlingOf(s.kind) == bits) {
            Options o = dev.Opts();
            o.SetString(o.Find(SANE_NAME_SCAN_SOURCE), s.driverName);
            return;
        }
    Refuse();
}

// A feeder driver's paper size options, in millimetres; the driver's own size is left as it is.
void SetPageSize(SaneDevice& dev, const TVariant& value) {
    const int size = VariantToInt(value);
    double width = 0, height = 0;
    switch (size) {
    case wia::PAGE_A4:
        width = 210, height = 297;
        break;
    case wia::PAGE_A5:
        width = 148, height = 210;
        break;
    case wia::PAGE_LETTER:
        width = 215.9, height = 279.4;
        break;
    case wia::PAGE_USLEGAL:
        width = 215.9, height = 355.6;
        break;
    case wia::PAGE_AUTO:
        break;
    default:
        Refuse();
    }
    dev.pageSize = size;
    if (width <= 0)
        return;
    Options o = dev.Opts();
    const int w = o.Find("page-width"), h = o.Find("page-height");
    if (!o.Settable("page-width") || !o.Settable("page-height") || !o.IsNumber(w) || !o.IsNumber(h))
        return;
    auto clamped = [&o](int i, double mm) {
        const auto* d = o.Desc(i);
        if (d->constraint_type != SANE_CONSTRAINT_RANGE)
            return mm;
        const bool fixed = d->type == SANE_TYPE_FIXED;
        const double lo = fixed ? SANE_UNFIX(d->constraint.range->min) : d->constraint.range->min;
        const double hi = fixed ? SANE_UNFIX(d->constraint.range->max) : d->constraint.range->max;
        return std::clamp(mm, lo, hi);
    };
    o.SetNumber(w, clamped(w, width));
    o.SetNumber(h, clamped(h, height));
}

TVariant BedSize(SaneDevice& dev, const char* option) {
    Options o = dev.Opts();
    if (!IsMmGeometry(o, option))
        Refuse();
    return static_cast<std::int32_t>(std::lround(o.MaxNumber(o.Find(option)) / MmPerInch * 1000));
}

} // namespace

double Resolution(const Options& o, const char* name) {
    const int i = o.Find(name);
    if (i < 0)
        Refuse();
    return o.GetNumber(i);
}

namespace {

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
     [](SaneDevice& d) -> TVariant { return d.pageSize; }, SetPageSize},
    {wia::DPS_DOCUMENT_HANDLING_CAPABILITIES, Scope::Device, HasSources,
     [](SaneDevice&) { return false; }, Capabilities, nullptr},
    {wia::DPS_DOCUMENT_HANDLING_SELECT, Scope::Device, HasSources,
     [](SaneDevice& d) { return d.Opts().Settable(SANE_NAME_SCAN_SOURCE); }, CurrentSource,
     ChooseSource},
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

} // namespace

ScanDpi ScanResolutions(SaneDevice& dev) {
    ScanDpi dpi;
    Options o = dev.Opts();
    if (o.Has(XResName(o)))
        dpi.x = static_cast<int>(std::lround(Resolution(o, XResName(o))));
    if (o.Has(YResName(o)))
        dpi.y = static_cast<int>(std::lround(Resolution(o, YResName(o))));
    return dpi;
}

std::vector<PropertyRow> PropertyTable(SaneDevice& dev) {
    std::vector<PropertyRow> rows;
    for (const Mapping& m : kMappings) {
        if (!m.exists(dev))
            continue;
        PropertyRow row{m.scope == Scope::Item, m.id, {}, !m.set || !m.writable(dev), {}};
        try {
            row.value = m.get(dev);
        } catch (const std::exception& e) {
            row.error = e.what();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

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

namespace {

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

} // namespace

SaneItem::SaneItem(std::shared_ptr<SaneDevice> dev) : dev_(std::move(dev)) {}

std::unique_ptr<IProperties> SaneItem::Properties() {
    return std::make_unique<SaneProperties>(dev_, Scope::Item);
}

std::unique_ptr<IProperties> SaneDevice::Properties() {
    return std::make_unique<SaneProperties>(shared_from_this(), Scope::Device);
}
std::unique_ptr<IItems> SaneDevice::Items() {
    return std::make_unique<SaneItems>(shared_from_this());
}

} // namespace velorix::scan::sane
