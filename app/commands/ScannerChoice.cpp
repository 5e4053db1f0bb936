// The scanner choice: the scanner component made with the window, its list made in the
// background, the list and the lamp when the window shows, and the choice in the list.
#include "app/window/ChangeDocumentPrompt.h"
#include "app/window/MainWindow.h"
#include "scan/ScannerComponent.h"
#include "waits/Waits.h"
#include "waits/WakeUp.h"

#include <QComboBox>
#include <QFrame>
#include <QProgressDialog>

#include <memory>
#include <mutex>

namespace velorix {

namespace {

void PaintLamp(QFrame* lamp, const QColor& colour) {
    QPalette pal = lamp->palette();
    pal.setColor(QPalette::Window, colour);
    lamp->setPalette(pal);
    lamp->setAutoFillBackground(true);
}

// The entry of exactly that text; -1 when there is none.
int ItemNamed(const QComboBox* combo, const QString& text) {
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) == text)
            return i;
    return -1;
}

} // namespace

struct TListedDevices {
    std::mutex mutex;
    bool ready = false;
    TWIAScan::TDeviceList list;
};

void Tvelorix_2::BuildScanner() {
    WIAScan = std::make_shared<TWIAScan>(services_.scanner ? services_.scanner
                                                           : scan::CreateNullScanPlatform());
    // The scanner's waits show the program's own progress windows.
    if (services_.scanner) {
        services_.scanner->SetProgressWindows(
            [this](const std::string& title, const std::string& text, bool cancellable) {
                return prompts().scanProgress(title, text, cancellable);
            });
    }
    WIAScan->ShowMessage = [this](TWIAScan::TMessageKind kind, const std::string& text) {
        if (kind == TWIAScan::TMessageKind::Warning)
            prompts().warning(QString::fromStdString(text));
        else
            prompts().error(QString::fromStdString(text));
    };
    // The stored settings of the component; Open enumerates the scanners now, or the list is
    // made in the background and taken when it arrives.
    WIAScan->BeginInit();
    if (services_.listScannersInBackground) {
        deviceListPending_ = true;
        cbDevice->setPlaceholderText(QStringLiteral("Recherche des scanners…"));
        // The list goes from the lister to the window under a lock of its own.
        listedDevices_ = std::make_shared<TListedDevices>();
        // Taking it may connect the stored scanner behind progress windows: never inside the
        // wait of a command (an export, a capture with every window hidden, a mail hand-over),
        // but once that command has ended. A command that needs the list takes it itself.
        auto* arrived = new TWakeUp(
            [this] { waits::WhenNoCommand(this, [this] { TakeListedDevices(); }); }, this);
        deviceListArrived_ = arrived;
        deviceLister_ = std::thread([scanner = WIAScan, listed = listedDevices_, arrived] {
            TWIAScan::TDeviceList list = scanner->ListDevices();
            {
                const std::lock_guard lock(listed->mutex);
                listed->list = std::move(list);
                listed->ready = true;
            }
            arrived->Post();
        });
    } else {
        WIAScan->SetOpen(true);
    }
    WIAScan->SetDPI(150);
    WIAScan->SetFormat(sffAuto);
    WIAScan->SetScanMedium(smMemory);
    WIAScan->SetIntent(wiColor);
    WIAScan->SetBrightness(0);
    WIAScan->SetContrast(0);
    WIAScan->SetScanArea(wsaFull);
    WIAScan->SetScanStartX(0);
    WIAScan->SetScanStartY(0);
    WIAScan->SetScanWidth(0);
    WIAScan->SetScanHeight(0);
    WIAScan->EndInit();
    // A cancelled or failed transfer is said, not silently dropped.
    WIAScan->OnScanAbort = [this](TWIAScan*) { wiascanScanAbort(nullptr); };
    WIAScan->OnScanError = [this](TWIAScan*) { wiascanScanError(nullptr); };

    changerdoc = new Tchangerdoc(this);
}

bool Tvelorix_2::TakeListedDevices() {
    if (!deviceListPending_)
        return true; // taken already
    // The remembered scanner is being opened on this thread: the list is taken once it is,
    // so that the worker's client never serves a second call in the middle of the first.
    if (connectingRemembered_)
        return false;
    TWIAScan::TDeviceList list;
    {
        const std::lock_guard lock(listedDevices_->mutex);
        if (!listedDevices_->ready)
            return false;
        list = std::move(listedDevices_->list);
    }
    WIAScan->TakeDeviceList(std::move(list));
    DeviceListArrived();
    return true;
}

void Tvelorix_2::DeviceListArrived() {
    deviceListPending_ = false;
    deviceLister_.join(); // it has posted the list: it ends now
    cbDevice->setPlaceholderText(QString());
    // Shown already: the list, the lamp and the stored choice apply now; else when shown.
    if (shownOnce_)
        Guarded([this] { FormShow(this); });
}

