#include "app/platform/qt/desktopshell.h"

#include <QDesktopServices>

namespace velorix {

bool DesktopShell::open(const QUrl& target) {
    return QDesktopServices::openUrl(target);
}

} // namespace velorix
