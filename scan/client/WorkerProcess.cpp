#include "WorkerProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <charconv>

namespace velorix::scan::worker {

std::string Quoted(const std::string& name) {
    return "« " + name + " »";
}

long long ToNumber(const std::string& text) {
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

WorkerProcess::WorkerProcess(const Context& context) {
    QString program = qEnvironmentVariable(WorkerExeEnv);
    if (program.isEmpty())
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/velorix-scan-worker");
    // The drivers' own diagnostics stay visible on our error output.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Our process id: on Windows the worker hands each page's memory over to us by it.
    process_.start(program, {QStringLiteral("--program"),
                             QString::number(QCoreApplication::applicationPid())});
    if (!process_.waitForStarted(10000))
        throw EPlatformError("Le module des scanners ne démarre pas : " +
                             process_.errorString().toStdString());
    for (const OptionPreset& preset : context.presets)
        Send({"preset", preset.name, preset.value});
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (auto m = Next(100)) {
            if (!m->empty() && (*m)[0] == "ready")
                return;
        }
    }
    throw EPlatformError("Le module des scanners ne répond pas");
}

} // namespace velorix::scan::worker
