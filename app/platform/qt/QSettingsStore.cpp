#include "app/platform/qt/QSettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velorix {

namespace {

// The INI file as plain text. Qt's own INI format turns "@Variant(...)" values back into
// serialised objects, and a damaged or hostile file can make it allocate gigabytes; our values
// are decimal texts, so nothing in the file is ever interpreted. Keys outside a section are
// written under "[General]", as Qt's format does, so files stay readable both ways.
bool readPlainIni(QIODevice& device, QSettings::SettingsMap& map) {
    QString section;
    const QStringList lines = QString::fromUtf8(device.readAll()).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            if (section == QLatin1String("General"))
                section.clear();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        map.insert(section.isEmpty() ? key : section + QLatin1Char('/') + key,
                   line.mid(eq + 1).trimmed());
    }
    return true;
}

bool writePlainIni(QIODevice& device, const QSettings::SettingsMap& map) {
    QMap<QString, QByteArray> sections; // "" for the keys outside any section
    for (auto it = map.begin(); it != map.end(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        QString value = it.value().toString();
        value.replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
        sections[section] += (it.key().mid(slash + 1) + QLatin1Char('=') + value).toUtf8() + '\n';
    }
    QByteArray out;
    for (auto it = sections.begin(); it != sections.end(); ++it)
        out += '[' + (it.key().isEmpty() ? QByteArray("General") : it.key().toUtf8()) + "]\n" +
               it.value();
    return device.write(out) == out.size();
}

QSettings::Format plainIniFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readPlainIni, writePlainIni);
    return format;
}

} // namespace

QSettingsStore::QSettingsStore(const QString& iniPath)
    : iniPath_(iniPath), settings_(std::make_unique<QSettings>(iniPath, plainIniFormat())) {}

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
