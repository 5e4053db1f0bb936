#include "app/platform/FixedPlaces.h"

#include <QDir>
#include <QStandardPaths>

namespace velorix {

namespace {
QString documentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder.isEmpty() ? QDir::homePath() : folder;
}
} // namespace

QString SharedPdfPath() {
    return QDir(documentsFolder()).filePath(QStringLiteral("capture.pdf"));
}

QString EnsureSharedPdfFolder() {
    QDir().mkpath(documentsFolder());
    return SharedPdfPath();
}

} // namespace velorix
