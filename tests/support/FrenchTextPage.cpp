#include "tests/support/FrenchTextPage.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

namespace velorix::testing {

namespace {

const char* const kColumns[2] = {
    "Le scanner prête à chaque page une image nette : les mots français gardent leurs accents, "
    "déjà écrits à la main ou tapés à la machine. Où que l'on cherche, le texte reconnu se "
    "trouve sous l'image, invisible mais présent, et la sélection couvre chaque mot.",
    "Élise reçoit ce courrier très tôt ; elle répond à Noël par un message bref. Le château "
    "voisin, où naquit son aïeul, abrite une forêt de hêtres que l'on visite en été. Garçons et "
    "filles y apprennent à reconnaître les oiseaux."};

} // namespace

QImage FrenchTextPage(std::vector<TDrawnWord>* words, int repeats) {
    QImage page(2480, 3508, QImage::Format_RGB888);
    page.fill(Qt::white);
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    QPainter painter(&page);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(46); // 11 points at 300 dpi
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font);
    const int columnWidth = 1000;
    const int lineStep = metrics.height() + 18;
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    for (int c = 0; c < 2; ++c) {
        const int left = 200 + c * (columnWidth + 180);
        int x = left;
        int baseline = 300;
        const QString text = (QString::fromUtf8(kColumns[c]) + QLatin1Char(' ')).repeated(repeats);
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int advance = metrics.horizontalAdvance(word);
            if (x > left && x + advance > left + columnWidth) {
                x = left;
                baseline += lineStep;
            }
            painter.drawText(x, baseline, word);
            if (words != nullptr)
                words->push_back(
                    {word, QRectF(metrics.tightBoundingRect(word)).translated(x, baseline)});
            x += advance + space;
        }
    }
    return page;
}

QByteArray PpmFile(const QImage& page) {
    const QImage rgb = page.convertToFormat(QImage::Format_RGB888);
    QByteArray ppm =
        QStringLiteral("P6\n%1 %2\n255\n").arg(rgb.width()).arg(rgb.height()).toLatin1();
    for (int y = 0; y < rgb.height(); ++y)
        ppm.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    return ppm;
}

} // namespace velorix::testing
