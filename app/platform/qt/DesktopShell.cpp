#include "app/platform/qt/DesktopShell.h"

#include <QDesktopServices>

namespace velorix {

bool DesktopShell::open(const QUrl& target) {
    return QDesktopServices::openUrl(target);
}

} // namespace velorix
