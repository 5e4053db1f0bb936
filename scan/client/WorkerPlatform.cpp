#include "WorkerPlatform.h"

#include "../sane/SaneFrames.h"
#include "WorkerLink.h"
#include "waits/Waits.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>

namespace velorix::scan::worker {

namespace {

struct Limits {
    double first = 60; // seconds without data before the first bytes (lamp warming up)
    double after = 30; // once data has come
};

Limits ReadLimits() {
    Limits limits;
    if (const char* text = std::getenv(WatchdogEnv)) {
        const std::string s = text;
        const std::size_t comma = s.find(',');
        const double first = std::atof(s.substr(0, comma).c_str());
        const double after = comma == std::string::npos ? first : std::atof(s.c_str() + comma + 1);
        if (first > 0)
            limits.first = first;
        if (after > 0)
            limits.after = after;
    }
    return limits;
}

// How long the driver has to let go of a scan the user cancelled before its worker is stopped.
constexpr qint64 kCancelGraceMs = 2000;

struct Context {
    std::vector<OptionPreset> presets;
    ScanProgressFactory progress;
};

std::string Quoted(const std::string& name) {
    return "« " + name + " »";
}

long long ToNumber(const std::string& text) {
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

struct Listed {
    std::string name, vendor, model, type;
    std::string shown; // the name as shown, when known without a listing
    std::string Shown() const {
        return shown.empty() ? vendor + " " + model + " (" + name + ")" : shown;
    }
};

// The SANE name a listed name ends with, "(name)"; empty when it has none.
std::string SaneNameOf(const std::string& listed) {
    const std::size_t open = listed.rfind(" (");
    if (open == std::string::npos || listed.size() < open + 4 || listed.back() != ')')
        return {};
    return listed.substr(open + 2, listed.size() - open - 3);
}

// One worker process.
class WorkerProcess {
public:
    explicit WorkerProcess(const Context& context) {
        QString program = qEnvironmentVariable(WorkerExeEnv);
        if (program.isEmpty())
            program =
                QCoreApplication::applicationDirPath() + QStringLiteral("/velorix-scan-worker");
        // The drivers' own diagnostics stay visible on our error output.
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Our process id: on Windows the worker hands each page's memory over to us by it.
        process_.start(program, {QStringLiteral("--program"),
                                 QString::number(QCoreApplication::applicationPid())});
        if (!process_.waitForStarted(10000))
            throw EPlatformError("Le module des scanners ne démarre pas : " +
                                 process_.errorString().toStdString());
        for (const OptionPreset& preset : context.presets)
            Send({"preset", preset.name, preset.value});
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            if (auto m = Next(100)) {
                if (!m->empty() && (*m)[0] == "ready")
                    return;
            }
        }
        throw EPlatformError("Le module des scanners ne répond pas");
    }
    ~WorkerProcess() { Stop(); }

    bool Running() const { return process_.state() != QProcess::NotRunning; }
    void Send(const Fields& fields) {
        const std::string line = EncodeLine(fields);
        process_.write(line.data(), static_cast<qint64>(line.size()));
        process_.waitForBytesWritten(1000);
    }
    // The next message, waiting at most ms; raises when the worker has ended.
    std::optional<Fields> Next(int ms) {
        if (!process_.canReadLine() && Running())
            process_.waitForReadyRead(ms);
        if (process_.canReadLine())
            return DecodeLine(process_.readLine().toStdString());
        if (!Running())
            throw Gone();
        return std::nullopt;
    }
    // Why the worker is gone, for the user.
    std::string Ending() const {
        if (process_.exitStatus() == QProcess::CrashExit)
            return "s'est arrêté brutalement";
        return "s'est terminé (code " + std::to_string(process_.exitCode()) + ")";
    }
    struct Gone {};

    void Kill() {
        if (Running()) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // Asks the worker to go (it leaves when its input closes), then makes it.
    void Stop() {
        if (!Running())
            return;
        process_.closeWriteChannel();
        if (!process_.waitForFinished(2000))
            Kill();
    }

private:
    QProcess process_;
};

// The progress window of a call made on the user-interface thread of a widget application; the
// call waits on the worker in short slices and lets the window paint in between.
class Pump {
public:
    Pump(const ScanProgressFactory& factory, const std::string& title, const std::string& text,
         bool cancellable)
        : cancellable_(cancellable) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!qobject_cast<QGuiApplication*>(app) || QThread::currentThread() != app->thread())
            return;
        window_ = factory ? factory(title, text, cancellable)
                          : CreateScanProgressDialog(title, text, cancellable);
        clock_.start();
    }
    ~Pump() {
        if (window_)
            window_->Finish();
    }
    void Tick(long long received, long long expected) {
        if (!window_)
            return;
        // Short calls show no window at all; a scan always shows it.
        if (!window_->IsShown() && clock_.elapsed() >= (cancellable_ ? 0 : 300))
            window_->Show();
        if (expected > 0)
            window_->SetDone(static_cast<double>(received) / static_cast<double>(expected));
        velorix::waits::Pending();
    }
    bool CancelRequested() const { return window_ && window_->CancelRequested(); }

private:
    bool cancellable_;
    std::unique_ptr<IScanProgress> window_;
    QElapsedTimer clock_;
};

// The worker that holds the open device, shared by the platform's objects.
// One property as the worker last told it.
struct Known {
    std::string kind;  // "i", "s", "n", or "e" for a value that could not be read
    std::string value; // the value, or the message of "e"
    bool readOnly = true;
};
using Table = std::map<std::pair<std::string, std::string>, Known>; // (scope, id)

// The table that follows "ok" in the answers to "open" and "set".
Table TableFrom(const Fields& reply) {
    if (reply.empty() || (reply.size() - 1) % 5 != 0)
        throw EPlatformError("Réponse invalide du module des scanners");
    Table table;
    for (std::size_t i = 1; i + 4 < reply.size(); i += 5)
        table[{reply[i], reply[i + 1]}] = Known{reply[i + 2], reply[i + 3], reply[i + 4] == "1"};
    return table;
}

class Connection {
public:
    explicit Connection(Context context)
        : context_(std::move(context)), home_(QThread::currentThread()) {}
    // The worker of the session lives on the thread that made the platform; other threads
    // (the window's background list) get a worker of their own.
    bool AtHome() const { return QThread::currentThread() == home_; }
    Context& Settings() { return context_; }

