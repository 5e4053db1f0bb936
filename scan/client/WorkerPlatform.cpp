#include "scan/client/WorkerPlatform.h"

#include "scan/client/Connection.h"
#include "scan/client/WorkerListing.h"
#include "scan/client/WorkerTransfer.h"

namespace velorix::scan::worker {

namespace {

class WorkerPlatform : public IScanPlatform {
public:
    explicit WorkerPlatform(std::vector<OptionPreset> presets)
        : connection_(std::make_shared<Connection>(Context{std::move(presets), {}})) {}
    std::string Name() const override { return "sane"; }
    std::unique_ptr<IDeviceManager> CreateDeviceManager() override {
        return CreateWorkerDeviceManager(connection_);
    }
    std::unique_ptr<ICommonDialog> CreateCommonDialog() override {
        return CreateWorkerDialog(connection_);
    }
    void SetProgressWindows(ScanProgressFactory factory) override {
        connection_->Settings().progress = std::move(factory);
    }

private:
    std::shared_ptr<Connection> connection_;
};

} // namespace

std::shared_ptr<IScanPlatform> CreateWorkerScanPlatform(std::vector<OptionPreset> presets) {
    return std::make_shared<WorkerPlatform>(std::move(presets));
}

} // namespace velorix::scan::worker
