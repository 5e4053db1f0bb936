#include "tests/scan/FakeScanPlatform.h"

#include <QBuffer>
#include <QImage>

#include <chrono>
#include <fstream>
#include <thread>

namespace fake {

using namespace velorix::scan;

namespace {

int ToId(const std::string& id) {
    return std::stoi(id);
}

class FakeProperty : public IProperty {
public:
    FakeProperty(PropSet& set, int id) : set_(set), id_(id) {}
    TVariant Value() const override { return set_.props.at(id_).value; }
    void SetValue(const TVariant& value) override {
        Prop& p = set_.props.at(id_);
        if (p.failSet || p.readOnly)
            throw EPlatformError("refused");
        p.value = value;
        if (set_.log)
            set_.log->push_back(set_.scope + " " + std::to_string(id_) + "=" +
                                VariantToText(value));
    }
    bool IsReadOnly() const override {
        const Prop& p = set_.props.at(id_);
        if (p.failReadOnly)
            throw EPlatformError("no answer");
        return p.readOnly;
    }

private:
    PropSet& set_;
    int id_;
};

class FakeProperties : public IProperties {
public:
    FakeProperties(std::shared_ptr<DeviceData> keep, PropSet& set)
        : keep_(std::move(keep)), set_(set) {}
    bool Exists(const std::string& id) override {
        if (set_.failExists.count(ToId(id)))
            throw EPlatformError("no answer");
        return set_.props.count(ToId(id)) != 0;
    }
    std::unique_ptr<IProperty> Item(const std::string& id) override {
        if (!set_.props.count(ToId(id)))
            throw EPlatformError("not found");
        return std::make_unique<FakeProperty>(set_, ToId(id));
    }

private:
    std::shared_ptr<DeviceData> keep_;
    PropSet& set_;
};

class FakeItem : public IItem {
public:
    explicit FakeItem(std::shared_ptr<DeviceData> d) : d_(std::move(d)) {}
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<FakeProperties>(d_, d_->item);
    }

private:
    std::shared_ptr<DeviceData> d_;
};

class FakeItems : public IItems {
public:
    explicit FakeItems(std::shared_ptr<DeviceData> d) : d_(std::move(d)) {}
    int Count() override { return 1; }
    std::unique_ptr<IItem> Item(int index) override {
        if (index != 1 || d_->failItems)
            throw EPlatformError("no item");
        return std::make_unique<FakeItem>(d_);
    }

private:
    std::shared_ptr<DeviceData> d_;
};

class FakeDevice : public IDevice {
public:
    FakeDevice(std::shared_ptr<Script> s, std::shared_ptr<DeviceData> d)
        : s_(std::move(s)), d_(std::move(d)) {
        ++s_->liveDevices;
    }
    ~FakeDevice() override { --s_->liveDevices; }
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<FakeProperties>(d_, d_->device);
    }
    std::unique_ptr<IItems> Items() override { return std::make_unique<FakeItems>(d_); }
    DeviceData& Data() { return *d_; }

private:
    std::shared_ptr<Script> s_;
    std::shared_ptr<DeviceData> d_;
};

class NameProps : public IProperties {
public:
    explicit NameProps(const DeviceEntry& e) : e_(e) {}
    bool Exists(const std::string& id) override { return ToId(id) == wia::DIP_DEV_NAME; }
    std::unique_ptr<IProperty> Item(const std::string& id) override {
        if (ToId(id) != wia::DIP_DEV_NAME || e_.failName)
            throw EPlatformError("device does not answer");
        return std::make_unique<FakeProperty>(names_, wia::DIP_DEV_NAME);
    }

private:
    const DeviceEntry& e_;
    PropSet names_{{{wia::DIP_DEV_NAME, Prop{e_.name, true}}}, {}, "info", nullptr};
};

class FakeInfo : public IDeviceInfo {
public:
    FakeInfo(std::shared_ptr<Script> s, std::size_t i) : s_(std::move(s)), i_(i) {}
    int Type() override { return s_->devices[i_].type; }
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<NameProps>(s_->devices[i_]);
    }
    std::shared_ptr<IDevice> Connect() override {
        DeviceEntry& e = s_->devices[i_];
        if (e.failConnect)
            throw EPlatformError("connect failed");
        ++s_->connects;
        e.data->device.log = e.data->item.log = &s_->log;
        e.data->device.scope = "device";
        e.data->item.scope = "item";
        return std::make_shared<FakeDevice>(s_, e.data);
    }

private:
    std::shared_ptr<Script> s_;
    std::size_t i_;
};

