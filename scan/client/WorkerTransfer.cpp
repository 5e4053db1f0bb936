#include "WorkerTransfer.h"

#include "../link/SaneFrames.h"
#include "WorkerDevice.h"

#include <cmath>

namespace velorix::scan::worker {

namespace {

QImage PictureFrom(std::unique_ptr<SharedBlock> block, const Fields& f) {
    if (f.size() != 7)
        throw EPlatformError("Réponse invalide du module des scanners");
    const auto format = static_cast<QImage::Format>(ToNumber(f[4]));
    if (format != QImage::Format_Indexed8 && format != QImage::Format_RGB888)
        throw EPlatformError("Réponse invalide du module des scanners");
    QImage picture = BlockPicture(std::move(block), static_cast<int>(ToNumber(f[1])),
                                  static_cast<int>(ToNumber(f[2])), ToNumber(f[3]), format);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> grey(256);
        for (int i = 0; i < 256; ++i)
            grey[i] = qRgb(i, i, i);
        picture.setColorTable(grey);
    }
    picture.setDotsPerMeterX(static_cast<int>(ToNumber(f[5])));
    picture.setDotsPerMeterY(static_cast<int>(ToNumber(f[6])));
    return picture;
}

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
        WorkerProcess& worker = link.Process();
        const std::string& shown = device.ShownName();
        const Limits limits = ReadLimits();

        std::unique_ptr<SharedBlock> block;
        std::string blockName;
        auto cancelled = [&]() -> std::unique_ptr<IImageFile> {
            if (!blockName.empty())
                SharedBlock::Discard(blockName);
            if (cancelError)
                throw EPlatformError("Opération annulée");
            return nullptr;
        };
        {
            Pump pump(link.Settings().progress, "Numérisation", "Numérisation en cours…", true);
            worker.Send({"scan"});
            long long received = 0, expected = 0;
            QElapsedTimer sinceData, sinceCancel;
            sinceData.start();
            try {
                for (;;) {
                    std::optional<Fields> m = worker.Next(40);
                    if (m && !m->empty()) {
                        const Fields& f = *m;
                        if (f[0] == "progress" && f.size() == 3) {
                            const long long now = ToNumber(f[1]);
                            expected = ToNumber(f[2]);
                            if (now > received) {
                                received = now;
                                sinceData.restart();
                            }
                        } else if (f[0] == "block" && f.size() == 3) {
                            blockName = f[1];
                            try {
                                block = SharedBlock::Open(blockName,
                                                          static_cast<std::size_t>(ToNumber(f[2])));
                            } catch (const EPlatformError&) {
                                // The scan is still going on in the worker, whose next
                                // messages would answer the next request: it goes.
                                SharedBlock::Discard(blockName);
                                worker.Kill();
                                link.Drop();
                                throw;
                            }
                            blockName.clear(); // opened: its name is gone already
                        } else if (f[0] == "picture" && block) {
                            return sane::PictureFile(PictureFrom(std::move(block), f));
                        } else if (f[0] == "cancelled") {
                            return cancelled();
                        } else if (f[0] == "error") {
                            throw EPlatformError(f.size() > 1 ? f[1] : "");
                        }
                    }
                    pump.Tick(received, expected);
                    if (!sinceCancel.isValid() && pump.CancelRequested()) {
                        worker.Send({"cancel"});
                        sinceCancel.start();
                    }
                    if (sinceCancel.isValid() && sinceCancel.elapsed() > kCancelGraceMs) {
                        // The driver does not let go: its worker goes instead.
                        worker.Kill();
                        link.Drop();
                        return cancelled();
                    }
                    const double limit = received > 0 ? limits.after : limits.first;
                    if (!sinceCancel.isValid() &&
                        sinceData.elapsed() > static_cast<qint64>(limit * 1000)) {
                        worker.Kill();
                        link.Drop();
                        throw EScannerLost("Le scanner " + Quoted(shown) +
                                           " n'envoie plus rien depuis " +
                                           std::to_string(std::lround(limit)) +
                                           " s : la numérisation a été arrêtée.");
                    }
                }
            } catch (const WorkerProcess::Gone&) {
                if (!blockName.empty())
                    SharedBlock::Discard(blockName);
                blockName.clear();
                const std::string ending = worker.Ending();
                link.Drop();
                if (sinceCancel.isValid())
                    return cancelled();
                throw EScannerLost("Le pilote du scanner " + Quoted(shown) + " " + ending +
                                   " pendant la numérisation.");
            }
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
