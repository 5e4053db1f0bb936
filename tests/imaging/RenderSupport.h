#pragma once
// Rendering a printed PDF page back to pixels with poppler's pdftoppm, to see where things landed.

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QString>

namespace velorix::testing {

inline bool havePdfRenderer() {
    return !QStandardPaths::findExecutable("pdftoppm").isEmpty();
}

// The first page of pdf at dpi pixels per inch; null on failure.
inline QImage renderFirstPage(const QString& pdf, int dpi, const QString& workDir) {
    const QString prefix = QDir(workDir).filePath(QStringLiteral("render"));
    QProcess p;
    p.start(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QStringLiteral("1"),
             QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"),
             QStringLiteral("-png"), pdf, prefix});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QImage(prefix + QStringLiteral(".png"));
}

// Bounding box of the pixels that are clearly red (the test pictures are pure red).
inline QRect redBox(const QImage& image) {
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace velorix::testing
