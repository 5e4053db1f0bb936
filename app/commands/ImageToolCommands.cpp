// The image tool commands: turns of the active page and its grey levels.
#include "app/window/MainWindow.h"
#include "imaging/ImageTools.h"

#include <QAction>
#include <QCheckBox>
#include <QScrollBar>
#include <QToolButton>

namespace velorix {

using imaging::GreyLevels;
using imaging::RotatePicture;

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
    image->PrepareStream();
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
    image->PrepareStream();
}

} // namespace velorix
