// Scan commands.
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

// Opening the component lists the scanners; once open, a scan (and every page of a series)
// starts without listing again.
void OpenScanner(TWIAScan& scanner) {
    if (!scanner.Open())
        scanner.SetOpen(true);
}

// The page's bitmap of the scanned image: three bytes a pixel for colour, which every page
// consumer reads as it is.
QImage AsBitmap(const TGraphic& graphic) {
    if (graphic.Kind == TGraphic::gkBitmap)
        return graphic.Image; // shared: the page and the scanner hold the pixels once
    return graphic.Image.convertToFormat(QImage::Format_RGB888);
}

// Where a scanned picture lands. The three places differ only where the page-change rules
// rely on it: the first page and a page added by a single scan are checked full-page and
// enable the page commands; a page of the series takes page 1 as the zoom source and the view
// ends on page 1, with its page-change handling.
enum class Landing { FirstPage, AddedPage, SeriesPage };

void PutScanOnPage(Tvelorix_2& window, const ImagePage& page, Landing landing) {
    TPRImage* image = page.image;
    image->SetPicture(AsBitmap(*window.WIAScan->Graphic()));
    if (landing != Landing::SeriesPage)
        image->update();
    window.SetZoomPosition(0);
    window.Zoom1->setEnabled(true);
    window.TakeZoomSource(landing == Landing::SeriesPage ? window.FindPageImage(1) : image);
    image->PrepareStream();
    if (landing != Landing::SeriesPage)
        window.SetFullPageBox(true);
    if (page.page)
        page.page->show();
    if (landing != Landing::FirstPage)
        window.ActivatePage(window.PageControl1->indexOf(page.tabSheet));
    if (landing == Landing::SeriesPage)
        window.SelectNextPage(); // the new page is the last: this lands on page 1
    else
        window.EnablePageCommands();
}

} // namespace

void Tvelorix_2::wiascanScanAbort(QObject*) {
    prompts().inform(QStringLiteral("Scanning annulé"));
}

void Tvelorix_2::wiascanScanError(QObject*) {
    const std::string& failure = WIAScan->LastFailure();
    prompts().inform(failure.empty() ? QStringLiteral("Erreur pendant le scanning")
                                     : QStringLiteral("Erreur pendant le scanning\n\n") +
                                           QString::fromStdString(failure));
}

// ---- Scan ----------------------------------------------------------------------------------

void Tvelorix_2::btnScanClick(QObject*) {
    WaitForDeviceList();
    // Settings, once for the whole command.
    const std::int32_t resolution = ResolutionFromBox(res->currentText());
    WIAScan->SetDPI(resolution);
    WIAScan->SetBrightness(contrast->value());
    // The scanner in use stays connected from one scan to the next: asking every backend for
    // its devices again takes seconds. After a failed scan it is looked up afresh.
    if (cbDevice->currentIndex() >= 0) {
        const std::string device = cbDevice->currentText().toStdString();
        if (!WIAScan->Connected() || WIAScan->SelectedDevice() != device ||
            WIAScan->LastScanFailed())
            WIAScan->SetSelectedDevice(device);
    }
    WIAScan->SetIntent(cbGrayscale->isChecked() ? wiGrayscale : wiColor);

    int n = PageCount();
    if (!FirstPageFilled) {
        OpenScanner(*WIAScan);
        if (WIAScan->Acquire()) {
            if (TPRImage* image = FillFirstPage(PageKind::Scanned)) {
                PutScanOnPage(*this, {nullptr, nullptr, PRPage1, nullptr, image},
                              Landing::FirstPage);
                FirstPageFilled = true;
            }
        }
    } else {
        const ImagePage page = AddImagePage(n + 1, PageKind::Scanned);
        ++n;
        OpenScanner(*WIAScan);
        if (WIAScan->Acquire())
            PutScanOnPage(*this, page, Landing::AddedPage);
    }

    if (!multi->isChecked())
        return;
    for (;;) {
        if (!prompts().confirm(kAnotherDocument))
            return;
        prompts().execDialog(*changerdoc);
        const ImagePage page = AddImagePage(n + 1, PageKind::Scanned);
        ++n;
        OpenScanner(*WIAScan);
        if (!WIAScan->Acquire())
            continue; // the empty tab stays; the question comes again
        PutScanOnPage(*this, page, Landing::SeriesPage);
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
