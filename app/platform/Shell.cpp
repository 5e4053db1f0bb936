#include "app/platform/Shell.h"

#include "app/platform/qt/DesktopShell.h"

namespace velorix {

std::unique_ptr<Shell> loadShell() {
    if (qEnvironmentVariable("VELORIX_SHELL") == QLatin1String("null"))
        return std::make_unique<NullShell>();
    return std::make_unique<DesktopShell>();
}

} // namespace velorix
