#pragma once
// One scanner worker process: starting it, the messages to and from it, its end.

#include "../link/WorkerLink.h"
#include "WorkerPlatform.h"

#include <QProcess>

#include <optional>

namespace velorix::scan::worker {

struct Context {
    std::vector<OptionPreset> presets;
    ScanProgressFactory progress;
};

// A scanner's name as messages quote it.
std::string Quoted(const std::string& name);
// A number the worker sent; 0 when it is none.
long long ToNumber(const std::string& text);

// One worker process.
class WorkerProcess {
public:
    explicit WorkerProcess(const Context& context);
    ~WorkerProcess() { Stop(); }

    bool Running() const { return process_.state() != QProcess::NotRunning; }
    void Send(const Fields& fields) {
        const std::string line = EncodeLine(fields);
        process_.write(line.data(), static_cast<qint64>(line.size()));
        process_.waitForBytesWritten(1000);
    }
    // The next message, waiting at most ms; raises when the worker has ended.
    std::optional<Fields> Next(int ms) {
        if (!process_.canReadLine() && Running())
            process_.waitForReadyRead(ms);
        if (process_.canReadLine())
            return DecodeLine(process_.readLine().toStdString());
        if (!Running())
            throw Gone();
        return std::nullopt;
    }
    // Why the worker is gone, for the user.
    std::string Ending() const {
        if (process_.exitStatus() == QProcess::CrashExit)
            return "s'est arrêté brutalement";
        return "s'est terminé (code " + std::to_string(process_.exitCode()) + ")";
    }
    struct Gone {};

    void Kill() {
        if (Running()) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // Asks the worker to go (it leaves when its input closes), then makes it.
    void Stop() {
        if (!Running())
            return;
        process_.closeWriteChannel();
        if (!process_.waitForFinished(2000))
            Kill();
    }

private:
    QProcess process_;
};

} // namespace velorix::scan::worker
