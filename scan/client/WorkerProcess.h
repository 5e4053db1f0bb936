#pragma once
// One scanner worker process: starting it, the numbered messages to and from it, its end. What
// it sends is bounded (kMaxLineBytes a line); a worker past that is stopped.

#include "scan/client/WorkerPlatform.h"
#include "scan/link/WorkerLink.h"

#include <QProcess>

#include <memory>
#include <optional>

namespace velorix::scan::worker {

class Pump;

struct Context {
    std::vector<OptionPreset> presets;
    ScanProgressFactory progress;
};

// A scanner's name as messages quote it.
std::string Quoted(const std::string& name);

// What the user reads when a worker sent more than the program takes.
inline constexpr const char* kFloodText =
    "Le module des scanners envoie trop de données : il a été arrêté.";

// Frees the workers this thread left running after SIGKILL once they have ended, and returns
// how many of all threads' are still running.
std::size_t ReapAbandonedWorkers();

class WorkerProcess {
public:
    // Starts the worker and waits for its "ready", with pump's window painting meanwhile (when
    // given); raises when it does not come.
    WorkerProcess(const Context& context, Pump* pump);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    bool Running() const;
    // Sends a request; returns its number, which its answers carry.
    std::uint64_t Send(const std::string& type, const Fields& args = {});
    // Sends a message that answers to nothing (a cancel names its scan's number).
    void Tell(std::uint64_t number, const std::string& type);
    // The next message answering `number`, waiting at most ms for the first line; answers to
    // other numbers and lines that are no message are passed over. Raises Gone when the worker
    // has ended, Flooded when it sent a line longer than kMaxLineBytes.
    std::optional<Message> Next(std::uint64_t number, int ms);
    // Why the worker is gone, for the user.
    std::string Ending() const;
    struct Gone {};
    struct Flooded {};

    // Ends the worker now. One that outlives SIGKILL (a driver stuck in the kernel) is not
    // waited for: it is kept aside until it ends (see ReapAbandonedWorkers).
    void Kill();

private:
    void Write(const std::string& line);
    void Stop();
    std::unique_ptr<QProcess> process_;
    std::uint64_t sent_ = 0;
};

} // namespace velorix::scan::worker
