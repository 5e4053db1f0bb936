#pragma once
// A SANE configuration of the test's own: dll.conf naming the given backends, and the other
// files given (name, text); SANE_CONFIG_DIR then points at the folder.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <utility>

inline bool WriteTestFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

inline bool UseSaneConfig(const QTemporaryDir& dir, const QByteArray& backends,
                          const QList<std::pair<QString, QByteArray>>& files = {}) {
    if (!WriteTestFile(dir.filePath(QStringLiteral("dll.conf")), backends))
        return false;
    for (const auto& [name, text] : files)
        if (!WriteTestFile(dir.filePath(name), text))
            return false;
    qputenv("SANE_CONFIG_DIR", dir.path().toUtf8());
    return true;
}
