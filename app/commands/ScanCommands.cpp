// Scan commands.
#include "app/commands/ManualDuplex.h"
#include "app/window/ChangeDocumentPrompt.h"
#include "app/window/MainWindow.h"
#include "imaging/BlankPage.h"
#include "scan/ScanSettings.h"
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

#include <cmath>
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

// The chosen format as the scan area, from the bed's top-left corner (the whole bed for
// "Vitre entière"); the component keeps it within the bed.
void ApplyPaper(TWIAScan& scanner, scan::PaperSize size, std::int32_t dpi) {
    const scan::PaperFormat& paper = scan::Paper(size);
    if (paper.widthMm <= 0) {
        scanner.SetScanArea(wsaFull);
        return;
    }
    auto pixels = [dpi](double mm) {
        return static_cast<std::int32_t>(std::lround(mm / 25.4 * dpi));
    };
    scanner.SetScanArea(wsaPartial);
    scanner.SetScanStartX(0);
    scanner.SetScanStartY(0);
    scanner.SetScanWidth(pixels(paper.widthMm));
    scanner.SetScanHeight(pixels(paper.heightMm));
}

const QString kBlankDropped = QStringLiteral("Page blanche ignorée.");
const QString kTurnOver =
    QStringLiteral("Retournez la pile et remettez-la dans le scanner pour scanner les versos.");

// Where a scanned picture lands. The three places differ only where the page-change rules
// rely on it: the first page and a page added by a single scan are checked full-page and
// enable the page commands; a page of the series takes page 1 as the zoom source and the view
// ends on page 1, with its page-change handling.
enum class Landing { FirstPage, AddedPage, SeriesPage };

void PutScanOnPage(Tvelorix_2& window, const ImagePage& page, Landing landing,
                   const QImage& picture) {
    TPRImage* image = page.image;
    image->SetPicture(picture);
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
    // Kept for after a crash as soon as it lands, not when the command ends: a series or a
    // feeder stack may take many minutes.
    window.KeepForRecovery();
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
            WIAScan->LastScanFailed()) {
            // The same scanner connected again keeps the choice of source.
            const bool other = !WIAScan->Connected() || WIAScan->SelectedDevice() != device;
            WIAScan->SetSelectedDevice(device);
            if (other)
                ShowScannerSources();
        }
    }
    WIAScan->SetIntent(cbGrayscale->isChecked() ? wiGrayscale : wiColor);
    if (WIAScan->Connected())
        ApplyPaper(*WIAScan, ChosenPaper(), WIAScan->DPI());
    const std::optional<scan::OfferedSource> source = ChosenSource();
    WIAScan->SetDocumentHandling(source ? scan::DocumentHandlingOf(source->kind) : 0);
    WIAScan->SetPageSize(scan::PageSizeOf(ChosenPaper()));
    if (source && scan::IsFeeder(source->kind)) {
        ScanFeederStack(source->kind);
        return;
    }
    WIAScan->SetPages(1);
    // A blank side is not kept (with "Ignorer les pages blanches"); the user is told.
    auto kept = [this] {
        if (!SkipBlankPages() || !IsBlankPage(WIAScan->Graphic()->Image))
            return true;
        prompts().inform(kBlankDropped);
        return false;
    };

    int n = PageCount();
    if (!FirstPageFilled) {
        OpenScanner(*WIAScan);
        if (WIAScan->Acquire() && kept()) {
            if (TPRImage* image = FillFirstPage(PageKind::Scanned)) {
                PutScanOnPage(*this, {nullptr, nullptr, PRPage1, nullptr, image},
                              Landing::FirstPage, AsBitmap(*WIAScan->Graphic()));
                FirstPageFilled = true;
            }
        }
    } else {
        const ImagePage page = AddImagePage(n + 1, PageKind::Scanned);
        ++n;
        OpenScanner(*WIAScan);
        const bool acquired = WIAScan->Acquire();
        if (acquired && !kept()) {
            RemoveLastPage();
            --n;
        } else if (acquired) {
            PutScanOnPage(*this, page, Landing::AddedPage, AsBitmap(*WIAScan->Graphic()));
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
        OpenScanner(*WIAScan);
        if (!WIAScan->Acquire())
            continue; // the empty tab stays; the question comes again
        if (!kept()) {
            RemoveLastPage();
            --n;
            continue;
        }
        PutScanOnPage(*this, page, Landing::SeriesPage, AsBitmap(*WIAScan->Graphic()));
    }
}

// ---- Feeder --------------------------------------------------------------------------------

