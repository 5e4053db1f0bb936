#include "app/platform/Services.h"

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
    return s;
}

} // namespace velorix
