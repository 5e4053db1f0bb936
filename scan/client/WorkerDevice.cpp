#include "scan/client/WorkerDevice.h"

namespace velorix::scan::worker {

namespace {

class WorkerProperty : public IProperty {
public:
    WorkerProperty(std::shared_ptr<WorkerDevice> device, std::string scope, std::string id)
        : device_(std::move(device)), scope_(std::move(scope)), id_(std::move(id)) {}
    TVariant Value() const override;
    void SetValue(const TVariant& value) override;
    bool IsReadOnly() const override;

private:
    const Known& Get() const;
    std::shared_ptr<WorkerDevice> device_;
    std::string scope_, id_;
};

class WorkerProperties : public IProperties {
public:
    WorkerProperties(std::shared_ptr<WorkerDevice> device, std::string scope)
        : device_(std::move(device)), scope_(std::move(scope)) {}
    bool Exists(const std::string& id) override;
    std::unique_ptr<IProperty> Item(const std::string& id) override;

private:
    std::shared_ptr<WorkerDevice> device_;
    std::string scope_;
};

} // namespace

std::unique_ptr<IProperties> WorkerDevice::Properties() {
    return std::make_unique<WorkerProperties>(shared_from_this(), "device");
}

const Known& WorkerProperty::Get() const {
    const Known* known = device_->Lookup(scope_, id_);
    if (!known)
        throw EPlatformError("Propriété " + id_ + " introuvable");
    return *known;
}
TVariant WorkerProperty::Value() const {
    const Known& known = Get();
    if (known.kind == "e")
        throw EPlatformError(known.value);
    if (known.kind == "i")
        return VariantToInt(known.value);
    if (known.kind == "s")
        return known.value;
    return {};
}
bool WorkerProperty::IsReadOnly() const {
    return Get().readOnly;
}
void WorkerProperty::SetValue(const TVariant& value) {
    if (const auto* i = std::get_if<std::int32_t>(&value))
        device_->Write({"set", scope_, id_, "i", std::to_string(*i)});
    else if (const auto* s = std::get_if<std::string>(&value))
        device_->Write({"set", scope_, id_, "s", *s});
    else
        device_->Write({"set", scope_, id_, "n", ""});
}

bool WorkerProperties::Exists(const std::string& id) {
    return device_->Lookup(scope_, id) != nullptr;
}
std::unique_ptr<IProperty> WorkerProperties::Item(const std::string& id) {
    auto property = std::make_unique<WorkerProperty>(device_, scope_, id);
    property->IsReadOnly(); // raises as the backend does for an id it does not have
    return property;
}

namespace {

class WorkerItems : public IItems {
public:
    explicit WorkerItems(std::shared_ptr<WorkerDevice> device) : device_(std::move(device)) {}
    int Count() override { return 1; }
    std::unique_ptr<IItem> Item(int index) override {
        if (index != 1)
            throw EPlatformError("Argument invalide");
        return std::make_unique<WorkerItem>(device_);
    }

private:
    std::shared_ptr<WorkerDevice> device_;
};

} // namespace

std::unique_ptr<IProperties> WorkerItem::Properties() {
    return std::make_unique<WorkerProperties>(device_, "item");
}

std::unique_ptr<IItems> WorkerDevice::Items() {
    return std::make_unique<WorkerItems>(shared_from_this());
}

} // namespace velorix::scan::worker
