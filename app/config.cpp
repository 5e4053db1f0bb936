#include "app/config.h"

#include <QDir>
#include <QStandardPaths>

namespace velorix {

QString SharedPdfPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("capture.pdf"));
}

} // namespace velorix