class FakeInfos : public IDeviceInfos {
public:
    explicit FakeInfos(std::shared_ptr<Script> s) : s_(std::move(s)) {}
    int Count() override { return static_cast<int>(s_->devices.size()); }
    std::unique_ptr<IDeviceInfo> Item(int index) override {
        if (index == s_->failAtInfo)
            throw EPlatformError("device does not answer");
        return std::make_unique<FakeInfo>(s_, static_cast<std::size_t>(index - 1));
    }

private:
    std::shared_ptr<Script> s_;
};

class FakeManager : public IDeviceManager {
public:
    explicit FakeManager(std::shared_ptr<Script> s) : s_(std::move(s)) {}
    std::unique_ptr<IDeviceInfos> DeviceInfos() override {
        if (s_->listGate.valid())
            s_->listGate.wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(s_->listDelayMs));
        if (s_->onListed)
            s_->onListed();
        return std::make_unique<FakeInfos>(s_);
    }

private:
    std::shared_ptr<Script> s_;
};

class FakeImageFile : public IImageFile {
public:
    explicit FakeImageFile(std::shared_ptr<Script> s) : s_(std::move(s)) {}
    std::string FormatID() override { return s_->formatId; }
    std::vector<std::uint8_t> FileData() override { return s_->bytes; }
    void SaveFile(const std::string& fileName) override {
        s_->log.push_back("save " + fileName);
        std::ofstream out(fileName, std::ios::binary);
        out.write(reinterpret_cast<const char*>(s_->bytes.data()),
                  static_cast<std::streamsize>(s_->bytes.size()));
        if (!out)
            throw EPlatformError("cannot write");
    }

private:
    std::shared_ptr<Script> s_;
};

class FakeDialog : public ICommonDialog {
public:
    explicit FakeDialog(std::shared_ptr<Script> s) : s_(std::move(s)) {}
    std::unique_ptr<IImageFile> ShowTransfer(IItem&, const std::string& formatId, bool) override {
        s_->log.push_back("transfer");
        s_->transferFormat = formatId;
        if (!s_->nextPages.empty()) {
            s_->bytes = s_->nextPages.front();
            s_->nextPages.erase(s_->nextPages.begin());
        }
        Outcome outcome = s_->outcome;
        if (!s_->nextOutcomes.empty()) {
            outcome = s_->nextOutcomes.front();
            s_->nextOutcomes.erase(s_->nextOutcomes.begin());
        }
        switch (outcome) {
        case Outcome::Cancel:
            return nullptr;
        case Outcome::Error:
            throw EPlatformError("paper jam");
        case Outcome::FeederEmpty:
            throw EFeederStop(FeederReason::Empty, "out of documents");
        case Outcome::Jam:
            throw EFeederStop(FeederReason::Jam, "jammed");
        case Outcome::Image:
            break;
        }
        return std::make_unique<FakeImageFile>(s_);
    }

private:
    std::shared_ptr<Script> s_;
};

class FakePlatform : public IScanPlatform {
public:
    explicit FakePlatform(std::shared_ptr<Script> s) : s_(std::move(s)) {}
    std::string Name() const override { return "fake"; }
    std::unique_ptr<IDeviceManager> CreateDeviceManager() override {
        if (s_->failManager)
            throw EPlatformError("not available");
        ++s_->managers;
        return std::make_unique<FakeManager>(s_);
    }
    std::unique_ptr<ICommonDialog> CreateCommonDialog() override {
        return std::make_unique<FakeDialog>(s_);
    }

private:
    std::shared_ptr<Script> s_;
};

std::vector<std::uint8_t> Encode(int w, int h, const char* fmt) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(10, 120, 200));
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, fmt);
    return {data.begin(), data.end()};
}

} // namespace

DeviceEntry StandardScanner(const std::string& name) {
    DeviceEntry e;
    e.name = name;
    auto& dev = e.data->device.props;
    dev[wia::DPS_HORIZONTAL_BED_SIZE] = Prop{std::int32_t{8500}, true};
    dev[wia::DPS_VERTICAL_BED_SIZE] = Prop{std::int32_t{11693}, true};
    dev[wia::DPS_OPTICAL_YRES] = Prop{std::int32_t{1200}, true};
    auto& item = e.data->item.props;
    for (int id : {wia::IPA_DATATYPE, wia::IPS_CUR_INTENT, wia::IPA_DEPTH, wia::IPS_XRES,
                   wia::IPS_YRES, wia::IPS_XPOS, wia::IPS_YPOS, wia::IPS_XEXTENT, wia::IPS_YEXTENT})
        item[id] = Prop{std::int32_t{0}};
    return e;
}

std::shared_ptr<IScanPlatform> MakePlatform(std::shared_ptr<Script> script) {
    return std::make_shared<FakePlatform>(std::move(script));
}

std::vector<std::uint8_t> SmallBmp(int w, int h) {
    return Encode(w, h, "BMP");
}
std::vector<std::uint8_t> SmallJpeg(int w, int h) {
    return Encode(w, h, "JPEG");
}

} // namespace fake
