// The scanner worker: the only process that loads libsane. It answers the program's messages
// one at a time on its main thread; a second thread reads the next ones, so that a cancel reaches
// a scan under way, and ends the process as soon as the program has gone. The link has
// descriptors of its own: what drivers print goes to standard error, and their standard input
// reads nothing.
#include "scan/sane/SaneWorker.h"

#include "scan/link/WorkerLink.h"
#include "scan/sane/SaneLibrary.h"
#include "scan/sane/SaneProperties.h"
#include "scan/sane/SaneTransfer.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace velorix::scan::sane {

namespace {

using worker::DecodeMessage;
using worker::EncodeMessage;
using worker::Fields;
using worker::Message;

std::mutex outMutex;
int linkOut = -1;

void Send(std::uint64_t number, const std::string& type, const Fields& args = {}) {
    const std::string line = EncodeMessage(number, type, args);
    std::lock_guard lock(outMutex);
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(linkOut, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the program has gone: the reader ends this process
        done += static_cast<std::size_t>(n);
    }
}

struct Inbox {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Message> messages;
    TransferState* scan = nullptr; // the scan under way, for a cancel
    std::uint64_t scanNumber = 0;
};

// The name of the last block handed over: the program removes it once it has the block open,
// and this process removes it when the program goes first.
std::mutex blockMutex;
std::string handedBlock;

// The picture into a block of shared memory, named to the program before it is filled, so that
// a worker that dies while filling it leaves the program the name to remove.
void HandOver(std::uint64_t number, const QImage& picture) {
    const std::size_t size = static_cast<std::size_t>(picture.bytesPerLine()) *
                             static_cast<std::size_t>(picture.height());
    worker::SharedBlock::Publish(picture.constBits(), size,
                                 [number, size](const std::string& name) {
                                     {
                                         std::lock_guard lock(blockMutex);
                                         handedBlock = name;
                                     }
                                     Send(number, "block", {name, std::to_string(size)});
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

    void Handle(const Message& m) {
        const std::string& what = m.type;
        const Fields& a = m.args;
        if (what == "preset" && a.size() == 2) {
            presets_.push_back({a[0], a[1]});
            return;
        }
        if (what == "list") {
            for (const DeviceRecord& d : Library()->Devices())
                Send(m.number, "device", {d.name, d.vendor, d.model, d.type});
            Send(m.number, "ok");
        } else if (what == "open" && a.size() == 1) {
            device_.reset();
            device_ = std::make_shared<SaneDevice>(Library(), a[0], presets_);
            SendTable(m.number);
        } else if (what == "set" && a.size() == 4) {
            Properties(a[0])->Item(a[1])->SetValue(FromFields(a[2], a[3]));
            // A write may change other options (a mode changes the depths): the whole table
            // goes back with the answer.
            SendTable(m.number);
        } else if (what == "table") {
            SendTable(m.number);
        } else if (what == "scan") {
            Scan(m.number);
        } else {
            throw EPlatformError("Message inconnu");
        }
    }

private:
    // "ok" followed by five fields a property: scope, id, kind, value (or the message of a value
    // that cannot be read, kind "e"), read-only.
    void SendTable(std::uint64_t number) {
        if (!device_)
            ThrowSane(SANE_STATUS_INVAL);
        Fields reply;
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
        Send(number, "ok", reply);
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

    void Scan(std::uint64_t number) {
        if (!device_)
            ThrowSane(SANE_STATUS_INVAL);
        const ScanDpi dpi = ScanResolutions(*device_);
        TransferState state;
        {
            std::lock_guard lock(inbox_.mutex);
            inbox_.scan = &state;
            inbox_.scanNumber = number;
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
                    Send(number, "progress",
                         {std::to_string(received), std::to_string(state.expected)});
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
            Send(number, "cancelled");
            return;
        }
        const QImage& p = *picture;
        HandOver(number, p);
        Send(number, "picture",
             {std::to_string(p.width()), std::to_string(p.height()),
              std::to_string(p.bytesPerLine()), std::to_string(static_cast<int>(p.format())),
              std::to_string(p.dotsPerMeterX()), std::to_string(p.dotsPerMeterY())});
    }

    Inbox& inbox_;
    std::vector<SaneOptionValue> presets_;
    std::shared_ptr<SaneLibrary> lib_;
    std::shared_ptr<SaneDevice> device_;
};

// The link's own descriptors, taken from standard input and output before any driver is
// loaded; then standard output is standard error and standard input is empty, for the drivers.
int TakeLink(int& in) {
    in = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int empty = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (in < 0 || out < 0 || empty < 0 || ::dup2(empty, STDIN_FILENO) < 0 ||
        ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("velorix-scan-worker");
        ::_exit(2);
    }
    ::close(empty);
    return out;
}

} // namespace

int RunScanWorker() {
    int linkIn = -1;
    linkOut = TakeLink(linkIn);
    // Blocks of workers killed before their program could remove them.
    worker::SharedBlock::SweepOrphans();
    Inbox inbox;
    std::thread reader([&inbox, linkIn] {
        std::string pending;
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(linkIn, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            pending.append(chunk, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                std::optional<Message> m = DecodeMessage(pending.substr(0, end));
                pending.erase(0, end + 1);
                if (!m)
                    continue;
                std::lock_guard lock(inbox.mutex);
                if (m->type == "cancel") {
                    // Only the scan it names; one that came after its scan ended is dropped.
                    if (inbox.scan && inbox.scanNumber == m->number)
                        inbox.scan->cancel = true;
                    continue;
                }
                inbox.messages.push_back(std::move(*m));
                inbox.ready.notify_one();
            }
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
    Send(0, "ready");
    for (;;) {
        Message m;
        {
            std::unique_lock lock(inbox.mutex);
            inbox.ready.wait(lock, [&] { return !inbox.messages.empty(); });
            m = std::move(inbox.messages.front());
            inbox.messages.pop_front();
        }
        try {
            worker.Handle(m);
        } catch (const std::exception& e) {
            Send(m.number, "error", {e.what()});
        }
    }
}

} // namespace velorix::scan::sane
