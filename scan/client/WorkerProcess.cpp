#include "scan/client/WorkerProcess.h"

#include "scan/client/Watchdog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <mutex>
#include <vector>

namespace velorix::scan::worker {

namespace {

// How long a killed worker may take to end before it is left behind.
constexpr int kKillWaitMs = 500;
// How many lines one Next reads before it lets the caller paint and watch the clock.
constexpr int kLinesPerNext = 256;
// What may wait unread: a worker that sends faster than the program reads is stopped.
constexpr qint64 kMaxUnreadBytes = 8 * static_cast<qint64>(kMaxLineBytes);

// The workers that outlived SIGKILL, with their process objects. Destroying such an object waits
// 30 s for its process, so each is freed only once its process has ended; those still running
// when the program ends are left to the system, hence the list is never destroyed.
struct Abandoned {
    std::mutex mutex;
    std::vector<QProcess*> processes;
};
Abandoned& Left() {
    static auto* left = new Abandoned;
    return *left;
}

} // namespace

std::size_t ReapAbandonedWorkers() {
    Abandoned& left = Left();
    std::lock_guard lock(left.mutex);
    // A process object is asked only on its own thread.
    std::erase_if(left.processes, [](QProcess* p) {
        if (p->thread() != QThread::currentThread() ||
            (p->state() != QProcess::NotRunning && !p->waitForFinished(0)))
            return false;
        delete p;
        return true;
    });
    return left.processes.size();
}

std::string Quoted(const std::string& name) {
    return "« " + name + " »";
}

WorkerProcess::WorkerProcess(const Context& context, Pump* pump)
    : process_(std::make_unique<QProcess>()) {
    ReapAbandonedWorkers();
    QString program = qEnvironmentVariable(WorkerExeEnv);
    if (program.isEmpty())
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/velorix-scan-worker");
    // The drivers' own diagnostics, and what they print, stay visible on our error output.
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Our process id: on Windows the worker hands each page's memory over to us by it.
    process_->start(program, {QStringLiteral("--program"),
                              QString::number(QCoreApplication::applicationPid())});
    if (!process_->waitForStarted(10000))
        throw EPlatformError("Le module des scanners ne démarre pas : " +
                             process_->errorString().toStdString());
    for (const OptionPreset& preset : context.presets)
        Send("preset", {preset.name, preset.value});
    QElapsedTimer clock;
    clock.start();
    try {
        while (clock.elapsed() < 10000) {
            if (auto m = Next(0, 40); m && m->type == "ready")
                return;
            if (pump) {
                pump->Tick(0, 0);
                if (pump->CancelRequested())
                    break;
            }
        }
    } catch (const Flooded&) {
    } catch (const Gone&) {
    }
    Kill();
    throw EPlatformError("Le module des scanners ne répond pas");
}

WorkerProcess::~WorkerProcess() {
    Stop();
    ReapAbandonedWorkers();
}

bool WorkerProcess::Running() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

void WorkerProcess::Write(const std::string& line) {
    if (!Running())
        return;
    process_->write(line.data(), static_cast<qint64>(line.size()));
    process_->waitForBytesWritten(1000);
}

std::uint64_t WorkerProcess::Send(const std::string& type, const Fields& args) {
    Write(EncodeMessage(++sent_, type, args));
    return sent_;
}

void WorkerProcess::Tell(std::uint64_t number, const std::string& type) {
    Write(EncodeMessage(number, type));
}

std::optional<Message> WorkerProcess::Next(std::uint64_t number, int ms) {
    if (!process_)
        throw Gone();
    if (process_->bytesAvailable() > kMaxUnreadBytes)
        throw Flooded();
    for (int lines = 0; lines < kLinesPerNext; ++lines) {
        if (!process_->canReadLine()) {
            // Nothing but a line longer than a line may be: the worker goes, unread.
            if (process_->bytesAvailable() > static_cast<qint64>(kMaxLineBytes))
                throw Flooded();
            if (!Running())
                throw Gone();
            if (!process_->waitForReadyRead(lines == 0 ? ms : 0) && !process_->canReadLine()) {
                if (process_->bytesAvailable() > static_cast<qint64>(kMaxLineBytes))
                    throw Flooded();
                if (!Running() && !process_->canReadLine())
                    throw Gone();
                return std::nullopt;
            }
            continue;
        }
        const QByteArray line = process_->readLine(static_cast<qint64>(kMaxLineBytes) + 2);
        if (!line.endsWith('\n'))
            throw Flooded();
        std::optional<Message> m = DecodeMessage(line.toStdString());
        if (m && m->number == number)
            return m;
    }
    return std::nullopt;
}

std::string WorkerProcess::Ending() const {
    if (!process_)
        return "ne répond plus";
    if (process_->exitStatus() == QProcess::CrashExit)
        return "s'est arrêté brutalement";
    return "s'est terminé (code " + std::to_string(process_->exitCode()) + ")";
}

void WorkerProcess::Kill() {
    if (!Running())
        return;
    process_->kill();
    if (process_->waitForFinished(kKillWaitMs))
        return;
    // Destroying a QProcess that runs waits for it for 30 s: this one is set aside, still
    // running, and the next call starts a fresh worker.
    process_->disconnect();
    process_->closeReadChannel(QProcess::StandardOutput);
    Abandoned& left = Left();
    std::lock_guard lock(left.mutex);
    left.processes.push_back(process_.release());
}

// Asks the worker to go (it leaves when its input closes), then makes it.
void WorkerProcess::Stop() {
    if (!Running())
        return;
    process_->closeWriteChannel();
    if (!process_->waitForFinished(2000))
        Kill();
}

} // namespace velorix::scan::worker
