#include "capture/wlroots/WlrootsScreenGrab.h"

#include "waits/Waits.h"

#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace velorix::capture {

namespace {

// The largest scale a compositor gives a screen: it bounds what grim may send for one.
constexpr int kMaxScale = 4;

QString failedMessage(const QString& why) {
    return QStringLiteral("Impossible de capturer l'écran : la copie d'écran du compositeur a "
                          "échoué (%1).")
        .arg(why);
}

// One screen's pixels as grim sends them (binary PPM on its standard output), or a failure.
QImage copyScreen(const QString& grim, const QRect& place, int timeoutMs) {
    const qint64 most = 3LL * place.width() * kMaxScale * place.height() * kMaxScale + 64;
    QProcess process;
    process.setProgram(grim);
    process.setArguments({QStringLiteral("-t"), QStringLiteral("ppm"), QStringLiteral("-g"),
                          QStringLiteral("%1,%2 %3x%4")
                              .arg(place.x())
                              .arg(place.y())
                              .arg(place.width())
                              .arg(place.height()),
                          QStringLiteral("-")});
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(timeoutMs))
        throw EScreenUnavailable(noScreenAccessMessage());
    QByteArray bytes;
    QByteArray errors;
    bool tooMuch = false;
    const bool ended = waits::Until(
        [&] {
            bytes += process.readAllStandardOutput();
            errors +=
                process.readAllStandardError().left(std::max<qsizetype>(0, 4096 - errors.size()));
            tooMuch = bytes.size() > most;
            return tooMuch || process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    if (!ended || tooMuch) {
        process.kill();
        process.waitForFinished(1000);
        throw EScreenCaptureError(failedMessage(tooMuch ? QStringLiteral("image trop grande")
                                                        : QStringLiteral("pas de réponse")));
    }
    bytes += process.readAllStandardOutput();
    const QString said = QString::fromUtf8(errors).trimmed().section(QLatin1Char('\n'), 0, 0);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        // The compositor is not one of wlroots' (GNOME's, KDE's): another way may reach it.
        if (said.contains(QLatin1String("screencopy"), Qt::CaseInsensitive))
            throw EScreenUnavailable(noScreenAccessMessage());
        throw EScreenCaptureError(failedMessage(
            said.isEmpty() ? QStringLiteral("code %1").arg(process.exitCode()) : said.left(200)));
    }
    if (bytes.size() > most)
        throw EScreenCaptureError(failedMessage(QStringLiteral("image trop grande")));
    QImage picture = QImage::fromData(bytes, "PPM");
    if (picture.isNull())
        throw EScreenCaptureError(failedMessage(QStringLiteral("image illisible")));
    // One scale for both axes, as a screen has, within a pixel's rounding.
    const double sx = double(picture.width()) / place.width();
    const double sy = double(picture.height()) / place.height();
    if (sx < 1.0 / kMaxScale || sx > kMaxScale ||
        std::abs(sx - sy) * std::min(place.width(), place.height()) > 1.5)
        throw EScreenCaptureError(
            failedMessage(QStringLiteral("image de %1 × %2 pour un écran de %3 × %4")
                              .arg(picture.width())
                              .arg(picture.height())
                              .arg(place.width())
                              .arg(place.height())));
    picture.setDevicePixelRatio(1);
    return picture.convertToFormat(QImage::Format_RGB32);
}

} // namespace

std::optional<DesktopPicture> WlrootsScreenGrab::GrabDesktop(const QString&) {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        throw EScreenUnavailable(noScreenAccessMessage());
    const QString grim = QStandardPaths::findExecutable(QStringLiteral("grim"));
    if (grim.isEmpty())
        throw EScreenUnavailable(noScreenAccessMessage());
    DesktopPicture screens;
    for (const QRect& place : DesktopScreens()) {
        if (place.isEmpty())
            continue;
        screens.push_back({place, copyScreen(grim, place, timeoutMs_)});
    }
    if (screens.empty())
        throw EScreenUnavailable(noScreenAccessMessage());
    return screens;
}

} // namespace velorix::capture
