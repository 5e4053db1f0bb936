#include "report/PRImage.h"

#include "imaging/SmoothScale.h"
#include "pdf/PdfImages.h"
#include "report/TextLayer.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

TPRImage::TPRImage(QWidget* parent)
    : TPRItem(parent), FRandom(static_cast<std::minstd_rand::result_type>(
                           std::chrono::system_clock::now().time_since_epoch().count())) {}

TPRImage::~TPRImage() = default;

void TPRImage::SetPicture(const QImage& value) {
    FState.SetPicture(value);
    update();
}

void TPRImage::SetScaledPicture(const QImage& source, QSize size) {
    FState.SetScaledPicture(source, size);
    update();
}

void TPRImage::SetPendingScale(const std::shared_ptr<TPendingScale>& scale) {
    FState.SetPendingScale(scale);
    update();
}

void TPRImage::SetPictureData(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        SetPicture(QImage());
        return;
    }
    if (!bytes.startsWith("BM")) {
        throw std::runtime_error("only bitmap image is allowed.");
    }
    const QImage image = QImage::fromData(bytes, "BMP");
    if (image.isNull()) {
        throw std::runtime_error("Image bitmap illisible.");
    }
    SetPicture(image);
}

void TPRImage::SetStretch(bool value) {
    if (value == FStretch) {
        return;
    }
    FStretch = value;
    update();
}

std::string TPRImage::XObjectName(TPdfDoc& doc) {
    const std::string base = objectName().toStdString();
    // An unnamed image would share the empty name with every other unnamed image of the
    // document and print someone else's picture: it always gets a numbered name of its own.
    if (FSharedImage && !base.empty()) {
        return base;
    }
    const std::string stem = base.empty() ? std::string("PRImage") : base;
    unsigned n = static_cast<unsigned>(FRandom() % 65534u);
    for (int tries = 0; tries < 65535; ++tries) {
        std::string candidate = stem + std::to_string(n);
        if (doc.FindXObject(candidate) == nullptr) {
            return candidate;
        }
        n = (n + 1) % 65536u;
    }
    throw EPdfException("image count over max value..");
}

void TPRImage::Print(TPRCanvas* ACanvas, const QRect& ARect) {
    const QImage& picture = Picture();
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0) {
        return;
    }
    TPRPage* page = Page();
    if (page == nullptr) {
        return; // not on a page: there is no page height to place it by
    }
    TPdfCanvas* pdf = ACanvas->PdfCanvas();
    TPdfDoc& doc = pdf->Document();
    const TPdfQuality quality = ACanvas->Quality();
    const std::string name = XObjectName(doc);
    std::vector<std::string> layers;
    if (doc.FindXObject(name) != nullptr) {
        // Printed before in this document: its layers are there under their names.
        layers.push_back(name);
        if (doc.FindXObject(ForegroundLayerName(name)) != nullptr) {
            layers.push_back(ForegroundLayerName(name));
        }
    } else {
        layers = AddEncodedPicture(doc, name, picture, *FState.Encoded(quality, DrawnSize()));
    }

    const int pageHeight = page->height();
    const int left = ARect.x();
    const int top = ARect.y();
    const int bottom = ARect.y() + ARect.height();
    QRectF drawn;
    for (const std::string& layer : layers) {
        if (FStretch) {
            pdf->DrawXObject(left, pageHeight - bottom, width(), height(), layer);
            drawn = QRectF(left, pageHeight - bottom, width(), height());
        } else {
            const int pw = picture.width();
            const int ph = picture.height();
            pdf->DrawXObjectEx(left, pageHeight - top - ph, pw, ph, left,
                               pageHeight - top - height(), width(), height(), layer);
            drawn = QRectF(left, pageHeight - top - ph, pw, ph);
        }
    }
    if (ACanvas->SearchableText()) {
        if (const auto text = FState.Text()) {
            // Over the picture as drawn, and only where it shows.
            WriteTextLayer(*pdf, *text, drawn,
                           QRectF(left, pageHeight - top - height(), width(), height()));
        }
    }
}

QSizeF TPRImage::DrawnSize() const {
    if (FStretch) {
        return QSizeF(width(), height());
    }
    return QSizeF(ScalePending() ? FState.ScaleSize() : FState.Current().size());
}

void TPRImage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (ScalePending() && !FStretch) {
        // Only what shows is scaled: the part of the scaled picture inside the area to paint.
        const QRect part = event->rect() & rect() & QRect(QPoint(0, 0), FState.ScaleSize());
        const QImage pixels = SmoothScaledPart(FState.ScaleSource(), FState.ScaleSize(), part);
        if (!pixels.isNull()) {
            painter.drawImage(part.topLeft(), pixels);
        }
        return;
    }
    if (ScalePending()) {
        try {
            Picture();
        } catch (const std::exception&) {
            return; // too large to make: the panel shows through, the source stays pending
        }
    }
    const QImage& picture = FState.Current();
    if (!picture.isNull()) {
        if (FStretch) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(rect(), picture);
        } else {
            painter.drawImage(0, 0, picture);
        }
        return;
    }
    // No picture yet: show where the image sits and which one it is.
    painter.drawText(QRect(4, 4, std::max(0, width() - 4), std::max(0, height() - 4)),
                     Qt::AlignLeft | Qt::AlignTop, objectName());
    painter.setPen(QPen(QColor(0, 0, 255), 1, Qt::DotLine));
    const QPoint corners[] = {QPoint(0, 0), QPoint(width() - 1, 0),
                              QPoint(width() - 1, height() - 1), QPoint(0, height() - 1)};
    painter.drawPolygon(corners, 4);
}