void Tvelorix_2::WaitForDeviceList() {
    if (!deviceListPending_)
        return;
    // The scanner of the last run, connected and chosen already, needs no list to scan.
    if (RememberedScannerConnected() && cbDevice->currentText() == rememberedScanner_)
        return;
    QProgressDialog progress(QStringLiteral("Recherche des scanners…"), QString(), 0, 0, this);
    progress.setWindowTitle(QStringLiteral("Scanners"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();
    waits::Until([this] {
        if (!deviceListPending_)
            return true;
        const std::lock_guard lock(listedDevices_->mutex);
        return listedDevices_->ready;
    });
    progress.close();
    TakeListedDevices();
}

void Tvelorix_2::ConnectRememberedScanner() {
    const SettingsStore& store = *services_.settings;
    if (!store.keyExists())
        return;
    const std::optional<QString> name = store.read(kScannerNameSetting);
    if (!name || name->isEmpty())
        return;
    bool connected = false;
    connectingRemembered_ = true;
    try {
        connected = WIAScan->ConnectDirect(name->toStdString());
    } catch (const std::exception&) {
        // A driver that fails here fails again once the list has come, and is said then.
    }
    connectingRemembered_ = false;
    if (connected) {
        rememberedScanner_ = *name;
        cbDevice->clear();
        cbDevice->addItem(*name);
        cbDevice->setCurrentIndex(0);
        PaintLamp(WIA, QColor(0, 128, 0));
        ShowScannerSources();
    }
    // A list that came meanwhile was left for now: it is taken once this call has returned.
    const std::lock_guard lock(listedDevices_->mutex);
    if (listedDevices_->ready && deviceListArrived_)
        deviceListArrived_->Post();
}

bool Tvelorix_2::RememberedScannerConnected() const {
    return !rememberedScanner_.isEmpty() && WIAScan->Connected() &&
           WIAScan->SelectedDevice() == rememberedScanner_.toStdString();
}

void Tvelorix_2::FormShow(QObject*) {
    if (deviceListPending_) {
        // The combo reads "Recherche des scanners…" until the list arrives, unless the scanner
        // of the last run opens by its name alone: then it is connected and shown at once.
        if (!rememberedTried_) {
            rememberedTried_ = true;
            ConnectRememberedScanner();
        }
        return;
    }
    cbDevice->clear();
    for (const std::string& name : WIAScan->Devices())
        cbDevice->addItem(QString::fromStdString(name));
    cbDevice->setCurrentIndex(-1); // nothing chosen until the stored choice or the user says so

    // The scanner connected at start stays the choice, found in the list by its name; one
    // that opens by name but that the list does not name (a network scanner) stays offered.
    if (RememberedScannerConnected()) {
        int index = ItemNamed(cbDevice, rememberedScanner_);
        if (index < 0) {
            cbDevice->addItem(rememberedScanner_);
            index = cbDevice->count() - 1;
        }
        cbDevice->setCurrentIndex(index);
        PaintLamp(WIA, QColor(0, 128, 0));
        return;
    }

    switch (WIAScan->WIAPresent()) {
    case wpNo:
        PaintLamp(WIA, QColor(255, 0, 0));
        break;
    case wpYes:
        PaintLamp(WIA, QColor(0, 128, 0));
        break;
    case wpUnknown:
        PaintLamp(WIA, QColor(128, 128, 128));
        break;
    }
    if (WIAScan->WIAPresent() != wpYes)
        return;

    const SettingsStore& store = *services_.settings;
    if (!store.keyExists())
        return;
    // The scanner's name wins over its place in the list, which changes as scanners come and go.
    if (const std::optional<QString> name = store.read(kScannerNameSetting);
        name && !name->isEmpty()) {
        const int index = ItemNamed(cbDevice, *name);
        if (index >= 0) {
            cbDevice->setCurrentIndex(index);
            WIAScan->SetSelectedDevice(name->toStdString());
            ShowScannerSources();
            return;
        }
    }
    const std::optional<QString> stored = store.read(QStringLiteral("Scanner"));
    bool isNumber = false;
    const int index = stored ? stored->trimmed().toInt(&isNumber, 10) : 0;
    if (!stored || stored->trimmed().isEmpty() || !isNumber) {
        // Nothing usable stored: show the first scanner without connecting it.
        if (cbDevice->count() > 0)
            cbDevice->setCurrentIndex(0);
        return;
    }
    if (index < 0 || index >= cbDevice->count())
        return; // the list got shorter: nothing is selected
    cbDevice->setCurrentIndex(index);
    WIAScan->SetSelectedDevice(cbDevice->itemText(index).toStdString());
    ShowScannerSources();
}

void Tvelorix_2::cbDeviceChange(QObject*) {
    WaitForDeviceList();
    if (cbDevice->currentIndex() < 0)
        return;
    WIAScan->SetSelectedDevice(cbDevice->currentText().toStdString());
    ShowScannerSources();
}

} // namespace velorix