namespace {

const QString kFeederEmpty = QStringLiteral("Le chargeur est vide.");

// What stopped the stack, in words, naming its sheet and the pages kept.
QString StackFailure(const TWIAScan& scanner, int sheet, int kept) {
    QString cause;
    switch (scanner.FailureReason()) {
    case scan::FeederReason::Jam:
        cause = QStringLiteral("bourrage papier");
        break;
    case scan::FeederReason::CoverOpen:
        cause = QStringLiteral("le capot du scanner est ouvert");
        break;
    default:
        cause = QString::fromStdString(scanner.LastFailure());
        if (cause.isEmpty())
            cause = QStringLiteral("erreur du scanner");
        break;
    }
    return QStringLiteral("Erreur pendant le scanning de la feuille %1 : %2.\n\n%3")
        .arg(sheet)
        .arg(cause)
        .arg(kept == 0   ? QStringLiteral("Aucune page n'a été scannée.")
             : kept == 1 ? QStringLiteral("La page déjà scannée est gardée.")
                         : QStringLiteral("Les %1 pages déjà scannées sont gardées.").arg(kept));
}

} // namespace

void Tvelorix_2::ShowScannerSources() {
    std::vector<scan::OfferedSource> offered;
    if (WIAScan->Connected()) {
        try {
            for (scan::SourceKind kind :
                 scan::SourceKindsOf(WIAScan->DocumentHandlingCapabilities()))
                offered.push_back({kind, {}});
        } catch (const std::exception&) {
            // A scanner that cannot tell its sources scans from its own.
        }
    }
    SetScannerSources(offered);
}

void Tvelorix_2::ScanFeederStack(scan::SourceKind source) {
    const int sides = source == scan::SourceKind::Duplex ? 2 : 1;
    int blanks = 0;
    for (;;) {
        int made = 0, kept = 0;
        OpenScanner(*WIAScan);
        WIAScan->SetPages(FeederPages);
        // Each side lands as it comes, while the scanner reads the next.
        const auto result = WIAScan->AcquireStack([&](QImage page) {
            ++made;
            if (SkipBlankPages() && IsBlankPage(page)) {
                ++blanks;
                return;
            }
            if (!FirstPageFilled) {
                if (TPRImage* image = FillFirstPage(PageKind::Scanned)) {
                    PutScanOnPage(*this, {nullptr, nullptr, PRPage1, nullptr, image},
                                  Landing::FirstPage, page);
                    FirstPageFilled = true;
                    ++kept;
                }
                return;
            }
            PutScanOnPage(*this, AddImagePage(PageCount() + 1, PageKind::Scanned),
                          Landing::AddedPage, page);
            ++kept;
        });
        switch (result) {
        case TWIAScan::TStackResult::Complete:
        case TWIAScan::TStackResult::Refused:
            break;
        case TWIAScan::TStackResult::Empty:
            prompts().inform(kFeederEmpty);
            break;
        case TWIAScan::TStackResult::Cancelled:
            wiascanScanAbort(nullptr);
            break;
        case TWIAScan::TStackResult::Failed:
            prompts().inform(StackFailure(*WIAScan, made / sides + 1, kept));
            break;
        }
        if (!multi->isChecked() || !prompts().confirm(kAnotherDocument))
            break;
        prompts().execDialog(*changerdoc);
    }
    if (blanks == 1)
        prompts().inform(kBlankDropped);
    else if (blanks > 1)
        prompts().inform(QStringLiteral("%1 pages blanches ignorées.").arg(blanks));
}

// ---- Manual recto-verso ----------------------------------------------------------------

void Tvelorix_2::RectoVersoManuel1Click(QObject* Sender) {
    // The pages of one pass: those it filled, by number (a cancelled scan's empty tab is none).
    auto filled = [this](int from) {
        std::vector<int> pages;
        for (int n = from; n <= PageCount(); ++n)
            if (TPRImage* image = FindPageImage(n); image && !image->Picture().isNull())
                pages.push_back(n);
        return pages;
    };
    const int frontsFrom = FirstPageFilled ? PageCount() + 1 : 1;
    btnScanClick(Sender);
    const std::vector<int> fronts = filled(frontsFrom);
    if (fronts.empty() || !prompts().confirm(kTurnOver))
        return;
    const int backsFrom = PageCount() + 1;
    btnScanClick(Sender);
    const std::vector<int> backs = filled(backsFrom);
    const SidesOrder sides = InterleaveSides(fronts.size(), backs.size());
    if (!sides.matched) {
        prompts().inform(QStringLiteral("%1 versos pour %2 rectos : les pages restent dans l'ordre "
                                        "où elles ont été scannées.")
                             .arg(backs.size())
                             .arg(fronts.size()));
        return;
    }
    std::vector<int> places = fronts;
    places.insert(places.end(), backs.begin(), backs.end());
    std::vector<QImage> pictures;
    for (int n : places)
        pictures.push_back(FindPageImage(n)->Picture());
    for (std::size_t k = 0; k < places.size(); ++k) {
        TPRImage* image = FindPageImage(places[k]);
        image->SetPicture(pictures[sides.order[k]]);
        image->update();
        image->PrepareStream();
    }
    if (TPRImage* shown = ActivePageImage())
        TakeZoomSource(shown);
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
