#include "tests/support/OfficePage.h"

#include "ocr/TextRecognition.h"
#include "tests/support/FrenchTextPage.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <map>

namespace velorix::testing {

namespace {

struct Rng {
    std::uint64_t state;
    std::uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state);
    }
};

void DrawPhoto(QPainter& painter, QRect r, int variant) {
    // A smooth landscape with hard-edged shapes: sky, hills, a sun, a house.
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(70, 120, 200));
    sky.setColorAt(1, QColor(200, 220, 240));
    painter.fillRect(r, sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 210, 60));
    painter.drawEllipse(QPoint(r.left() + r.width() * 3 / 4, r.top() + r.height() / 4), 110, 110);
    QPainterPath hills;
    hills.moveTo(r.bottomLeft());
    for (int x = 0; x <= r.width(); x += 20) {
        hills.lineTo(r.left() + x, r.top() + r.height() * 0.6 + 90 * std::sin(x / 230.0 + variant));
    }
    hills.lineTo(r.bottomRight());
    hills.closeSubpath();
    QLinearGradient grass(r.topLeft(), r.bottomLeft());
    grass.setColorAt(0, QColor(90, 160, 70));
    grass.setColorAt(1, QColor(30, 80, 30));
    painter.setBrush(grass);
    painter.drawPath(hills);
    painter.setBrush(QColor(180, 60, 40));
    painter.drawRect(r.left() + 400, r.top() + r.height() / 2, 260, 200);
    painter.setBrush(QColor(110, 70, 50));
    painter.drawPolygon(QPolygon({QPoint(r.left() + 380, r.top() + r.height() / 2),
                                  QPoint(r.left() + 530, r.top() + r.height() / 2 - 130),
                                  QPoint(r.left() + 680, r.top() + r.height() / 2)}));
    painter.setRenderHint(QPainter::Antialiasing, false);
}

} // namespace

QRect OfficePhoto(int variant) {
    return QRect(300, 2300 + 20 * (variant % 5), 1700, 850);
}

QImage OfficePage(int variant, bool withPhoto) {
    QImage page = FrenchTextPage(nullptr, 3);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont heading(QStringLiteral("DejaVu Sans"));
    heading.setPixelSize(70);
    heading.setBold(true);
    painter.setFont(heading);
    painter.setPen(QColor(190, 30, 30));
    painter.drawText(200, 190, QStringLiteral("Compte rendu de la réunion"));
    painter.fillRect(200, 225, 2080, 3, Qt::black); // a rule under the heading
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPixelSize(46);
    painter.setFont(body);
    painter.setPen(QColor(20, 60, 170));
    painter.drawText(200, 2200, QStringLiteral("Les photos du chantier suivent ci-dessous."));
    painter.setPen(QPen(QColor(60, 60, 60), 1)); // hairlines: a box of one pixel
    painter.drawRect(2080, 2280, 300, 420);
    painter.drawLine(2080, 2420, 2380, 2420);
    painter.drawLine(2080, 2560, 2380, 2560);
    if (withPhoto)
        DrawPhoto(painter, OfficePhoto(variant), variant);
    painter.end();
    AsScanned(page, variant);
    return page;
}

QRect ShadedBox(int which) {
    return which == 0 ? QRect(200, 300, 2080, 500) : QRect(200, 1000, 2080, 500);
}

QImage ShadedBoxPage() {
    QImage page(2480, 3508, QImage::Format_RGB888);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPixelSize(46);
    painter.setFont(body);
    const QColor tints[2] = {QColor(215, 215, 215), QColor(190, 215, 245)};
    for (int which = 0; which < 2; ++which) {
        const QRect box = ShadedBox(which);
        painter.fillRect(box, tints[which]);
        painter.setPen(QColor(25, 25, 25));
        for (int line = 0; line < 6; ++line)
            painter.drawText(box.left() + 60, box.top() + 90 + 70 * line,
                             QStringLiteral("Encadré %1 : la facture est à régler avant le 15 "
                                            "mars, ligne %2.")
                                 .arg(which + 1)
                                 .arg(line + 1));
    }
    painter.setPen(Qt::black);
    painter.drawText(200, 1700, QStringLiteral("Hors des encadrés, le texte est sur le papier."));
    painter.end();
    AsScanned(page, 7);
    return page;
}

