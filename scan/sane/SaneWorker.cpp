// The scanner worker: the only process that loads libsane. It answers the program's messages
// one at a time on its main thread; a second thread reads the next ones, so that a cancel reaches
// a scan under way, and ends the process as soon as the program has gone. The link has
// descriptors of its own: what drivers print goes to standard error, and their standard input
// reads nothing.
#include "scan/sane/SaneWorker.h"

#include "scan/ScanSettings.h"
#include "scan/ScanSources.h"
#include "scan/link/WorkerLink.h"
#include "scan/sane/SaneError.h"
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
    TransferState* scan = nullptr; // the page under way, for a cancel
    std::uint64_t scanNumber = 0;  // the scan or stack under way
    bool cancelled = false;        // its cancel came (between two pages of a stack too)
    long long taken = 0;           // pages of the stack the program has taken
    std::condition_variable flow;  // a page taken, or the cancel
};

// The names of the blocks handed over in the current request: the program removes each once it
// has the block open, and this process removes them when the program goes first.
std::mutex blockMutex;
std::vector<std::string> handedBlocks;

// The picture into a block of shared memory, named to the program before it is filled, so that
// a worker that dies while filling it leaves the program the name to remove.
void HandOver(std::uint64_t number, const QImage& picture) {
    const std::size_t size = static_cast<std::size_t>(picture.bytesPerLine()) *
                             static_cast<std::size_t>(picture.height());
    worker::SharedBlock::Publish(picture.constBits(), size,
                                 [number, size](const std::string& name) {
                                     {
                                         std::lock_guard lock(blockMutex);
                                         handedBlocks.push_back(name);
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
        } else if (what == "stack") {
            const std::optional<ScanSettings> settings = worker::DecodeSettings(a);
            if (!settings)
                throw EPlatformError("Message inconnu");
            Stack(m.number, *settings);
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
        Begin(number);
        std::optional<QImage> picture = ReadWithProgress(number, [&](TransferState& state) {
            return ReadScan(device_->Handle(), state, dpi.x, dpi.y);
        });
        if (!picture) {
            Send(number, "cancelled");
            return;
        }
        SendPicture(number, *picture);
    }

    // Every setting written here, in the step's order, then sheet after sheet in one session:
    // no question goes back and forth between two pages.
    void Stack(std::uint64_t number, const ScanSettings& settings) {
        if (!device_)
            ThrowSane(SANE_STATUS_INVAL);
        const SettingsOutcome outcome = ApplyScanSettings(*DeviceTarget(*device_), settings);
        if (outcome != SettingsOutcome::Applied) {
            Send(number, "refused",
                 {outcome == SettingsOutcome::Incompatible ? "incompatible" : "resolution"});
            return;
        }
        const ScanDpi dpi = ScanResolutions(*device_);
        // A flatbed holds one sheet, whatever was asked: it never says it is empty.
        const int pages = FeederChosen() ? device_->pages : 1;
        Begin(number);
        ScanSession session(device_->Handle());
        for (int made = 0; pages == 0 ? made < worker::kMaxStackPages : made < pages; ++made) {
            {
                // At most two pages ahead of the program, so that a busy program does not
                // gather the whole stack in shared memory.
                std::unique_lock lock(inbox_.mutex);
                inbox_.flow.wait(lock, [&] { return inbox_.cancelled || made - inbox_.taken < 2; });
                if (inbox_.cancelled) {
                    session.EndedCleanly();
                    End();
                    Send(number, "cancelled");
                    return;
                }
            }
            std::optional<QImage> picture;
            try {
                picture = ReadWithProgress(number, [&](TransferState& state) {
                    return ReadPage(device_->Handle(), state, dpi.x, dpi.y);
                });
            } catch (const EFeederStop& e) {
                End();
                if (e.Reason() == FeederReason::Empty) {
                    session.EndedCleanly();
                    Send(number, made == 0 ? "empty" : "done");
                } else {
                    Send(number, "failed",
                         {e.Reason() == FeederReason::Jam         ? "jam"
                          : e.Reason() == FeederReason::CoverOpen ? "cover"
                                                                  : "other",
                          e.what()});
                }
                return;
            } catch (const std::exception& e) {
                End();
                Send(number, "failed", {"other", e.what()});
                return;
            }
            if (!picture) {
                session.EndedCleanly();
                End();
                Send(number, "cancelled");
                return;
            }
            SendPicture(number, *picture);
        }
        session.EndedCleanly();
        End();
        Send(number, "done");
    }

    bool FeederChosen() {
        Options o = device_->Opts();
        const int i = o.Find(SANE_NAME_SCAN_SOURCE);
        if (i < 0 || o.Desc(i)->type != SANE_TYPE_STRING)
            return false;
        const std::optional<SourceKind> kind = ClassifySource(o.GetString(i));
        return kind && IsFeeder(*kind);
    }

    void Begin(std::uint64_t number) {
        std::lock_guard lock(inbox_.mutex);
        inbox_.scanNumber = number;
        inbox_.cancelled = false;
        inbox_.taken = 0;
        std::lock_guard blocks(blockMutex);
        handedBlocks.clear(); // the program had every block of the last request open
    }
    void End() {
        std::lock_guard lock(inbox_.mutex);
        inbox_.scanNumber = 0;
    }

    // One page read with its progress going out while the bytes come, which is also what the
    // program's watchdog watches; the page's end wakes the progress at once.
    template <typename Read>
    std::optional<QImage> ReadWithProgress(std::uint64_t number, Read read) {
        TransferState state;
        {
            std::lock_guard lock(inbox_.mutex);
            inbox_.scan = &state;
            if (inbox_.cancelled)
                state.cancel = true;
        }
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
            picture = read(state);
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
        return picture;
    }

    void SendPicture(std::uint64_t number, const QImage& p) {
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
                    if (inbox.scanNumber != 0 && inbox.scanNumber == m->number) {
                        inbox.cancelled = true;
                        if (inbox.scan)
                            inbox.scan->cancel = true;
                        inbox.flow.notify_one();
                    }
                    continue;
                }
                if (m->type == "took") {
                    if (inbox.scanNumber != 0 && inbox.scanNumber == m->number) {
                        ++inbox.taken;
                        inbox.flow.notify_one();
                    }
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
            for (const std::string& name : handedBlocks)
                worker::SharedBlock::Discard(name);
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
