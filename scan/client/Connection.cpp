#include "scan/client/Connection.h"

namespace velorix::scan::worker {

// The SANE name a listed name ends with, "(name)"; empty when it has none.
std::string SaneNameOf(const std::string& listed) {
    const std::size_t open = listed.rfind(" (");
    if (open == std::string::npos || listed.size() < open + 4 || listed.back() != ')')
        return {};
    return listed.substr(open + 2, listed.size() - open - 3);
}

Fields Connection::Call(const std::string& type, const Fields& args, const std::string& shownName,
                        const char* waitText) {
    Pump pump(context_.progress, "Scanners", waitText ? waitText : "Réglage du scanner…", true);
    const Limits limits = ReadLimits();
    QElapsedTimer clock;
    clock.start();
    WorkerProcess* worker = nullptr;
    try {
        worker = &Process(&pump);
        const std::uint64_t number = worker->Send(type, args);
        for (;;) {
            if (std::optional<Message> m = worker->Next(number, 40)) {
                if (m->type == "ok")
                    return m->args;
                if (m->type == "error")
                    throw EPlatformError(m->args.empty() ? "" : m->args[0]);
            }
            pump.Tick(0, 0);
            if (pump.CancelRequested()) {
                // Nothing to stop within the driver but its process.
                worker->Kill();
                Drop();
                throw EPlatformError("Opération annulée");
            }
            if (clock.elapsed() > static_cast<qint64>(limits.first * 1000)) {
                worker->Kill();
                Drop();
                throw EScannerLost("Le scanner " + Quoted(shownName) +
                                   " ne répond plus : son pilote a été arrêté.");
            }
        }
    } catch (const WorkerProcess::Gone&) {
        const std::string ending = worker ? worker->Ending() : "ne répond plus";
        Drop();
        throw EScannerLost("Le pilote du scanner " + Quoted(shownName) + " " + ending + ".");
    } catch (const WorkerProcess::Flooded&) {
        worker->Kill();
        Drop();
        throw EScannerLost(kFloodText);
    }
}

} // namespace velorix::scan::worker