void AsScanned(QImage& page, int variant) {
    // The scan: tinted paper, its grain and a few dark specks, sensor noise on everything.
    Rng rng{0x51ED270B27A5ULL * static_cast<std::uint64_t>(variant + 1)};
    for (int y = 0; y < page.height(); ++y) {
        uchar* p = page.scanLine(y);
        for (int x = 0; x < page.width(); ++x, p += 3) {
            const std::uint32_t n = rng.Next();
            const int grain = static_cast<int>(n % 9) - 4;
            const int tint[3] = {246, 243, 234};
            for (int c = 0; c < 3; ++c) {
                int v = p[c] * tint[c] / 255 + grain + static_cast<int>((n >> (8 + 3 * c)) & 3) - 1;
                if ((n >> 24) == 0 && ((n >> 16) & 0xFF) < 6)
                    v -= 90; // a speck of dust
                p[c] = static_cast<uchar>(std::clamp(v, 0, 255));
            }
        }
    }
}

QByteArray QualityPdf(const QImage& picture, TPdfQuality quality, double dpi) {
    TPdfDoc doc;
    doc.NewDocument();
    doc.AddPage();
    doc.Canvas().SetPageWidth(picture.width());
    doc.Canvas().SetPageHeight(picture.height());
    const auto encoded = EncodePicture(picture, quality, dpi);
    for (const std::string& name : AddEncodedPicture(doc, "Im1", picture, *encoded))
        doc.Canvas().DrawXObject(0, 0, picture.width(), picture.height(), name);
    TPdfStringStream out;
    doc.SaveToStream(out);
    return QByteArray::fromStdString(out.TakeBytes());
}

QImage RenderPdfPage(const QString& pdf, int page, QSize size, bool mutool) {
    QTemporaryDir dir;
    QProcess process;
    const QString out = dir.filePath(QStringLiteral("page.ppm"));
    if (mutool) {
        process.start(QStringLiteral("mutool"),
                      {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-o"), out,
                       QStringLiteral("-w"), QString::number(size.width()), QStringLiteral("-h"),
                       QString::number(size.height()), QStringLiteral("-c"), QStringLiteral("rgb"),
                       pdf, QString::number(page)});
    } else {
        process.start(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                       QString::number(page), QStringLiteral("-scale-to-x"),
                       QString::number(size.width()), QStringLiteral("-scale-to-y"),
                       QString::number(size.height()), QStringLiteral("-singlefile"), pdf,
                       dir.filePath(QStringLiteral("page"))});
    }
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QImage();
    QImage image(out);
    if (!image.isNull() && image.size() != size)
        image = image.scaled(size); // mutool may fit within the box by a pixel
    return image.convertToFormat(QImage::Format_RGB888);
}

double Psnr(const QImage& a, const QImage& b, QRect rect) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    if (rect.isEmpty())
        rect = x.rect();
    rect &= x.rect() & y.rect();
    double sum = 0;
    for (int row = rect.top(); row <= rect.bottom(); ++row) {
        const uchar* p = x.constScanLine(row) + 3 * rect.left();
        const uchar* q = y.constScanLine(row) + 3 * rect.left();
        for (int i = 0; i < 3 * rect.width(); ++i) {
            const double d = double(p[i]) - double(q[i]);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * rect.width() * rect.height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

QStringList RecognisedWords(const QImage& picture) {
    QStringList words;
    for (const ocr::TOcrWord& word : ocr::RecognizeText(picture).words)
        words << QString::fromStdString(word.text);
    return words;
}

double WordRecall(const QStringList& reference, const QStringList& found) {
    if (reference.isEmpty())
        return 1.0;
    std::map<QString, int> left;
    for (const QString& word : found)
        ++left[word];
    int matched = 0;
    for (const QString& word : reference) {
        auto it = left.find(word);
        if (it != left.end() && it->second > 0) {
            --it->second;
            ++matched;
        }
    }
    return double(matched) / double(reference.size());
}

} // namespace velorix::testing