    WorkerProcess& Process() {
        if (process_ && !process_->Running())
            process_.reset();
        if (!process_) {
            process_ = std::make_unique<WorkerProcess>(context_);
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
        Process();
        if (openDevice_ == saneName)
            return;
        table_ = TableFrom(Call({"open", saneName}, shownName, "Connexion au scanner…"));
        openDevice_ = saneName;
    }

    // The open device's properties are answered from the table the worker sent with the last
    // open or write: reading them costs no message.
    const Known* Lookup(const std::string& scope, const std::string& id) const {
        const auto found = table_.find({scope, id});
        return found == table_.end() ? nullptr : &found->second;
    }
    void Write(const Fields& request, const std::string& shownName) {
        table_ = TableFrom(Call(request, shownName));
    }

    // One request and its answer; messages from the worker become exceptions.
    Fields Call(const Fields& request, const std::string& shownName,
                const char* waitText = nullptr) {
        WorkerProcess& worker = Process();
        const Limits limits = ReadLimits();
        std::optional<Pump> pump;
        if (waitText)
            pump.emplace(context_.progress, "Scanners", waitText, false);
        worker.Send(request);
        QElapsedTimer clock;
        clock.start();
        try {
            for (;;) {
                std::optional<Fields> m = worker.Next(40);
                if (pump)
                    pump->Tick(0, 0);
                if (m && !m->empty()) {
                    if ((*m)[0] == "ok")
                        return *m;
                    if ((*m)[0] == "error")
                        throw EPlatformError(m->size() > 1 ? (*m)[1] : "");
                }
                if (clock.elapsed() > static_cast<qint64>(limits.first * 1000)) {
                    Drop();
                    throw EScannerLost("Le scanner " + Quoted(shownName) +
                                       " ne répond plus : son pilote a été arrêté.");
                }
            }
        } catch (const WorkerProcess::Gone&) {
            const std::string ending = worker.Ending();
            Drop();
            throw EScannerLost("Le pilote du scanner " + Quoted(shownName) + " " + ending + ".");
        }
    }

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

class WorkerDevice;

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

class WorkerDevice : public IDevice, public std::enable_shared_from_this<WorkerDevice> {
public:
    WorkerDevice(std::shared_ptr<Connection> connection, std::string saneName,
                 std::string shownName)
        : connection_(std::move(connection)), saneName_(std::move(saneName)),
          shownName_(std::move(shownName)) {}
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<WorkerProperties>(shared_from_this(), "device");
    }
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

class WorkerItem : public IItem {
public:
    explicit WorkerItem(std::shared_ptr<WorkerDevice> device) : device_(std::move(device)) {}
    std::unique_ptr<IProperties> Properties() override {
        return std::make_unique<WorkerProperties>(device_, "item");
    }
    WorkerDevice& Device() { return *device_; }

private:
    std::shared_ptr<WorkerDevice> device_;
};

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

std::unique_ptr<IItems> WorkerDevice::Items() {
    return std::make_unique<WorkerItems>(shared_from_this());
}

// ---- Listing -------------------------------------------------------------------------------

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
        std::unique_ptr<WorkerProcess> own;
        const bool atHome = connection_->AtHome();
        WorkerProcess& worker =
            atHome ? connection_->Process()
                   : *(own = std::make_unique<WorkerProcess>(connection_->Settings()));
        const Limits limits = ReadLimits();
        Pump pump(connection_->Settings().progress, "Scanners", "Recherche des scanners…", false);
        worker.Send({"list"});
        std::vector<Listed> listed;
        std::string problem;
        QElapsedTimer clock;
        clock.start();
        try {
            for (;;) {
                std::optional<Fields> m = worker.Next(40);
                pump.Tick(0, 0);
                if (m && !m->empty()) {
                    const Fields& f = *m;
                    if (f[0] == "device" && f.size() == 5)
                        listed.push_back({f[1], f[2], f[3], f[4], {}});
                    else if (f[0] == "ok")
                        break;
                    else if (f[0] == "error")
                        throw EPlatformError(f.size() > 1 ? f[1] : "");
                }
                if (clock.elapsed() > static_cast<qint64>(limits.first * 1000)) {
                    worker.Kill();
                    problem = "La recherche des scanners ne se termine pas : elle a été arrêtée.";
                    break;
                }
            }
        } catch (const WorkerProcess::Gone&) {
            problem = "La recherche des scanners " + worker.Ending() + ".";
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

// ---- Transfer ------------------------------------------------------------------------------

QImage PictureFrom(std::unique_ptr<SharedBlock> block, const Fields& f) {
    if (f.size() != 7)
        throw EPlatformError("Réponse invalide du module des scanners");
    const auto format = static_cast<QImage::Format>(ToNumber(f[4]));
    if (format != QImage::Format_Indexed8 && format != QImage::Format_RGB888)
        throw EPlatformError("Réponse invalide du module des scanners");
    QImage picture = BlockPicture(std::move(block), static_cast<int>(ToNumber(f[1])),
                                  static_cast<int>(ToNumber(f[2])), ToNumber(f[3]), format);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> grey(256);
        for (int i = 0; i < 256; ++i)
            grey[i] = qRgb(i, i, i);
        picture.setColorTable(grey);
    }
    picture.setDotsPerMeterX(static_cast<int>(ToNumber(f[5])));
    picture.setDotsPerMeterY(static_cast<int>(ToNumber(f[6])));
    return picture;
}

class WorkerDialog : public ICommonDialog {
public:
    explicit WorkerDialog(std::shared_ptr<Connection> connection)
        : connection_(std::move(connection)) {}

    std::unique_ptr<IImageFile> ShowTransfer(IItem& item, const std::string& formatId,
                                             bool cancelError) override {
        auto* workerItem = dynamic_cast<WorkerItem*>(&item);
        if (!workerItem || formatId != wia::ImgFmt_BMP)
            throw EPlatformError("Opération non prise en charge");
        WorkerDevice& device = workerItem->Device();
        Connection& link = device.Link();
        WorkerProcess& worker = link.Process();
        const std::string& shown = device.ShownName();
        const Limits limits = ReadLimits();

        std::unique_ptr<SharedBlock> block;
        std::string blockName;
        auto cancelled = [&]() -> std::unique_ptr<IImageFile> {
            if (!blockName.empty())
                SharedBlock::Discard(blockName);
            if (cancelError)
                throw EPlatformError("Opération annulée");
            return nullptr;
        };
        {
            Pump pump(link.Settings().progress, "Numérisation", "Numérisation en cours…", true);
            worker.Send({"scan"});
            long long received = 0, expected = 0;
            QElapsedTimer sinceData, sinceCancel;
            sinceData.start();
            try {
                for (;;) {
                    std::optional<Fields> m = worker.Next(40);
                    if (m && !m->empty()) {
                        const Fields& f = *m;
                        if (f[0] == "progress" && f.size() == 3) {
                            const long long now = ToNumber(f[1]);
                            expected = ToNumber(f[2]);
                            if (now > received) {
                                received = now;
                                sinceData.restart();
                            }
                        } else if (f[0] == "block" && f.size() == 3) {
                            blockName = f[1];
                            try {
                                block = SharedBlock::Open(blockName,
                                                          static_cast<std::size_t>(ToNumber(f[2])));
                            } catch (const EPlatformError&) {
                                // The scan is still going on in the worker, whose next
                                // messages would answer the next request: it goes.
                                SharedBlock::Discard(blockName);
                                worker.Kill();
                                link.Drop();
                                throw;
                            }
                            blockName.clear(); // opened: its name is gone already
                        } else if (f[0] == "picture" && block) {
                            return sane::PictureFile(PictureFrom(std::move(block), f));
                        } else if (f[0] == "cancelled") {
                            return cancelled();
                        } else if (f[0] == "error") {
                            throw EPlatformError(f.size() > 1 ? f[1] : "");
                        }
                    }
                    pump.Tick(received, expected);
                    if (!sinceCancel.isValid() && pump.CancelRequested()) {
                        worker.Send({"cancel"});
                        sinceCancel.start();
                    }
                    if (sinceCancel.isValid() && sinceCancel.elapsed() > kCancelGraceMs) {
                        // The driver does not let go: its worker goes instead.
                        worker.Kill();
                        link.Drop();
                        return cancelled();
                    }
                    const double limit = received > 0 ? limits.after : limits.first;
                    if (!sinceCancel.isValid() &&
                        sinceData.elapsed() > static_cast<qint64>(limit * 1000)) {
                        worker.Kill();
                        link.Drop();
                        throw EScannerLost("Le scanner " + Quoted(shown) +
                                           " n'envoie plus rien depuis " +
                                           std::to_string(std::lround(limit)) +
                                           " s : la numérisation a été arrêtée.");
                    }
                }
            } catch (const WorkerProcess::Gone&) {
                if (!blockName.empty())
                    SharedBlock::Discard(blockName);
                blockName.clear();
                const std::string ending = worker.Ending();
                link.Drop();
                if (sinceCancel.isValid())
                    return cancelled();
                throw EScannerLost("Le pilote du scanner " + Quoted(shown) + " " + ending +
                                   " pendant la numérisation.");
            }
        }
    }

private:
    std::shared_ptr<Connection> connection_;
};

class WorkerPlatform : public IScanPlatform {
public:
    explicit WorkerPlatform(std::vector<OptionPreset> presets)
        : connection_(std::make_shared<Connection>(Context{std::move(presets), {}})) {}
    std::string Name() const override { return "sane"; }
    std::unique_ptr<IDeviceManager> CreateDeviceManager() override {
        return std::make_unique<WorkerDeviceManager>(connection_);
    }
    std::unique_ptr<ICommonDialog> CreateCommonDialog() override {
        return std::make_unique<WorkerDialog>(connection_);
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
