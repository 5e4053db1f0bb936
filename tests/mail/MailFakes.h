#pragma once
// Stand-in mail clients and desktop set-ups for the mail tests: small shell scripts that write
// down their arguments, NUL-separated, so the tests read exactly what arrived.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcessEnvironment>
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

// A desktop of the test's own under `root`: its own home and XDG folders (no handler of the
// machine's, such as an installed Thunderbird, is found), no session bus unless `keepBus`, no
// display, no desktop session, and a browser that fails. The caller's MAILER, BROWSER and desktop
// variables never reach a test.
struct PrivateDesktop {
    QMap<QString, QString> set;
    QStringList unset;
};
inline PrivateDesktop privateDesktop(const QString& root, bool keepBus = false) {
    PrivateDesktop desktop;
    desktop.set = {{"HOME", root + "/home"},
                   {"XDG_CONFIG_HOME", root + "/config"},
                   {"XDG_DATA_HOME", root + "/data"},
                   {"XDG_CACHE_HOME", root + "/cache"},
                   {"XDG_DATA_DIRS", root + "/datadirs"},
                   {"XDG_CONFIG_DIRS", root + "/configdirs"},
                   {"BROWSER", "false"}};
    if (!keepBus)
        desktop.set.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root + "/nobus");
    desktop.unset = QStringList{"MAILER",
                                "DISPLAY",
                                "WAYLAND_DISPLAY",
                                "XDG_CURRENT_DESKTOP",
                                "XDG_SESSION_DESKTOP",
                                "DESKTOP_SESSION",
                                "KDE_FULL_SESSION",
                                "KDE_SESSION_VERSION",
                                "GNOME_DESKTOP_SESSION_ID",
                                "FLATPAK_ID",
                                "VELORIX_MAIL"};
    QDir().mkpath(root + "/home");
    return desktop;
}
// In this process.
inline void usePrivateDesktop(const QString& root, bool keepBus = false) {
    const PrivateDesktop desktop = privateDesktop(root, keepBus);
    for (const QString& name : desktop.unset)
        qunsetenv(name.toLatin1().constData());
    for (auto it = desktop.set.begin(); it != desktop.set.end(); ++it)
        qputenv(it.key().toLatin1().constData(), it.value().toUtf8());
}
// In a child's environment.
inline void usePrivateDesktop(QProcessEnvironment& env, const QString& root) {
    const PrivateDesktop desktop = privateDesktop(root);
    for (const QString& name : desktop.unset)
        env.remove(name);
    for (auto it = desktop.set.begin(); it != desktop.set.end(); ++it)
        env.insert(it.key(), it.value());
}

} // namespace velorix::mail::testing
