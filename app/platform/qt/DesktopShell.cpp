#include "app/platform/qt/DesktopShell.h"

#include <QDesktopServices>
#include <QProcess>

namespace velorix {

bool DesktopShell::open(const QUrl& target) {
#if defined(Q_OS_LINUX)
    // xdg-open directly: Qt routes through it only on some display platforms, and the
    // program must open files the same way whichever it runs on. Detached, as some desktops'
    // xdg-open waits for the viewer to close; true means it started.
    return QProcess::startDetached(
        QStringLiteral("xdg-open"),
        {target.isLocalFile() ? target.toLocalFile() : target.toString(QUrl::FullyEncoded)});
#else
    return QDesktopServices::openUrl(target);
#endif
}

} // namespace velorix
