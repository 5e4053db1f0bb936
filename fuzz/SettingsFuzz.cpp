// Any text as the settings file: the window's reads must give a value or nothing, never fail.
#include "app/platform/Settings.h"
#include "app/platform/qt/QSettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "SettingsFuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    const QString path = QDir::tempPath() + QStringLiteral("/velorix-fuzz-%1.ini").arg(getpid());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        abort();
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    velorix::QSettingsStore store(path);
    if (!store.keyExists())
        abort(); // the file is there
    for (const char* key : {"Haut", "Gauche", "Largeur", "Hauteur", "Scanner"}) {
        const auto text = store.read(QString::fromLatin1(key));
        const auto number = velorix::readIntSetting(store, QString::fromLatin1(key));
        if (number && (!text || text->trimmed().toInt() != *number))
            abort();
    }
    // A value written over whatever was there reads back as written.
    store.write(QStringLiteral("Gauche"), QStringLiteral("-12"));
    if (velorix::readIntSetting(store, QStringLiteral("Gauche")) != -12)
        abort();
    return 0;
}
