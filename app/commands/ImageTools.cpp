// Image tools: rotations, grey levels, screen captures.
#include "app/commands/ImageTools.h"

#include "app/window/MainWindow.h"
#include "capture/ScreenCapture.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>
#include <cstring>
#include <optional>

namespace velorix {

namespace {

// Square blocks keep both the rows read and the rows written in the cache while a quarter turn
// walks the source across.
constexpr int kBlock = 64;

// B(row x, column H-1-y) := A(row y, column x) when clockwise, B(row W-1-x, column y) otherwise.
void QuarterTurn(const QImage& a, QImage& b, bool clockwise) {
    const int w = a.width();
    const int h = a.height();
    for (int y0 = 0; y0 < h; y0 += kBlock) {
        const int y1 = std::min(y0 + kBlock, h);
        for (int x0 = 0; x0 < w; x0 += kBlock) {
            const int x1 = std::min(x0 + kBlock, w);
            for (int y = y0; y < y1; ++y) {
                const uchar* src = a.constScanLine(y) + 3 * x0;
                const int column = clockwise ? h - 1 - y : y;
                for (int x = x0; x < x1; ++x, src += 3) {
                    const int row = clockwise ? x : w - 1 - x;
                    uchar* dst = b.scanLine(row) + 3 * column;
                    dst[0] = src[0];
                    dst[1] = src[1];
                    dst[2] = src[2];
                }
            }
        }
    }
}

// B(row H-1-y, column x) := A(row y, column W-1-x).
void HalfTurn(const QImage& a, QImage& b) {
    const int w = a.width();
    const int h = a.height();
    for (int y = 0; y < h; ++y) {
        const uchar* src = a.constScanLine(y);
        uchar* dst = b.scanLine(h - 1 - y) + 3 * (w - 1);
        for (int x = 0; x < w; ++x, src += 3, dst -= 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
}

} // namespace

void RotatePicture(int angle, const QImage& source, QImage& destination) {
    const QImage a = source.convertToFormat(kToolFormat);
    if (a.isNull()) {
        destination = QImage();
        return;
    }
    QImage b;
    if (angle == 90 || angle == -90) {
        b = QImage(a.height(), a.width(), kToolFormat);
        QuarterTurn(a, b, angle == 90);
    } else if (angle == 180) {
        b = QImage(a.width(), a.height(), kToolFormat);
        HalfTurn(a, b);
    } else {
        b = a;
    }
    destination = b;
}

QImage GreyLevels(const QImage& source) {
    QImage c = source.convertToFormat(kToolFormat);
    const int w = c.width();
    for (int y = 0; y < c.height(); ++y) {
        uchar* p = c.scanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const auto g = static_cast<uchar>((p[0] + p[1] + p[2]) / 3);
            p[0] = p[1] = p[2] = g;
        }
    }
    return c;
}

void Tvelorix_2::BuildCapture() {
    // Without a screen layer (tests), captures fail with the "no access" message.
    ScreenCapture1 = new capture::TScreenCapture(
        this, services_.screen ? services_.screen : std::make_shared<capture::NullScreenGrab>());
    ScreenCapture1->setObjectName(QStringLiteral("ScreenCapture1"));
    ScreenCapture1->SetMinimize(false);
}

namespace {

void Rotate(Tvelorix_2& w, int angle) {
    TPRImage* image = w.ActivePageImage();
    if (!image)
        return;
    // A zoomed page is turned at its unzoomed size: the reset gives it ZoomSource back.
    w.SetZoomPosition(0);
    QImage picture = image->Picture();
    RotatePicture(angle, picture, picture);
    image->SetPicture(picture);
    w.TakeZoomSource(image);
    image->update();
}

} // namespace

void Tvelorix_2::N901Click(QObject*) {
    Rotate(*this, -90);
}

void Tvelorix_2::N902Click(QObject*) {
    Rotate(*this, 90);
}

void Tvelorix_2::N1801Click(QObject*) {
    Rotate(*this, 180);
}

void Tvelorix_2::noiretblancClick(QObject*) {
    if (!prompts().confirm(QStringLiteral(
            "La conversion en niveaux de gris est définitive. Voulez-vous continuer?")))
        return;
    TPRImage* image = ActivePageImage();
    if (!image)
        return;
    image->SetPicture(GreyLevels(image->Picture()));
    image->update();
    // A later zoom starts from the grey picture; the bar stays where it is.
    TakeZoomSource(image);
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
    ActivatePage(0);
    enableExceptTools();
    FirstPageFilled = true;
}

} // namespace velorix
