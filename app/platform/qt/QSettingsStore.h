#pragma once
#include "app/platform/Settings.h"

#include <QSettings>

#include <memory>

namespace velorix {

// SettingsStore over QSettings: an INI file whose presence is the key's existence, or, on
// Windows, the registry key of the same name.
class QSettingsStore final : public SettingsStore {
public:
    // An INI file at iniPath.
    explicit QSettingsStore(const QString& iniPath);
#ifdef Q_OS_WIN
    // The registry key HKEY_CURRENT_USER\Software\Velorix! 2.
    QSettingsStore();
#endif
    bool available() const override {
        return true;
    }
    bool keyExists() const override;
    std::optional<QString> read(const QString& name) const override;
    void write(const QString& name, const QString& value) override;
    void flush() override;

    // Where the INI file lives by default: the user's configuration folder.
    static QString defaultIniPath();

private:
    QString iniPath_;
    std::unique_ptr<QSettings> settings_;
};

} // namespace velorix
