// Scan commands and the scanner choice.
#include "app/window/ChangeDocumentPrompt.h"
#include "app/window/MainWindow.h"
#include "scan/ScannerComponent.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFrame>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include <stdexcept>

namespace velorix {

namespace {

const QString kAnotherDocument = QStringLiteral("Voulez-vous scanner un autre document?");
const QString kReplace = QStringLiteral("Le fichier existe déjà. Voulez-vous le remplacer?");

class EScanCommand : public std::runtime_error {
public:
    explicit EScanCommand(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The resolution box is editable: whatever it shows must be a whole number of dots per inch.
std::int32_t ResolutionFromBox(const QString& shown) {
    bool ok = false;
    const int value = shown.trimmed().toInt(&ok, 10);
    if (!ok || value <= 0)
        throw EScanCommand(QStringLiteral("Résolution non valide : « %1 ». Entrez un nombre entier "
                                          "de points par pouce, par exemple 300.")
                               .arg(shown));
    return value;
}

// The page's bitmap of the scanned image: three bytes a pixel for colour, which every page
// consumer reads as it is.
QImage AsBitmap(const TGraphic& graphic) {
    if (graphic.Kind == TGraphic::gkBitmap)
        return graphic.Image; // shared: the page and the scanner hold the pixels once
    return graphic.Image.convertToFormat(QImage::Format_RGB888);
}

void PaintLamp(QFrame* lamp, const QColor& colour) {
    QPalette pal = lamp->palette();
    pal.setColor(QPalette::Window, colour);
    lamp->setPalette(pal);
    lamp->setAutoFillBackground(true);
}

} // namespace

void Tvelorix_2::BuildScanner() {
    WIAScan = std::make_shared<TWIAScan>(services_.scanner ? services_.scanner
                                                           : scan::CreateNullScanPlatform());
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
        deviceLister_ = std::thread([this, scanner = WIAScan] {
            TWIAScan::TDeviceList list = scanner->ListDevices();
            QMetaObject::invokeMethod(
                this,
                [this, list = std::move(list)]() mutable {
                    WIAScan->TakeDeviceList(std::move(list));
                    DeviceListArrived();
                },
                Qt::QueuedConnection);
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

void Tvelorix_2::wiascanScanAbort(QObject*) {
    prompts().inform(QStringLiteral("Scanning annulé"));
}

void Tvelorix_2::wiascanScanError(QObject*) {
    prompts().inform(QStringLiteral("Erreur pendant le scanning"));
}

// ---- Scanner choice ------------------------------------------------------------------------

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
    QProgressDialog progress(QStringLiteral("Recherche des scanners…"), QString(), 0, 0, this);
    progress.setWindowTitle(QStringLiteral("Scanners"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (!deviceListPending_)
            wait.quit();
    });
    poll.start(20);
    wait.exec();
}

void Tvelorix_2::FormShow(QObject*) {
    if (deviceListPending_)
        return; // the combo reads "Recherche des scanners…" until the list arrives
    cbDevice->clear();
    for (const std::string& name : WIAScan->Devices())
        cbDevice->addItem(QString::fromStdString(name));
    cbDevice->setCurrentIndex(-1); // nothing chosen until the stored choice or the user says so

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
}

void Tvelorix_2::cbDeviceChange(QObject*) {
    WaitForDeviceList();
    if (cbDevice->currentIndex() < 0)
        return;
    WIAScan->SetSelectedDevice(cbDevice->currentText().toStdString());
}

// ---- Scan ----------------------------------------------------------------------------------

void Tvelorix_2::btnScanClick(QObject*) {
    WaitForDeviceList();
    // Settings, once for the whole command.
    const std::int32_t resolution = ResolutionFromBox(res->currentText());
    WIAScan->SetDPI(resolution);
    WIAScan->SetBrightness(contrast->value());
    if (cbDevice->currentIndex() >= 0)
        WIAScan->SetSelectedDevice(cbDevice->currentText().toStdString());
    WIAScan->SetIntent(cbGrayscale->isChecked() ? wiGrayscale : wiColor);

    int n = PageCount();
    if (!FirstPageFilled) {
        WIAScan->SetOpen(true);
        if (WIAScan->Acquire()) {
            if (TPRImage* image = FillFirstPage(PageKind::Scanned)) {
                image->SetPicture(AsBitmap(*WIAScan->Graphic()));
                image->update();
                SetZoomPosition(0);
                Zoom1->setEnabled(true);
                TakeZoomSource(image);
                image->PrepareStream();
                SetFullPageBox(true);
                if (PRPage1)
                    PRPage1->show();
                EnablePageCommands();
                FirstPageFilled = true;
            }
        }
    } else {
        const ImagePage page = AddImagePage(n + 1, PageKind::Scanned);
        ++n;
        WIAScan->SetOpen(true);
        if (WIAScan->Acquire()) {
            page.image->SetPicture(AsBitmap(*WIAScan->Graphic()));
            page.image->update();
            SetZoomPosition(0);
            Zoom1->setEnabled(true);
            TakeZoomSource(page.image);
            page.image->PrepareStream();
            SetFullPageBox(true);
            page.page->show();
            ActivatePage(PageControl1->indexOf(page.tabSheet));
            EnablePageCommands();
        }
    }

    if (!multi->isChecked())
        return;
    for (;;) {
        if (!prompts().confirm(kAnotherDocument))
            return;
        prompts().execDialog(*changerdoc);
        const ImagePage page = AddImagePage(n + 1, PageKind::Scanned);
        ++n;
        WIAScan->SetOpen(true);
        if (!WIAScan->Acquire())
            continue; // the empty tab stays; the question comes again
        page.image->SetPicture(AsBitmap(*WIAScan->Graphic()));
        SetZoomPosition(0);
        Zoom1->setEnabled(true);
        TakeZoomSource(FindPageImage(1));
        page.image->PrepareStream();
        page.page->show();
        ActivatePage(PageControl1->indexOf(page.tabSheet));
        // The new page is the last: this lands on page 1 with the page-change handling.
        SelectNextPage();
    }
}

// ---- Composite commands ----------------------------------------------------------------

void Tvelorix_2::scannerimprimerClick(QObject* Sender) {
    btnScanClick(Sender);
    const int count = PageCount();
    for (int n = 1; n <= count; ++n) {
        TPRImage* image = FindPageImage(n);
        // A page whose scan was cancelled has no picture: no blank sheet for it.
        if (image && !image->Picture().isNull())
            PrintPageImage(image);
    }
}

void Tvelorix_2::scannerenregistrerClick(QObject* Sender) {
    btnScanClick(Sender);
    const int count = PageCount();
    for (int n = 1; n <= count; ++n) {
        TPRImage* image = FindPageImage(n);
        if (!image || image->Picture().isNull())
            continue;
        SaveImageDialog1.FileName = QStringLiteral("capture%1").arg(n);
        SaveImageDialog1.Picture = image->Picture();
        const bool confirmed = prompts().saveImage(SaveImageDialog1);
        SaveImageDialog1.Picture = QImage();
        if (!confirmed)
            continue;
        const QString fileName = SaveImageDialog1.FileName;
        // Asked as the save command asks; No skips this page only.
        const QFileInfo existing(fileName);
        if (existing.exists() && !existing.isDir() && !prompts().confirm(kReplace))
            continue;
        SavePageImage(image, fileName);
    }
}

void Tvelorix_2::scannermodifierClick(QObject* Sender) {
    btnScanClick(Sender);
    const int index = PageControl1->currentIndex();
    if (index < 0)
        return;
    TPRImage* image = index == 0 ? ActivePageImage() : FindPageImage(index + 1);
    if (!image || image->Picture().isNull())
        return;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QDir().mkpath(folder);
    // The file holds what its name says: JPEG data in the .jpg, bitmap data in the .bmp.
    const QString fileName =
        QDir(folder).filePath(index == 0 ? QStringLiteral("temp.jpg") : QStringLiteral("temp.bmp"));
    ImageEngine1.Assign(image->Picture());
    ImageEngine1.SaveToFile(fileName);
    services_.shell->openFile(fileName);
}

} // namespace velorix
