#include "app/platform/Services.h"

#include <QStandardPaths>

namespace velorix {

Services Services::platform() {
    Services s;
    s.prompts = std::make_shared<QtPrompts>();
    s.settings = loadSettingsStore();
    s.shell = loadShell();
    s.printer = printing::loadPrinter();
    s.clock = [] { return QDateTime::currentDateTime(); };
    s.scanner = scan::LoadScanPlatform();
    s.screen = capture::LoadScreenGrab();
    s.mail = mail::loadMailPlatform();
    s.listScannersInBackground = true;
    // VELORIX_RECOVERY=null keeps no pages; another value names the folder.
    const QString recovery = qEnvironmentVariable("VELORIX_RECOVERY");
    if (recovery != QLatin1String("null"))
        s.recoveryFolder =
            !recovery.isEmpty()
                ? recovery
                : QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                      QStringLiteral("/velorix/recovery");
    return s;
}

} // namespace velorix
