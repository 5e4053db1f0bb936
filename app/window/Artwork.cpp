#include "app/window/Artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace velorix::artwork {

namespace {

using Drawer = std::function<void(QPainter&)>;

// Draws on a transparent square in a 16-unit coordinate system, whatever the pixel size.
QImage draw(int size, const Drawer& body) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    body(p);
    return img;
}

QIcon icon(const Drawer& body) {
    QIcon result;
    for (int size : {16, 24, 32})
        result.addPixmap(QPixmap::fromImage(draw(size, body)));
    return result;
}

const QColor kInk(40, 40, 40);
const QColor kPaper(250, 250, 245);
const QColor kBlue(40, 90, 200);
const QColor kRed(200, 40, 40);
const QColor kGreen(30, 140, 60);

void scannerShape(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(90, 100, 115));
    p.drawRoundedRect(QRectF(1.5, 7.5, 13, 5.5), 1, 1);
    p.setBrush(QColor(170, 210, 240));
    p.drawRect(QRectF(3, 8.5, 10, 1.5));
    p.setBrush(QColor(60, 65, 75));
    p.drawPolygon(
        QPolygonF({QPointF(1.5, 7.5), QPointF(4, 4), QPointF(14.5, 4.5), QPointF(14.5, 7.5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(12.5, 11.5), 0.8, 0.8);
}

void printerShape(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(110, 110, 120));
    p.drawRoundedRect(QRectF(1.5, 6, 13, 6), 1, 1);
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 10, 7, 4.5));
}

void floppyShape(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(kBlue);
    p.drawRect(QRectF(2, 2, 12, 12));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 2, 7, 4.5));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(4, 9, 8, 5));
}

void envelopeShape(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(255, 240, 190));
    p.drawRect(QRectF(1.5, 4, 13, 9));
    p.drawPolyline(QPolygonF({QPointF(1.5, 4), QPointF(8, 9), QPointF(14.5, 4)}));
}

void pageShape(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(kPaper);
    p.drawPolygon(QPolygonF({QPointF(3.5, 1.5), QPointF(10, 1.5), QPointF(12.5, 4),
                             QPointF(12.5, 14.5), QPointF(3.5, 14.5)}));
}

void pictureShape(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(150, 200, 250));
    p.drawRect(QRectF(1.5, 3, 13, 10));
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF(
        {QPointF(2, 12.5), QPointF(6, 7), QPointF(9, 10.5), QPointF(11, 8.5), QPointF(14, 12.5)}));
    p.setBrush(QColor(250, 210, 40));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(11.5, 5.5), 1.2, 1.2);
}

void pdfShape(QPainter& p) {
    pageShape(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawRect(QRectF(2, 8, 12, 5));
    p.setPen(QPen(Qt::white, 1));
    p.drawLine(QPointF(4, 9.5), QPointF(4, 11.5));
    p.drawLine(QPointF(7.5, 9.5), QPointF(7.5, 11.5));
    p.drawLine(QPointF(11, 9.5), QPointF(11, 11.5));
}

void arrowShape(QPainter& p, bool clockwise) {
    p.setPen(QPen(kBlue, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath arc;
    arc.arcMoveTo(QRectF(3, 3, 10, 10), clockwise ? 160 : 20);
    arc.arcTo(QRectF(3, 3, 10, 10), clockwise ? 160 : 20, clockwise ? -250 : 250);
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    const QPointF tip = arc.currentPosition();
    const double dx = clockwise ? -1 : 1;
    p.drawPolygon(QPolygonF({tip + QPointF(-2.5 * dx, -1.5), tip + QPointF(1.5 * dx, -2.5),
                             tip + QPointF(0.5 * dx, 2)}));
}

void dashedRect(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kInk, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
}

void greyShape(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(Qt::black);
    p.drawPie(QRectF(2, 2, 12, 12), 90 * 16, 180 * 16);
    p.setBrush(Qt::white);
    p.drawPie(QRectF(2, 2, 12, 12), -90 * 16, 180 * 16);
}

void badge(QPainter& p, const Drawer& small) {
    p.save();
    p.translate(7, 7);
    p.scale(0.56, 0.56);
    small(p);
    p.restore();
}

} // namespace

QList<QIcon> imageList() {
    QList<QIcon> list;
    list << icon(floppyShape); // 0
    list << icon([](QPainter& p) {
        scannerShape(p);
        badge(p, printerShape);
    }); // 1
    list << icon([](QPainter& p) {
        scannerShape(p);
        badge(p, floppyShape);
    });                         // 2
    list << icon(printerShape); // 3
    list << icon(pageShape);    // 4
    list << icon([](QPainter& p) {
        envelopeShape(p);
        badge(p, pdfShape);
    });                            // 5
    list << icon(pdfShape);        // 6
    list << icon([](QPainter& p) { // 7
        p.setPen(QPen(kInk, 0.8));
        p.setBrush(QColor(70, 70, 80));
        p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
        p.setBrush(QColor(150, 200, 250));
        p.drawEllipse(QPointF(8, 9), 3, 3);
    });
    list << icon(pictureShape);    // 8
    list << icon([](QPainter& p) { // 9
        p.setPen(QPen(kInk, 0.8));
        p.setBrush(QColor(240, 200, 80));
        p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5),
                                 QPointF(14.5, 5), QPointF(14.5, 13), QPointF(1.5, 13)}));
    });
    list << icon([](QPainter& p) {
        envelopeShape(p);
        badge(p, pictureShape);
    });                                                     // 10
    list << icon(scannerShape);                             // 11
    list << icon([](QPainter& p) { arrowShape(p, true); }); // 12
    list << icon(greyShape);                                // 13
    list << icon([](QPainter& p) {                          // 14
        p.setPen(QPen(kInk, 0.8));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(11);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, QStringLiteral("?"));
    });
    return list;
}

