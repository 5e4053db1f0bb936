// Open image command: image files become pages, brought to the page's 600 x 800 pixels.
#include "app/window/MainWindow.h"

#include "imaging/PageFit.h"
#include "imaging/PdfImport.h"
#include "report/PReport.h"

#include <QCheckBox>
#include <QScrollBar>

namespace velorix {

namespace {

const QString kAnotherImage = QStringLiteral("Voulez-vous ouvrir une autre image?");

} // namespace

void Tvelorix_2::ouvririmageClick(QObject*) {
    int n = PageCount();
    // The pages of a chosen PDF, read whole before any page is made: a PDF that cannot be read
    // leaves no page behind.
    std::vector<QImage> pdf;
    auto chooseFile = [this, &pdf] {
        pdf.clear();
        if (!prompts().openImage(OpenImageDialog1) || OpenImageDialog1.FileName.isEmpty())
            return false;
        if (imaging::IsPdfFile(OpenImageDialog1.FileName))
            pdf = imaging::ReadPdfPages(OpenImageDialog1.FileName);
        return true;
    };
    // Loads the chosen file into the engine and puts it, fitted, into the page's image; a PDF's
    // first page keeps its own pixels.
    auto loadInto = [this, &pdf](TPRImage* image) {
        if (!pdf.empty()) {
            image->SetPicture(pdf.front());
            return;
        }
        ImageEngine1.LoadFromFile(OpenImageDialog1.FileName);
        image->SetPicture(imaging::FitToPage(ImageEngine1));
    };
    // A PDF's page is shown whole, as a scanned page is; its other pages follow as new pages.
    auto restOfPdf = [this, &pdf, &n] {
        if (pdf.empty())
            return;
        SetFullPageBox(true);
        for (std::size_t i = 1; i < pdf.size(); ++i) {
            const ImagePage page = AddImagePage(++n, PageKind::Opened);
            page.image->SetPicture(pdf[i]);
            page.image->SetStretch(true);
            page.page->show();
            page.image->PrepareStream();
        }
    };

    if (chooseFile()) {
        TPRImage* image = FirstPageFilled ? nullptr : FillFirstPage(PageKind::Opened);
        if (image) {
            SetFullPageBox(false);
            loadInto(image);
            SetZoomPosition(0);
            Zoom1->setEnabled(true);
            TakeZoomSource(image);
            if (PRPage1)
                PRPage1->show();
            ActivatePage(0);
            EnablePageCommands();
            autoClick(auto_);
            image->PrepareStream(); // final now: compressed ahead of the export
            FirstPageFilled = true;
            restOfPdf();
        } else {
            const ImagePage page = AddImagePage(n + 1, PageKind::Opened);
            ++n;
            SetFullPageBox(false);
            loadInto(page.image);
            SetZoomPosition(0);
            Zoom1->setEnabled(true);
            TakeZoomSource(page.image);
            page.page->show();
            ActivatePage(n - 1);
            EnablePageCommands();
            autoClick(auto_);
            page.image->PrepareStream();
            restOfPdf();
        }
    }

    if (!multi->isChecked())
        return;
    // One image after another while the user wants more; a cancelled dialog asks again.
    while (prompts().confirm(kAnotherImage)) {
        if (!chooseFile())
            continue;
        const ImagePage page = AddImagePage(n + 1, PageKind::Opened);
        ++n;
        loadInto(page.image);
        SetZoomPosition(0);
        TakeZoomSource(page.image);
        page.page->show();
        // The page shown before this round goes full-page; moving on to the next page unchecks
        // the box again for the new one.
        SetFullPageBox(true);
        SelectNextPage();
        page.image->PrepareStream();
        restOfPdf();
    }
}

} // namespace velorix
