#include "scan/sane/inprocess/InProcessSanePlatform.h"

#include "scan/link/SaneFrames.h"
#include "scan/sane/SaneLibrary.h"
#include "scan/sane/SaneProperties.h"
#include "scan/sane/SaneTransfer.h"
#include "waits/Waits.h"
#include "waits/WakeUp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

namespace velorix::scan::sane {

namespace {

// Runs work; called on the user-interface thread of a widget application, the work runs on a
// thread of its own while the progress window made by `progress` (the scanner layer's own dialog
// when empty), with a Cancel button when cancellable, keeps painting. Exceptions of the work are
// raised again here.
void RunWithProgress(const ScanProgressFactory& progress, const std::string& title,
                     const std::string& text, TransferState* cancellable,
                     const std::function<void()>& work) {
    // Windows belong to the user-interface thread: elsewhere (the scanner list made in the
    // background) the work just runs.
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app) || QThread::currentThread() != app->thread()) {
        work();
        return;
    }
    std::exception_ptr error;
    std::atomic<bool> done{false};
    // Lives on this thread and outlives the worker: the worker's wake-up call is posted to it,
    // and one never delivered goes with it. Its delivery alone ends the wait's pass.
    TWakeUp waker([] {});
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        // The wait ends at once rather than at its next tick: a command making several calls
        // in a row (list, connect, scan) would otherwise wait up to a tick after each.
        waker.Post();
    });

    {
        const std::unique_ptr<IScanProgress> window =
            progress ? progress(title, text, cancellable != nullptr)
                     : CreateScanProgressDialog(title, text, cancellable != nullptr);
        QElapsedTimer clock;
        clock.start();
        // Short work shows no window at all; a scan always shows it.
        const qint64 showAfterMs = cancellable ? 0 : 300;
        waits::Until([&] {
            if (done)
                return true;
            if (!window->IsShown() && clock.elapsed() >= showAfterMs)
                window->Show();
            if (cancellable) {
                if (window->CancelRequested())
                    cancellable->cancel = true;
                const long long expected = cancellable->expected;
                if (expected > 0)
                    window->SetDone(static_cast<double>(cancellable->received) /
                                    static_cast<double>(expected));
            }
            return false;
        });
        window->Finish();
    }
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

// ---------------------------------------------------------------------------------------------
// Device list.

// What every object of one platform shares: the presets written into each device it opens, and
// the program's progress windows.
struct SaneContext {
    std::vector<SaneOptionValue> presets;
    ScanProgressFactory progress;
};

class NameProperty : public IProperty {
public:
    explicit NameProperty(std::string text) : text_(std::move(text)) {}
    TVariant Value() const override { return text_; }
    void SetValue(const TVariant&) override { ThrowSane(SANE_STATUS_ACCESS_DENIED); }
    bool IsReadOnly() const override { return true; }

private:
    std::string text_;
};

class InfoProperties : public IProperties {
public:
    explicit InfoProperties(std::string listed) : listed_(std::move(listed)) {}
    bool Exists(const std::string& id) override { return ParseId(id) == wia::DIP_DEV_NAME; }
    std::unique_ptr<IProperty> Item(const std::string& id) override {
        if (!Exists(id))
            throw EPlatformError(NotFound(id));
        return std::make_unique<NameProperty>(listed_);
    }

private:
    std::string listed_;
};

class SaneDeviceInfo : public IDeviceInfo {
public:
    SaneDeviceInfo(std::shared_ptr<SaneLibrary> lib, DeviceRecord rec,
                   std::shared_ptr<SaneContext> context)
        : lib_(std::move(lib)), rec_(std::move(rec)), context_(std::move(context)) {}
    int Type() override {
        if (ContainsNoCase(rec_.type, "video"))
            return VideoDeviceType;
        if (ContainsNoCase(rec_.type, "camera"))
            return CameraDeviceType;
        return ScannerDeviceType;
    }
    // Readable and unique: vendor and model as the backend tells them, then SANE's device name.
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<InfoProperties>(rec_.vendor + " " + rec_.model + " (" + rec_.name +
                                                ")");
    }
    // Opening a network scanner can take a while too.
    std::shared_ptr<IDevice> Connect() override {
        std::shared_ptr<IDevice> device;
        RunWithProgress(context_->progress, "Scanners", "Connexion au scanner…", nullptr, [&] {
            device = std::make_shared<SaneDevice>(lib_, rec_.name, context_->presets);
        });
        return device;
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    DeviceRecord rec_;
    std::shared_ptr<SaneContext> context_;
};

