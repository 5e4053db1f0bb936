#include "scan/client/WorkerTransfer.h"

#include "scan/ScanSettings.h"
#include "scan/client/WorkerDevice.h"
#include "scan/link/SaneFrames.h"

#include <cmath>
#include <limits>

namespace velorix::scan::worker {

namespace {

// How a request that answers with pages ended: its last message, or "cancelled" when the
// worker was stopped after the user's cancel.
struct Ending {
    std::string type;
    Fields args;
    QImage page; // the page of a single scan
};

class WorkerDialog : public ICommonDialog {
public:
    explicit WorkerDialog(std::shared_ptr<Connection> connection)
        : connection_(std::move(connection)) {}

    std::unique_ptr<IImageFile> ShowTransfer(IItem& item, const std::string& formatId,
                                             bool cancelError) override {
        auto* workerItem = dynamic_cast<WorkerItem*>(&item);
        if (!workerItem || formatId != wia::ImgFmt_BMP)
            throw EPlatformError("Opération non prise en charge");
        Ending end = Exchange(workerItem->Device(), "scan", {}, nullptr);
        if (end.type == "cancelled") {
            if (cancelError)
                throw EPlatformError("Opération annulée");
            return nullptr;
        }
        return sane::PictureFile(std::move(end.page));
    }

