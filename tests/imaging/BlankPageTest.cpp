// Blank sides told from written ones on pictures made as scanners make them: off-white paper
// with its grain and uneven light, dust, the sheet's edge in shadow, the other side showing
// through, JPEG's blur, at the resolutions and in the colours scans come in.

#include "imaging/BlankPage.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <cstdint>
#include <random>

namespace {

enum Content { Nothing, ShortLine, Signature, PencilNote, FullPage, PalePhoto, DarkPhoto };

struct Scan {
    int dpi = 300;
    bool colour = false;
    bool jpeg = false;
    int paper = 242;   // the paper's own grey
    int dust = 12;     // specks
    bool edges = true; // the sheet's edges and their shadow
    bool showThrough = false;
    Content content = Nothing;
};

QImage Make(const Scan& s) {
    const int w = static_cast<int>(210 / 25.4 * s.dpi), h = static_cast<int>(297 / 25.4 * s.dpi);
    const double mm = s.dpi / 25.4;
    QImage page(w, h, QImage::Format_RGB32);
    page.fill(QColor(s.paper, s.paper, s.paper - 4));
    {
        QPainter p(&page);
        p.setRenderHint(QPainter::Antialiasing);
        if (s.showThrough) {
            // The other side's print, mirrored and faint.
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(static_cast<int>(3.5 * mm));
            p.setFont(font);
            p.setPen(QColor(s.paper - 22, s.paper - 22, s.paper - 24));
            p.save();
            p.translate(w, 0);
            p.scale(-1, 1);
            for (int line = 0; line < 40; ++line)
                p.drawText(QPointF(25 * mm, (30 + line * 6) * mm),
                           QStringLiteral("Conditions générales de vente, article %1.").arg(line));
            p.restore();
        }
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(static_cast<int>(3.5 * mm)); // 10 points
        p.setFont(font);
        p.setPen(Qt::black);
        switch (s.content) {
        case Nothing:
            break;
        case ShortLine:
            p.drawText(QPointF(120 * mm, 250 * mm), QStringLiteral("Lu et approuvé"));
            break;
        case Signature: {
            QPainterPath path(QPointF(130 * mm, 260 * mm));
            path.cubicTo(QPointF(135 * mm, 245 * mm), QPointF(140 * mm, 270 * mm),
                         QPointF(148 * mm, 255 * mm));
            path.cubicTo(QPointF(152 * mm, 248 * mm), QPointF(158 * mm, 268 * mm),
                         QPointF(170 * mm, 252 * mm));
            p.setPen(QPen(QColor(20, 30, 150), 0.4 * mm));
            p.drawPath(path);
            break;
        }
        case PencilNote:
            p.setPen(QColor(150, 150, 150));
            p.drawText(QPointF(30 * mm, 40 * mm), QStringLiteral("à rappeler"));
            break;
        case PalePhoto:
        case DarkPhoto: {
            // Soft tones over the whole page, without a hard edge.
            const int base = s.content == DarkPhoto ? 40 : 150;
            QLinearGradient sky(0, 0, w, h);
            sky.setColorAt(0, QColor(base + 30, base + 30, base + 40));
            sky.setColorAt(1, QColor(base, base + 5, base));
            p.fillRect(QRectF(0, 0, w, h), sky);
            break;
        }
        case FullPage:
            for (int line = 0; line < 40; ++line)
                p.drawText(QPointF(25 * mm, (30 + line * 6) * mm),
                           QStringLiteral("Le présent contrat est conclu pour une durée de %1 "
                                          "mois.")
                               .arg(line));
            break;
        }
        if (s.edges) {
            // The sheet a little askew on a grey backing: a dark band along two sides.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 60, 60));
            p.drawRect(QRectF(0, 0, 2.5 * mm, h));
            p.drawRect(QRectF(0, h - 3 * mm, w, 3 * mm));
        }
    }
    // Grain, uneven light and dust, with a fixed seed.
    std::mt19937 random(7);
    std::normal_distribution<double> grain(0.0, 3.5);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        const double light = -6.0 * y / h;
        for (int x = 0; x < w; ++x) {
            const int d = static_cast<int>(std::lround(grain(random) + light));
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + d, 0, 255), std::clamp(qGreen(c) + d, 0, 255),
                           std::clamp(qBlue(c) + d, 0, 255));
        }
    }
    {
        QPainter p(&page);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        std::uniform_real_distribution<double> at(0.0, 1.0), size(0.05, 0.3);
        for (int i = 0; i < s.dust; ++i) {
            p.setBrush(QColor(40 + i % 5 * 20, 40 + i % 5 * 20, 40 + i % 5 * 20));
            const double r = size(random) * mm;
            p.drawEllipse(QPointF(at(random) * w, at(random) * h), r, r);
        }
    }
    QImage scan =
        page.convertToFormat(s.colour ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    if (s.jpeg) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        scan.save(&buffer, "JPEG", 75);
        scan.loadFromData(bytes, "JPEG");
        scan = scan.convertToFormat(s.colour ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    }
    scan.setDotsPerMeterX(static_cast<int>(std::lround(s.dpi / 0.0254)));
    scan.setDotsPerMeterY(scan.dotsPerMeterX());
    return scan;
}

} // namespace

