#include "app/platform/Settings.h"

#include "app/platform/qt/QSettingsStore.h"

namespace velorix {

std::unique_ptr<SettingsStore> loadSettingsStore() {
    const QString forced = qEnvironmentVariable("VELORIX_SETTINGS");
    if (forced == QLatin1String("null"))
        return std::make_unique<NullSettingsStore>();
    const QString file = qEnvironmentVariable("VELORIX_SETTINGS_FILE");
    if (!file.isEmpty())
        return std::make_unique<QSettingsStore>(file);
#ifdef Q_OS_WIN
    return std::make_unique<QSettingsStore>();
#else
    return std::make_unique<QSettingsStore>(QSettingsStore::defaultIniPath());
#endif
}

std::optional<int> readIntSetting(const SettingsStore& store, const QString& name) {
    const std::optional<QString> text = store.read(name);
    if (!text || text->trimmed().isEmpty())
        return std::nullopt;
    bool ok = false;
    // Decimal only, whatever the user's locale: the values are written that way.
    const int value = text->trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace velorix
