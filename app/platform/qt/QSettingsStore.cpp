#include "app/platform/qt/QSettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velorix {

QSettingsStore::QSettingsStore(const QString& iniPath)
    : iniPath_(iniPath), settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

#ifdef Q_OS_WIN
QSettingsStore::QSettingsStore()
    : settings_(std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software"),
                                            QSettings::NativeFormat)) {
    settings_->beginGroup(QStringLiteral("Velorix! 2"));
}
#endif

QString QSettingsStore::defaultIniPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/Velorix! 2.ini");
}

bool QSettingsStore::keyExists() const {
    if (!iniPath_.isEmpty()) {
        // QSettings may still hold unwritten values; the file is what survives the run.
        return QFileInfo::exists(iniPath_) || !settings_->allKeys().isEmpty();
    }
    return !settings_->allKeys().isEmpty();
}

std::optional<QString> QSettingsStore::read(const QString& name) const {
    const QVariant v = settings_->value(name);
    if (!v.isValid())
        return std::nullopt;
    return v.toString();
}

void QSettingsStore::write(const QString& name, const QString& value) {
    if (!iniPath_.isEmpty())
        QDir().mkpath(QFileInfo(iniPath_).absolutePath());
    settings_->setValue(name, value);
}

void QSettingsStore::flush() {
    settings_->sync();
}

} // namespace velorix
