#pragma once
// The open scanner and its one item as the scanner component sees them: properties answered from
// the connection's table, writes sent to the worker.

#include "scan/client/Connection.h"

namespace velorix::scan::worker {

class WorkerDevice : public IDevice, public std::enable_shared_from_this<WorkerDevice> {
public:
    WorkerDevice(std::shared_ptr<Connection> connection, std::string saneName,
                 std::string shownName)
        : connection_(std::move(connection)), saneName_(std::move(saneName)),
          shownName_(std::move(shownName)) {}
    std::unique_ptr<IProperties> Properties() override;
    std::unique_ptr<IItems> Items() override;

    const Known* Lookup(const std::string& scope, const std::string& id) {
        connection_->Open(saneName_, shownName_);
        return connection_->Lookup(scope, id);
    }
    void Write(const Fields& request) {
        connection_->Open(saneName_, shownName_);
        connection_->Write(request, shownName_);
    }
    Connection& Link() {
        connection_->Open(saneName_, shownName_);
        return *connection_;
    }
    const std::string& ShownName() const { return shownName_; }

private:
    std::shared_ptr<Connection> connection_;
    std::string saneName_, shownName_;
};

class WorkerItem : public IItem {
public:
    explicit WorkerItem(std::shared_ptr<WorkerDevice> device) : device_(std::move(device)) {}
    std::unique_ptr<IProperties> Properties() override;
    WorkerDevice& Device() { return *device_; }

private:
    std::shared_ptr<WorkerDevice> device_;
};

} // namespace velorix::scan::worker