    // The whole stack is one request: its settings go in it, its pages come back one by one.
    StackEnd ShowStack(IDevice& device, const ScanSettings& settings,
                       const PageSink& sink) override {
        auto* workerDevice = dynamic_cast<WorkerDevice*>(&device);
        if (!workerDevice)
            return ICommonDialog::ShowStack(device, settings, sink);
        StackEnd result;
        // The device's settings changed in the worker, whatever the end: its table is read
        // again, unless the worker is gone with it.
        auto refresh = [workerDevice] {
            workerDevice->Link().Write({"table"}, workerDevice->ShownName());
        };
        Ending end;
        try {
            end = Exchange(*workerDevice, "stack", EncodeSettings(settings), &sink);
        } catch (const EScannerLost&) {
            throw;
        } catch (const EPlatformError&) {
            try {
                refresh();
            } catch (const std::exception&) {
            }
            throw;
        }
        const Fields& a = end.args;
        if (end.type == "done") {
            result.kind = StackEnd::Complete;
        } else if (end.type == "empty") {
            result.kind = StackEnd::Empty;
        } else if (end.type == "cancelled") {
            result.kind = StackEnd::Cancelled;
        } else if (end.type == "refused" && a.size() == 1 &&
                   (a[0] == "incompatible" || a[0] == "resolution")) {
            result.kind = StackEnd::Refused;
            result.outcome = a[0] == "incompatible" ? SettingsOutcome::Incompatible
                                                    : SettingsOutcome::ResolutionRefused;
        } else if (end.type == "failed" && a.size() == 2) {
            result.kind = StackEnd::Failed;
            result.reason = a[0] == "jam"     ? FeederReason::Jam
                            : a[0] == "cover" ? FeederReason::CoverOpen
                                              : FeederReason::None;
            result.message = a[1];
        } else {
            throw EPlatformError("Réponse inconnue du module des scanners");
        }
        refresh();
        return result;
    }

private:
    // One request whose answers are pages, behind the progress window with "Annuler", under
    // the watchdog. A single scan ends with its page; a stack hands each page to each and ends
    // with its own message. "error" answers become exceptions.
    Ending Exchange(WorkerDevice& device, const std::string& type, const Fields& args,
                    const PageSink* each) {
        Connection& link = device.Link();
        const std::string& shown = device.ShownName();
        const Limits limits = ReadLimits();

        // The page's block, open from its "block" message on: its name is gone already, and
        // closing it frees it, whatever ends the scan.
        std::unique_ptr<SharedBlock> block;
        Pump pump(link.Settings().progress, "Numérisation", "Numérisation en cours…", true, 0);
        WorkerProcess& worker = link.Process(&pump);
        // The scan is still going on in a worker that is stopped for anything but its end: its
        // next messages would answer nothing.
        auto stop = [&] {
            worker.Kill();
            link.Drop();
        };
        // A page the program cannot take stops its worker, which is said.
        auto refuse = [&](const EPlatformError& e) {
            stop();
            throw EScannerLost(std::string(e.what()) + " : le module des scanners a été arrêté.");
        };
        const std::uint64_t number = worker.Send(type, args);
        long long received = 0, expected = 0;
        QElapsedTimer sinceData, sinceCancel;
        sinceData.start();
        try {
            for (;;) {
                if (std::optional<Message> m = worker.Next(number, 40)) {
                    const Fields& a = m->args;
                    if (m->type == "progress" && a.size() == 2) {
                        constexpr long long kMax = std::numeric_limits<long long>::max();
                        const long long now = ParseNumber(a[0], 0, kMax).value_or(received);
                        expected = ParseNumber(a[1], 0, kMax).value_or(expected);
                        if (now > received) {
                            received = now;
                            sinceData.restart();
                        }
                    } else if (m->type == "block" && !block) {
                        try {
                            const std::string name = a.empty() ? std::string() : a[0];
                            const std::size_t size = BlockSizeFrom(a);
                            block = SharedBlock::Open(name, size);
                        } catch (const EPlatformError& e) {
                            if (!a.empty())
                                SharedBlock::Discard(a[0]);
                            refuse(e);
                        }
                    } else if (m->type == "picture" && block) {
                        QImage page;
                        try {
                            page = PictureFrom(
                                a, block->Size(),
                                [&](unsigned char* dest, std::size_t offset, std::size_t size) {
                                    block->Read(dest, offset, size);
                                });
                        } catch (const EPlatformError& e) {
                            refuse(e);
                        }
                        // The pixels are the program's own now: the block goes at once.
                        block.reset();
                        if (!each)
                            return {"picture", {}, std::move(page)};
                        worker.Tell(number, "took");
                        try {
                            (*each)(std::move(page));
                        } catch (...) {
                            stop(); // its stack would answer nothing any more
                            throw;
                        }
                        // The next sheet starts from nothing, with the first page's patience.
                        received = expected = 0;
                        sinceData.restart();
                    } else if (m->type == "cancelled") {
                        return {"cancelled", {}, {}};
                    } else if (m->type == "error") {
                        throw EPlatformError(a.empty() ? "" : a[0]);
                    } else if (each && m->type != "progress" && m->type != "block" &&
                               m->type != "picture") {
                        return {m->type, a, {}};
                    }
                }
                pump.Tick(received, expected);
                if (!sinceCancel.isValid() && pump.CancelRequested()) {
                    worker.Tell(number, "cancel");
                    sinceCancel.start();
                }
                if (sinceCancel.isValid() && sinceCancel.elapsed() > kCancelGraceMs) {
                    // The driver does not let go: its worker goes instead.
                    stop();
                    return {"cancelled", {}, {}};
                }
                const double limit = received > 0 ? limits.after : limits.first;
                if (!sinceCancel.isValid() &&
                    sinceData.elapsed() > static_cast<qint64>(limit * 1000)) {
                    stop();
                    throw EScannerLost(
                        "Le scanner " + Quoted(shown) + " n'envoie plus rien depuis " +
                        std::to_string(std::lround(limit)) + " s : la numérisation a été arrêtée.");
                }
            }
        } catch (const WorkerProcess::Gone&) {
            const std::string ending = worker.Ending();
            link.Drop();
            if (sinceCancel.isValid())
                return {"cancelled", {}, {}};
            throw EScannerLost("Le pilote du scanner " + Quoted(shown) + " " + ending +
                               " pendant la numérisation.");
        } catch (const WorkerProcess::Flooded&) {
            stop();
            throw EScannerLost(kFloodText);
        }
    }

    std::shared_ptr<Connection> connection_;
};

} // namespace

std::unique_ptr<ICommonDialog> CreateWorkerDialog(std::shared_ptr<Connection> connection) {
    return std::make_unique<WorkerDialog>(std::move(connection));
}

} // namespace velorix::scan::worker
