#include "scan/client/WorkerTransfer.h"

#include "scan/client/WorkerDevice.h"
#include "scan/link/SaneFrames.h"

#include <cmath>
#include <limits>

namespace velorix::scan::worker {

namespace {

class WorkerDialog : public ICommonDialog {
public:
    explicit WorkerDialog(std::shared_ptr<Connection> connection)
        : connection_(std::move(connection)) {}

    std::unique_ptr<IImageFile> ShowTransfer(IItem& item, const std::string& formatId,
                                             bool cancelError) override {
        auto* workerItem = dynamic_cast<WorkerItem*>(&item);
        if (!workerItem || formatId != wia::ImgFmt_BMP)
            throw EPlatformError("Opération non prise en charge");
        WorkerDevice& device = workerItem->Device();
        Connection& link = device.Link();
        const std::string& shown = device.ShownName();
        const Limits limits = ReadLimits();

        // The page's block, open from its "block" message on: its name is gone already, and
        // closing it frees it, whatever ends the scan.
        std::unique_ptr<SharedBlock> block;
        auto cancelled = [&]() -> std::unique_ptr<IImageFile> {
            if (cancelError)
                throw EPlatformError("Opération annulée");
            return nullptr;
        };
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
        const std::uint64_t number = worker.Send("scan");
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
                        return sane::PictureFile(std::move(page));
                    } else if (m->type == "cancelled") {
                        return cancelled();
                    } else if (m->type == "error") {
                        throw EPlatformError(a.empty() ? "" : a[0]);
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
                    return cancelled();
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
                return cancelled();
            throw EScannerLost("Le pilote du scanner " + Quoted(shown) + " " + ending +
                               " pendant la numérisation.");
        } catch (const WorkerProcess::Flooded&) {
            stop();
            throw EScannerLost(kFloodText);
        }
    }

private:
    std::shared_ptr<Connection> connection_;
};

} // namespace

std::unique_ptr<ICommonDialog> CreateWorkerDialog(std::shared_ptr<Connection> connection) {
    return std::make_unique<WorkerDialog>(std::move(connection));
}

} // namespace velorix::scan::worker
