#pragma once
// Stand-in mail clients and desktop set-ups for the mail tests: small shell scripts that write
// down their arguments, NUL-separated, so the tests read exactly what arrived.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTest>

namespace velorix::mail::testing {

// Writes an executable script at `path` that records its arguments into `record`.
inline void writeRecordingProgram(const QString& path, const QString& record) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nprintf '%s\\0' \"$@\" >> '" + QFile::encodeName(record) + "'\n");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                QFileDevice::ExeOwner));
}

// The recorded arguments; waits up to `ms` for a detached program to write them.
inline QStringList recordedArguments(const QString& record, int ms = 0) {
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(record) && timer.elapsed() < ms)
        QTest::qWait(50);
    QTest::qWait(ms > 0 ? 100 : 0);
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList args;
    for (const QByteArray& arg : file.readAll().split('\0'))
        args << QString::fromUtf8(arg);
    if (!args.isEmpty() && args.back().isEmpty())
        args.removeLast();
    return args;
}

// A desktop file under `dataHome`/applications and the mailto association to it under
// `configHome`/mimeapps.list.
inline void setMailtoHandler(const QString& dataHome, const QString& configHome,
                             const QString& desktopId, const QString& exec) {
    QVERIFY(QDir().mkpath(dataHome + "/applications"));
    QVERIFY(QDir().mkpath(configHome));
    QFile desktop(dataHome + "/applications/" + desktopId);
    QVERIFY(desktop.open(QIODevice::WriteOnly));
    desktop.write("[Desktop Entry]\nType=Application\nName=Courrier\nExec=" + exec.toUtf8() +
                  "\nMimeType=x-scheme-handler/mailto;\n");
    desktop.close();
    QFile list(configHome + "/mimeapps.list");
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("[Default Applications]\nx-scheme-handler/mailto=" + desktopId.toUtf8() + "\n");
}

} // namespace velorix::mail::testing
