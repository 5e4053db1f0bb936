// Open image command: image files become pages, brought to the page's 600 x 800 pixels.
#include "app/window/MainWindow.h"

#include "imaging/PageFit.h"
#include "report/PReport.h"

#include <QCheckBox>
#include <QScrollBar>

namespace velorix {

namespace {

const QString kAnotherImage = QStringLiteral("Voulez-vous ouvrir une autre image?");

} // namespace

void Tvelorix_2::ouvririmageClick(QObject*) {
    int n = PageCount();
    auto chooseFile = [this] {
        return prompts().openImage(OpenImageDialog1) && !OpenImageDialog1.FileName.isEmpty();
    };
    // Loads the chosen file into the engine and puts it, fitted, into the page's image.
    auto loadInto = [this](TPRImage* image) {
        ImageEngine1.LoadFromFile(OpenImageDialog1.FileName);
        image->SetPicture(imaging::FitToPage(ImageEngine1));
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
    }
}

} // namespace velorix
