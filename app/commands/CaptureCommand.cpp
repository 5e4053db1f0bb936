// The screen capture command: "Selection", "Capture bureau" and the menu's "CAPTURE D'ECRAN"
// make a page of a rectangle dragged over the frozen screen.
#include "app/window/MainWindow.h"
#include "capture/ScreenCapture.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>

#include <optional>

namespace velorix {

void Tvelorix_2::BuildCapture() {
    // Without a screen layer (tests), captures fail with the "no access" message.
    ScreenCapture1 = new capture::TScreenCapture(
        this, services_.screen ? services_.screen : std::make_shared<capture::NullScreenGrab>());
    ScreenCapture1->setObjectName(QStringLiteral("ScreenCapture1"));
    ScreenCapture1->SetMinimize(false);
}

void Tvelorix_2::selectionClick(QObject* Sender) {
    // "Capture bureau" (and the menu's "CAPTURE D'ECRAN") takes the desktop with the program
    // out of the way; "Selection" keeps the window in view.
    ScreenCapture1->SetMinimize(Sender == selectionecran);
    ScreenCapture1->SetDelay(500);
    const int n = PageCount();

    // A capture enables the page commands but leaves the "&OUTILS" menu as it was.
    auto enableExceptTools = [this] {
        const bool tools = OUTILS1->menuAction()->isEnabled();
        EnablePageCommands();
        OUTILS1->menuAction()->setEnabled(tools);
    };

    if (FirstPageFilled) {
        ImagePage page = AddImagePage(n + 1, PageKind::Captured);
        // The page still active leaves full-page mode before the screen is frozen.
        SetFullPageBox(false);
        const std::optional<QImage> bitmap = ScreenCapture1->CaptureSelection();
        page.image->SetPicture(bitmap.value_or(QImage()));
        page.image->update();
        page.image->SetStretch(false);
        Zoom1->setEnabled(true);
        SetZoomPosition(0);
        TakeZoomSource(page.image);
        page.page->show();
        SetFullPageBox(false);
        ActivatePage(n);
        enableExceptTools();
        page.image->PrepareStream();
        return;
    }

    TPRImage* image = FillFirstPage(PageKind::Captured);
    if (!image)
        return;
    SetFullPageBox(false);
    const std::optional<QImage> bitmap = ScreenCapture1->CaptureSelection();
    image->SetPicture(bitmap.value_or(QImage()));
    image->update();
    Zoom1->setEnabled(true);
    SetZoomPosition(0);
    TakeZoomSource(image);
    PRPage1->show();
    SetFullPageBox(false);
    image->PrepareStream();
    ActivatePage(0);
    enableExceptTools();
    FirstPageFilled = true;
}

} // namespace velorix
