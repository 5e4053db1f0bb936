#include "scan/ScanPlatform.h"

#include <charconv>

namespace velorix::scan {

std::string VariantToText(const TVariant& value) {
    if (const auto* i = std::get_if<std::int32_t>(&value))
        return std::to_string(*i);
    if (const auto* s = std::get_if<std::string>(&value))
        return *s;
    return {};
}

std::int32_t VariantToInt(const TVariant& value) {
    if (const auto* i = std::get_if<std::int32_t>(&value))
        return *i;
    if (const auto* s = std::get_if<std::string>(&value)) {
        std::int32_t result = 0;
        const char* end = s->data() + s->size();
        auto [ptr, ec] = std::from_chars(s->data(), end, result);
        if (ec == std::errc() && ptr == end && !s->empty())
            return result;
    }
    throw EPlatformError("Type de valeur incompatible");
}

namespace {

class NullScanPlatform : public IScanPlatform {
public:
    std::string Name() const override { return "null"; }
    std::unique_ptr<IDeviceManager> CreateDeviceManager() override {
        throw EPlatformError("Accès aux scanners non disponible");
    }
    std::unique_ptr<ICommonDialog> CreateCommonDialog() override {
        throw EPlatformError("Accès aux scanners non disponible");
    }
};

} // namespace

std::shared_ptr<IScanPlatform> CreateNullScanPlatform() {
    return std::make_shared<NullScanPlatform>();
}

} // namespace velorix::scan