class SaneDeviceInfos : public IDeviceInfos {
public:
    SaneDeviceInfos(std::shared_ptr<SaneLibrary> lib, std::vector<DeviceRecord> recs,
                    std::shared_ptr<SaneContext> context)
        : lib_(std::move(lib)), recs_(std::move(recs)), context_(std::move(context)) {}
    int Count() override { return static_cast<int>(recs_.size()); }
    std::unique_ptr<IDeviceInfo> Item(int index) override {
        if (index < 1 || index > Count())
            ThrowSane(SANE_STATUS_INVAL);
        return std::make_unique<SaneDeviceInfo>(lib_, recs_[static_cast<std::size_t>(index - 1)],
                                                context_);
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    std::vector<DeviceRecord> recs_;
    std::shared_ptr<SaneContext> context_;
};

class SaneDeviceManager : public IDeviceManager {
public:
    SaneDeviceManager(std::shared_ptr<SaneLibrary> lib, std::shared_ptr<SaneContext> context)
        : lib_(std::move(lib)), context_(std::move(context)) {}
    std::unique_ptr<IDeviceInfos> DeviceInfos() override {
        std::vector<DeviceRecord> recs;
        // Asking every backend can take seconds: the user sees a window meanwhile.
        RunWithProgress(context_->progress, "Scanners", "Recherche des scanners…", nullptr,
                        [&] { recs = lib_->Devices(); });
        return std::make_unique<SaneDeviceInfos>(lib_, std::move(recs), context_);
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    std::shared_ptr<SaneContext> context_;
};

// ---------------------------------------------------------------------------------------------
// Transfer.

class SaneCommonDialog : public ICommonDialog {
public:
    explicit SaneCommonDialog(std::shared_ptr<SaneContext> context)
        : context_(std::move(context)) {}
    std::unique_ptr<IImageFile> ShowTransfer(IItem& item, const std::string& formatId,
                                             bool cancelError) override {
        auto* saneItem = dynamic_cast<SaneItem*>(&item);
        if (!saneItem || formatId != wia::ImgFmt_BMP)
            ThrowSane(SANE_STATUS_UNSUPPORTED);
        SaneDevice& dev = saneItem->Device();
        const ScanDpi dpi = ScanResolutions(dev);
        TransferState state;
        std::optional<QImage> picture;
        RunWithProgress(context_->progress, "Numérisation", "Numérisation en cours…", &state,
                        [&] { picture = ReadScan(dev.Handle(), state, dpi.x, dpi.y); });
        if (!picture) {
            if (cancelError)
                ThrowSane(SANE_STATUS_CANCELLED);
            return nullptr;
        }
        return PictureFile(std::move(*picture));
    }

private:
    std::shared_ptr<SaneContext> context_;
};

class SanePlatform : public IScanPlatform {
public:
    explicit SanePlatform(std::vector<SaneOptionValue> presets)
        : context_(std::make_shared<SaneContext>(SaneContext{std::move(presets), {}})) {}
    std::string Name() const override { return "sane"; }
    // libsane stays initialised as long as the platform lives, so the device list and open
    // devices are not lost between two calls.
    std::unique_ptr<IDeviceManager> CreateDeviceManager() override {
        if (!lib_)
            lib_ = SaneLibrary::Get();
        return std::make_unique<SaneDeviceManager>(lib_, context_);
    }
    std::unique_ptr<ICommonDialog> CreateCommonDialog() override {
        return std::make_unique<SaneCommonDialog>(context_);
    }
    void SetProgressWindows(ScanProgressFactory factory) override {
        context_->progress = std::move(factory);
    }

private:
    std::shared_ptr<SaneLibrary> lib_;
    std::shared_ptr<SaneContext> context_;
};

} // namespace

std::shared_ptr<IScanPlatform> CreateInProcessSanePlatform(std::vector<SaneOptionValue> presets) {
    return std::make_shared<SanePlatform>(std::move(presets));
}

} // namespace velorix::scan::sane
