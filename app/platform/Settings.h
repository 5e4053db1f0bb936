#pragma once
// The window's persistent settings: one key "Velorix! 2" holding decimal-text values.
#include <QString>

#include <memory>
#include <optional>

namespace velorix {

// Where the window keeps its place, size and scanner choice between runs.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // False when the backend cannot store anything (null backend).
    virtual bool available() const = 0;
    // Whether the key "Velorix! 2" exists (it does not before the first close).
    virtual bool keyExists() const = 0;
    // The stored text, or nothing when the value (or the key) is missing.
    virtual std::optional<QString> read(const QString& name) const = 0;
    // Writes one value, creating the key when needed.
    virtual void write(const QString& name, const QString& value) = 0;
    // Makes written values durable (a no-op where writes are immediate).
    virtual void flush() {}
};

// Keeps nothing; reports "not available".
class NullSettingsStore final : public SettingsStore {
public:
    bool available() const override { return false; }
    bool keyExists() const override { return false; }
    std::optional<QString> read(const QString&) const override { return std::nullopt; }
    void write(const QString&, const QString&) override {}
};

// The platform's store: an INI file in the user's configuration folder on Linux, the registry
// key HKEY_CURRENT_USER\Software\Velorix! 2 on Windows. VELORIX_SETTINGS=null forces the null
// backend; VELORIX_SETTINGS_FILE names another INI file (tests, portable use).
std::unique_ptr<SettingsStore> loadSettingsStore();

// Reads an integer setting; missing, empty or not a decimal integer gives nothing, so the
// caller keeps its own default.
std::optional<int> readIntSetting(const SettingsStore& store, const QString& name);

} // namespace velorix
