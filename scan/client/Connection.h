#pragma once
// The worker of the session as the platform's objects share it: the open device, the property
// table the worker last sent, and the scanners last listed.

#include "scan/client/Answers.h"
#include "scan/client/Watchdog.h"
#include "scan/client/WorkerProcess.h"

#include <QElapsedTimer>
#include <QThread>

#include <mutex>

namespace velorix::scan::worker {

// The SANE name a listed name ends with, "(name)"; empty when it has none.
std::string SaneNameOf(const std::string& listed);

// The worker that holds the open device, shared by the platform's objects.
class Connection {
public:
    explicit Connection(Context context)
        : context_(std::move(context)), home_(QThread::currentThread()) {}
    // The worker of the session lives on the thread that made the platform; other threads
    // (the window's background list) get a worker of their own.
    bool AtHome() const { return QThread::currentThread() == home_; }
    Context& Settings() { return context_; }

    // The session's worker, started when there is none (pump: the window of the call that
    // needs it, which paints while it starts).
    WorkerProcess& Process(Pump* pump = nullptr) {
        if (process_ && !process_->Running())
            process_.reset();
        if (!process_) {
            process_ = std::make_unique<WorkerProcess>(context_, pump);
            openDevice_.clear();
        }
        return *process_;
    }
    // After a death or a kill: the next call starts a fresh worker.
    void Drop() {
        process_.reset();
        openDevice_.clear();
        table_.clear();
    }

    // Opens the device in the worker unless it is open there already; a fresh worker opens it
    // by its name again, with no listing.
    void Open(const std::string& saneName, const std::string& shownName) {
        if (process_ && process_->Running() && openDevice_ == saneName)
            return;
        table_ = TableFrom(Call("open", {saneName}, shownName, "Connexion au scanner…"));
        openDevice_ = saneName;
    }

    // The open device's properties are answered from the table the worker sent with the last
    // open or write: reading them costs no message.
    const Known* Lookup(const std::string& scope, const std::string& id) const {
        const auto found = table_.find({scope, id});
        return found == table_.end() ? nullptr : &found->second;
    }
    // request: the type, then the arguments.
    void Write(const Fields& request, const std::string& shownName) {
        table_ =
            TableFrom(Call(request.at(0), Fields(request.begin() + 1, request.end()), shownName));
    }

    // One request and its answer's arguments, behind a progress window (waitText, or a
    // generic one) with "Annuler", under the watchdog; "error" answers become exceptions.
    Fields Call(const std::string& type, const Fields& args, const std::string& shownName,
                const char* waitText = nullptr);

    // Asking every backend takes seconds and a command lists twice in a row (the list, then
    // the scanner's connection): a list younger than this is reused. Any thread may list.
    static constexpr qint64 kListFreshMs = 10000;
    std::optional<std::vector<Listed>> FreshList() {
        std::lock_guard lock(listMutex_);
        if (listed_ && listedAt_.isValid() && listedAt_.elapsed() < kListFreshMs)
            return listed_;
        return std::nullopt;
    }
    void KeepList(const std::vector<Listed>& listed) {
        std::lock_guard lock(listMutex_);
        listed_ = listed;
        lastComplete_ = listed;
        listedAt_.start();
    }
    // After a listing that failed: what it sent, then the last complete list and the scanner
    // last connected, each once.
    std::vector<Listed> KnownSoFar(std::vector<Listed> listed) {
        std::lock_guard lock(listMutex_);
        auto add = [&listed](const Listed& d) {
            for (const Listed& known : listed)
                if (known.name == d.name)
                    return;
            listed.push_back(d);
        };
        for (const Listed& d : lastComplete_)
            add(d);
        if (connected_)
            add(*connected_);
        return listed;
    }
    void Connected(const Listed& device) {
        std::lock_guard lock(listMutex_);
        connected_ = device;
    }

private:
    Context context_;
    QThread* home_;
    std::unique_ptr<WorkerProcess> process_;
    std::string openDevice_;
    Table table_;
    std::mutex listMutex_;
    std::optional<std::vector<Listed>> listed_;
    std::vector<Listed> lastComplete_;
    std::optional<Listed> connected_;
    QElapsedTimer listedAt_;
};

} // namespace velorix::scan::worker
