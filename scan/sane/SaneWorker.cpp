// The scanner worker: the only process that loads libsane. It answers the program's messages
// one at a time on its main thread; a second thread reads the next ones, so that a cancel reaches
// a scan under way, and ends the process as soon as the program has gone.
#include "SaneWorker.h"

#include "../link/WorkerLink.h"
#include "SaneLibrary.h"
#include "SaneProperties.h"
#include "SaneTransfer.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace velorix::scan::sane {

namespace {

using worker::DecodeLine;
using worker::EncodeLine;
using worker::Fields;

std::mutex outMutex;

void Send(const Fields& fields) {
    const std::string line = EncodeLine(fields);
    std::lock_guard lock(outMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

struct Inbox {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Fields> messages;
    TransferState* scan = nullptr; // the scan under way, for a cancel
};

// The name of the last block handed over: the program removes it once it has the block open,
// and this process removes it when the program goes first.
std::mutex blockMutex;
std::string handedBlock;

// The picture into a block of shared memory, named to the program before it is filled, so that
// a worker that dies while filling it leaves the program the name to remove.
void HandOver(const QImage& picture) {
    const std::size_t size = static_cast<std::size_t>(picture.bytesPerLine()) *
                             static_cast<std::size_t>(picture.height());
    worker::SharedBlock::Publish(picture.constBits(), size, [size](const std::string& name) {
        {
            std::lock_guard lock(blockMutex);
            handedBlock = name;
        }
        Send({"block", name, std::to_string(size)});
    });
}

TVariant FromFields(const std::string& kind, const std::string& value) {
    if (kind == "i")
        return VariantToInt(value);
    if (kind == "s")
        return value;
    return {};
}

Fields ToFields(const TVariant& value) {
    if (const auto* i = std::get_if<std::int32_t>(&value))
        return {"i", std::to_string(*i)};
    if (const auto* s = std::get_if<std::string>(&value))
        return {"s", *s};
    return {"n", ""};
}

class Worker {
public:
    explicit Worker(Inbox& inbox) : inbox_(inbox) {}

    void Handle(const Fields& m) {
        const std::string& what = m[0];
        if (what == "preset" && m.size() == 3) {
            presets_.push_back({m[1], m[2]});
            return;
        }
        if (what == "list") {
            for (const DeviceRecord& d : Library()->Devices())
                Send({"device", d.name, d.vendor, d.model, d.type});
            Send({"ok"});
        } else if (what == "open" && m.size() == 2) {
            device_.reset();
            device_ = std::make_shared<SaneDevice>(Library(), m[1], presets_);
            SendTable();
        } else if (what == "set" && m.size() == 5) {
            Properties(m[1])->Item(m[2])->SetValue(FromFields(m[3], m[4]));
            // A write may change other options (a mode changes the depths): the whole table
            // goes back with the answer.
            SendTable();
        } else if (what == "table") {
            SendTable();
        } else if (what == "scan") {
            Scan();
        } else if (what == "cancel") {
            // Came after its scan ended: nothing to stop, and nobody waits for an answer.
        } else {
            throw EPlatformError("Message inconnu");
        }
    }

private:
    // "ok" followed by five fields a property: scope, id, kind, value (or the message of a value
    // that cannot be read, kind "e"), read-only.
    void SendTable() {
        if (!device_)
            ThrowSane(SANE_STATUS_INVAL);
        Fields reply{"ok"};
        for (const PropertyRow& row : PropertyTable(*device_)) {
            reply.push_back(row.item ? "item" : "device");
            reply.push_back(std::to_string(row.id));
            if (!row.error.empty()) {
                reply.push_back("e");
                reply.push_back(row.error);
            } else {
                for (std::string& f : ToFields(row.value))
                    reply.push_back(std::move(f));
            }
            reply.push_back(row.readOnly ? "1" : "0");
        }
        Send(reply);
    }

    std::shared_ptr<SaneLibrary> Library() {
        if (!lib_)
            lib_ = SaneLibrary::Get();
        return lib_;
    }
    std::unique_ptr<IProperties> Properties(const std::string& scope) {
        if (!device_)
            ThrowSane(SANE_STATUS_INVAL);
        if (scope == "device")
            return device_->Properties();
        return SaneItem(device_).Properties();
    }

    void Scan() {
        if (!device_)
            ThrowSane(SANE_STATUS_INVAL);
        const ScanDpi dpi = ScanResolutions(*device_);
        TransferState state;
        {
            std::lock_guard lock(inbox_.mutex);
            inbox_.scan = &state;
        }
        // Progress goes out while the bytes come, which is also what the program's watchdog
        // watches.
        // The end of the scan wakes it at once: the page is not held up by a pause.
        std::mutex doneMutex;
        std::condition_variable doneSignal;
        bool done = false;
        std::thread progress([&] {
            long long last = -1;
            std::unique_lock lock(doneMutex);
            while (!done) {
                const long long received = state.received;
                if (received != last) {
                    Send({"progress", std::to_string(received), std::to_string(state.expected)});
                    last = received;
                }
                doneSignal.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; });
            }
        });
        std::optional<QImage> picture;
        std::exception_ptr error;
        try {
            picture = ReadScan(device_->Handle(), state, dpi.x, dpi.y);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(doneMutex);
            done = true;
        }
        doneSignal.notify_one();
        progress.join();
        {
            std::lock_guard lock(inbox_.mutex);
            inbox_.scan = nullptr;
        }
        if (error)
            std::rethrow_exception(error);
        if (!picture) {
            Send({"cancelled"});
            return;
        }
        const QImage& p = *picture;
        HandOver(p);
        Send({"picture", std::to_string(p.width()), std::to_string(p.height()),
              std::to_string(p.bytesPerLine()), std::to_string(static_cast<int>(p.format())),
              std::to_string(p.dotsPerMeterX()), std::to_string(p.dotsPerMeterY())});
    }

    Inbox& inbox_;
    std::vector<SaneOptionValue> presets_;
    std::shared_ptr<SaneLibrary> lib_;
    std::shared_ptr<SaneDevice> device_;
};

} // namespace

int RunScanWorker() {
    // Blocks of workers killed before their program could remove them.
    worker::SharedBlock::SweepOrphans();
    Inbox inbox;
    std::thread reader([&inbox] {
        std::string line;
        while (std::getline(std::cin, line)) {
            Fields m = DecodeLine(line);
            std::lock_guard lock(inbox.mutex);
            if (!m.empty() && m[0] == "cancel" && inbox.scan) {
                inbox.scan->cancel = true;
                continue;
            }
            inbox.messages.push_back(std::move(m));
            inbox.ready.notify_one();
        }
        // The program has gone, or closed the link to stop us: a driver still busy must not
        // keep the process alive, nor a block the program never opened stay behind.
        {
            std::lock_guard lock(blockMutex);
            if (!handedBlock.empty())
                worker::SharedBlock::Discard(handedBlock);
        }
        std::fflush(stdout);
        ::_exit(0);
    });
    reader.detach();
    Worker worker(inbox);
    Send({"ready"});
    for (;;) {
        Fields m;
        {
            std::unique_lock lock(inbox.mutex);
            inbox.ready.wait(lock, [&] { return !inbox.messages.empty(); });
            m = std::move(inbox.messages.front());
            inbox.messages.pop_front();
        }
        if (m.empty())
            continue;
        try {
            worker.Handle(m);
        } catch (const std::exception& e) {
            Send({"error", e.what()});
        }
    }
}

} // namespace velorix::scan::sane
