#include "scan/client/WorkerListing.h"

#include "scan/client/WorkerDevice.h"

namespace velorix::scan::worker {

namespace {

class NameProperty : public IProperty {
public:
    explicit NameProperty(std::string text) : text_(std::move(text)) {}
    TVariant Value() const override { return text_; }
    void SetValue(const TVariant&) override { throw EPlatformError("Accès refusé"); }
    bool IsReadOnly() const override { return true; }

private:
    std::string text_;
};

class InfoProperties : public IProperties {
public:
    explicit InfoProperties(std::string shown) : shown_(std::move(shown)) {}
    bool Exists(const std::string& id) override { return id == std::to_string(wia::DIP_DEV_NAME); }
    std::unique_ptr<IProperty> Item(const std::string& id) override {
        if (!Exists(id))
            throw EPlatformError("Propriété " + id + " introuvable");
        return std::make_unique<NameProperty>(shown_);
    }

private:
    std::string shown_;
};

class WorkerDeviceInfo : public IDeviceInfo {
public:
    WorkerDeviceInfo(std::shared_ptr<Connection> connection, Listed listed)
        : connection_(std::move(connection)), listed_(std::move(listed)) {}
    int Type() override {
        auto has = [this](const char* word) {
            return QString::fromStdString(listed_.type)
                .contains(QLatin1String(word), Qt::CaseInsensitive);
        };
        if (has("video"))
            return VideoDeviceType;
        if (has("camera"))
            return CameraDeviceType;
        return ScannerDeviceType;
    }
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<InfoProperties>(listed_.Shown());
    }
    std::shared_ptr<IDevice> Connect() override {
        auto device = std::make_shared<WorkerDevice>(connection_, listed_.name, listed_.Shown());
        connection_->Open(listed_.name, listed_.Shown());
        connection_->Connected(listed_);
        return device;
    }

private:
    std::shared_ptr<Connection> connection_;
    Listed listed_;
};

class WorkerDeviceInfos : public IDeviceInfos {
public:
    WorkerDeviceInfos(std::shared_ptr<Connection> connection, std::vector<Listed> listed,
                      std::string problem = {})
        : connection_(std::move(connection)), listed_(std::move(listed)),
          problem_(std::move(problem)) {}
    int Count() override { return static_cast<int>(listed_.size()); }
    std::unique_ptr<IDeviceInfo> Item(int index) override {
        if (index < 1 || index > Count())
            throw EPlatformError("Argument invalide");
        return std::make_unique<WorkerDeviceInfo>(connection_,
                                                  listed_[static_cast<std::size_t>(index - 1)]);
    }
    std::string Problem() override { return problem_; }

private:
    std::shared_ptr<Connection> connection_;
    std::vector<Listed> listed_;
    std::string problem_;
};

} // namespace

class WorkerDeviceManager : public IDeviceManager {
public:
    explicit WorkerDeviceManager(std::shared_ptr<Connection> connection)
        : connection_(std::move(connection)) {}
    // sane_open by the name the list showed loads that device's backend alone.
    std::shared_ptr<IDevice> ConnectNamed(const std::string& listedName) override {
        const std::string saneName = SaneNameOf(listedName);
        if (saneName.empty() || !connection_->AtHome())
            return nullptr;
        try {
            connection_->Open(saneName, listedName);
        } catch (const EScannerLost&) {
            throw;
        } catch (const EPlatformError&) {
            return nullptr; // not there under that name: the list tells
        }
        Listed known{saneName, {}, {}, {}, listedName};
        connection_->Connected(known);
        return std::make_shared<WorkerDevice>(connection_, saneName, listedName);
    }
    // On the platform's own thread the session's worker lists; any other thread gets a worker
    // of its own. A listing that crashes or does not end gives the scanners known so far (those
    // it sent, the last complete list, the open one) and says why.
    std::unique_ptr<IDeviceInfos> DeviceInfos() override {
        if (auto fresh = connection_->FreshList())
            return std::make_unique<WorkerDeviceInfos>(connection_, std::move(*fresh));
        const Limits limits = ReadLimits();
        Pump pump(connection_->Settings().progress, "Scanners", "Recherche des scanners…", true);
        std::unique_ptr<WorkerProcess> own;
        const bool atHome = connection_->AtHome();
        WorkerProcess& worker =
            atHome ? connection_->Process(&pump)
                   : *(own = std::make_unique<WorkerProcess>(connection_->Settings(), nullptr));
        const std::uint64_t number = worker.Send("list");
        std::vector<Listed> listed;
        std::string problem;
        QElapsedTimer clock;
        clock.start();
        try {
            for (;;) {
                if (std::optional<Message> m = worker.Next(number, 40)) {
                    if (m->type == "device") {
                        if (auto device = DeviceFrom(m->args))
                            listed.push_back(std::move(*device));
                        if (listed.size() > kMaxDevices) {
                            worker.Kill();
                            listed.resize(kMaxDevices);
                            problem = "La recherche des scanners en annonce plus de 1 000 : elle "
                                      "a été arrêtée.";
                            break;
                        }
                    } else if (m->type == "ok") {
                        break;
                    } else if (m->type == "error") {
                        throw EPlatformError(m->args.empty() ? "" : m->args[0]);
                    }
                }
                pump.Tick(0, 0);
                if (pump.CancelRequested()) {
                    worker.Kill();
                    problem = "La recherche des scanners a été annulée.";
                    break;
                }
                if (clock.elapsed() > static_cast<qint64>(limits.first * 1000)) {
                    worker.Kill();
                    problem = "La recherche des scanners ne se termine pas : elle a été arrêtée.";
                    break;
                }
            }
        } catch (const WorkerProcess::Gone&) {
            problem = "La recherche des scanners " + worker.Ending() + ".";
        } catch (const WorkerProcess::Flooded&) {
            worker.Kill();
            problem = kFloodText;
        }
        if (!problem.empty()) {
            if (atHome)
                connection_->Drop();
            return std::make_unique<WorkerDeviceInfos>(
                connection_, connection_->KnownSoFar(std::move(listed)),
                problem + " Seuls les scanners déjà connus sont proposés.");
        }
        connection_->KeepList(listed);
        return std::make_unique<WorkerDeviceInfos>(connection_, std::move(listed));
    }

private:
    std::shared_ptr<Connection> connection_;
};

std::unique_ptr<IDeviceManager> CreateWorkerDeviceManager(std::shared_ptr<Connection> connection) {
    return std::make_unique<WorkerDeviceManager>(std::move(connection));
}

} // namespace velorix::scan::worker