Q_DECLARE_METATYPE(Scan)

class BlankPageTest : public QObject {
    Q_OBJECT
private slots:
    void sides_data() {
        QTest::addColumn<Scan>("scan");
        QTest::addColumn<bool>("blank");
        auto row = [](const char* name, Scan s, bool blank) { QTest::newRow(name) << s << blank; };
        row("blank paper, grey, 300 dpi", {}, true);
        row("blank paper, colour, 150 dpi, JPEG", {.dpi = 150, .colour = true, .jpeg = true}, true);
        row("blank paper, much dust", {.dust = 60}, true);
        row("blank paper, the other side showing through", {.jpeg = true, .showThrough = true},
            true);
        row("blank recycled paper", {.dpi = 200, .paper = 205}, true);
        row("blank paper, 75 dpi", {.dpi = 75, .colour = true}, true);
        row("one short line", {.content = ShortLine}, false);
        row("one short line, 150 dpi, JPEG",
            {.dpi = 150, .colour = true, .jpeg = true, .content = ShortLine}, false);
        row("one short line, 75 dpi", {.dpi = 75, .content = ShortLine}, false);
        row("a signature in blue", {.colour = true, .content = Signature}, false);
        row("a signature over show-through",
            {.jpeg = true, .showThrough = true, .content = Signature}, false);
        row("a pencil note on recycled paper", {.paper = 215, .content = PencilNote}, false);
        row("a page of text", {.dpi = 150, .content = FullPage}, false);
        row("a pale photograph", {.dpi = 150, .colour = true, .content = PalePhoto}, false);
        row("a dark photograph", {.dpi = 150, .content = DarkPhoto}, false);
    }
    void sides() {
        QFETCH(Scan, scan);
        QFETCH(bool, blank);
        const QImage page = Make(scan);
        const PageInk ink = MeasureInk(page);
        const QString measured = QStringLiteral("ink %1 mm², paper %2, grey %3, spread %4")
                                     .arg(ink.inkAreaMm2)
                                     .arg(ink.paperLevel)
                                     .arg(ink.greyShare)
                                     .arg(ink.spread);
        QVERIFY2(IsBlankPage(page) == blank, qPrintable(measured));
    }

    // A picture without a resolution is taken as A4 wide; odd sizes and formats do not break.
    void anyPicture() {
        QImage page = Make({.dpi = 150, .content = ShortLine});
        page.setDotsPerMeterX(0);
        QVERIFY(!IsBlankPage(page));
        QVERIFY(!IsBlankPage(page.convertToFormat(QImage::Format_ARGB32)));
        QImage grey = Make({.dpi = 150}).convertToFormat(QImage::Format_Indexed8);
        QVERIFY(IsBlankPage(grey));
        QVERIFY(IsBlankPage(QImage()));
        QImage black(200, 300, QImage::Format_Grayscale8);
        black.fill(0);
        QVERIFY(!IsBlankPage(black));
    }
};

QTEST_MAIN(BlankPageTest)
#include "BlankPageTest.moc"