QIcon glyph(const QString& name) {
    static const QList<QPair<QString, Drawer>> glyphs = {
        {QStringLiteral("moins90"), [](QPainter& p) { arrowShape(p, false); }},
        {QStringLiteral("plus90"), [](QPainter& p) { arrowShape(p, true); }},
        {QStringLiteral("plus180"),
         [](QPainter& p) {
             p.setPen(QPen(kBlue, 1.6, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(8, 2), QPointF(8, 14));
             p.setBrush(kBlue);
             p.setPen(Qt::NoPen);
             p.drawPolygon(QPolygonF({QPointF(8, 1), QPointF(5, 5), QPointF(11, 5)}));
             p.drawPolygon(QPolygonF({QPointF(8, 15), QPointF(5, 11), QPointF(11, 11)}));
         }},
        {QStringLiteral("noiretblanc"), greyShape},
        {QStringLiteral("selection"),
         [](QPainter& p) {
             pictureShape(p);
             dashedRect(p, QRectF(4, 5, 8, 6));
         }},
        {QStringLiteral("selectionecran"),
         [](QPainter& p) {
             p.setPen(QPen(kInk, 0.8));
             p.setBrush(QColor(60, 110, 170));
             p.drawRect(QRectF(1.5, 2, 13, 9));
             p.setBrush(QColor(120, 120, 120));
             p.drawRect(QRectF(6, 11, 4, 2));
             p.drawRect(QRectF(4, 13, 8, 1.5));
             p.setPen(QPen(Qt::white, 1, Qt::DashLine));
             p.setBrush(Qt::NoBrush);
             p.drawRect(QRectF(4, 4, 6, 5));
         }},
        {QStringLiteral("effacer"),
         [](QPainter& p) {
             p.setPen(QPen(kRed, 2.2, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
             p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
         }},
        {QStringLiteral("scanner"), scannerShape},
        {QStringLiteral("imprimer"), printerShape},
        {QStringLiteral("enregistrer"), floppyShape},
        {QStringLiteral("pdf"), pdfShape},
        {QStringLiteral("mail"), envelopeShape},
        {QStringLiteral("modifier"),
         [](QPainter& p) {
             pageShape(p);
             p.setPen(QPen(QColor(230, 150, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(5, 12), QPointF(12, 5));
         }},
        {QStringLiteral("ouvrir"), pictureShape},
    };
    for (const auto& [key, body] : glyphs) {
        if (key == name)
            return icon(body);
    }
    return {};
}

QImage scannerPictogram(int size) {
    return draw(size, scannerShape);
}

QImage placeholderPicture() {
    QImage img(598, 798, QImage::Format_RGB888);
    img.fill(QColor(128, 128, 128));
    QPainter p(&img);
    const QImage mark = scannerPictogram(96);
    p.drawImage(QPoint((img.width() - mark.width()) / 2, (img.height() - mark.height()) / 2), mark);
    return img;
}

// The scalable icon installed for the desktop (data/desktop/*.svg) draws the same shapes.
QImage applicationIcon(int size) {
    return draw(size, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 128, 255));
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
        scannerShape(p);
    });
}

QIcon windowIcon() {
    QIcon result;
    for (int size : {16, 32, 48, 64})
        result.addPixmap(QPixmap::fromImage(applicationIcon(size)));
    return result;
}

} // namespace velorix::artwork
