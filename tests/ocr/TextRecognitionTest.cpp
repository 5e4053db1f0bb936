// Recognition of a page far finer than needed (read at 300 dpi, boxes in its own pixels), and a
// recognition stopped part-way through a long line: by its caller's cancel, inside the line, and
// by the program's end within a second.
#include "ocr/TextRecognition.h"
#include "tests/support/FrenchTextPage.h"

#include <QElapsedTimer>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QProcess>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <thread>

using namespace velorix::testing;

namespace {

// Words of `drawn` found with the same text at about the same place, ink boxes scaled by `scale`.
int wordsFoundInPlace(const ocr::TOcrPage& page, const std::vector<TDrawnWord>& drawn,
                      double scale) {
    int found = 0;
    for (const TDrawnWord& word : drawn) {
        const QRect ink = QRectF(word.ink.topLeft() * scale, word.ink.size() * scale).toRect();
        for (const ocr::TOcrWord& got : page.words) {
            const QRect common = got.box.intersected(ink);
            if (QString::fromStdString(got.text).contains(word.text) &&
                2 * common.width() * common.height() > ink.width() * ink.height()) {
                ++found;
                break;
            }
        }
    }
    return found;
}

// One line of text some twenty-five thousand pixels long: seconds of recognition.
QImage OneLongLine() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(46);
    const QString text =
        QStringLiteral("Élise reçoit ce courrier très tôt et répond à Noël par un message bref. ")
            .repeated(16);
    const QFontMetrics metrics(font);
    QImage line(metrics.horizontalAdvance(text) + 80, metrics.height() + 60,
                QImage::Format_Grayscale8);
    line.fill(Qt::white);
    line.setDotsPerMeterX(11811);
    line.setDotsPerMeterY(11811);
    QPainter painter(&line);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(40, 30 + metrics.ascent(), text);
    return line;
}

// Whether the caller's stack runs through Tesseract's library: a cancel asked by the engine from
// inside a line's recognition, not by our own code between the lines.
bool AskedByTesseract() {
    void* frames[128];
    const int n = backtrace(frames, 128);
    for (int i = 0; i < n; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr &&
            std::strstr(info.dli_fname, "libtesseract") != nullptr)
            return true;
    }
    return false;
}

} // namespace

class TextRecognitionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!ocr::LanguagesInstalled())
            QSKIP("tesseract-ocr-fra and tesseract-ocr-eng are not installed");
    }

    void aHugePictureIsReadAt300DpiWithBoxesInItsPixels() {
        std::vector<TDrawnWord> drawn;
        const QImage page = FrenchTextPage(&drawn, 2).convertToFormat(QImage::Format_Grayscale8);
        QElapsedTimer clock;
        clock.start();
        const ocr::TOcrPage normal = ocr::RecognizeText(page);
        const qint64 normalMs = clock.restart();
        QVERIFY(wordsFoundInPlace(normal, drawn, 1) * 10 >= int(drawn.size()) * 9);

        // The same page scanned at 900 dpi: 78 million pixels.
        QImage fine = page.scaled(page.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        fine.setDotsPerMeterX(11811 * 3);
        fine.setDotsPerMeterY(11811 * 3);
        clock.restart();
        const ocr::TOcrPage big = ocr::RecognizeText(fine);
        const qint64 bigMs = clock.elapsed();
        QCOMPARE(big.size, fine.size());
        const int inPlace = wordsFoundInPlace(big, drawn, 3);
        QVERIFY2(inPlace * 10 >= int(drawn.size()) * 9,
                 qPrintable(QStringLiteral("%1 of %2 words").arg(inPlace).arg(drawn.size())));
        // Read at full size it takes four to nine times as long.
        QVERIFY2(
            bigMs < 3 * normalMs + 3000,
            qPrintable(QStringLiteral("%1 ms at 900 dpi, %2 ms at 300").arg(bigMs).arg(normalMs)));
    }

    // The page is one line: a cancel our own code sees only before it and after it. Tesseract
    // asks too, once the line is taken apart and before its text is read; a cancel then leaves
    // the rest of the line, the longest part, undone.
    void aCancelStopsItWithinALine() {
        const QImage line = OneLongLine();
        QElapsedTimer clock;
        clock.start();
        int asked = 0;
        ocr::RecognizeText(line, [&] {
            asked += AskedByTesseract() ? 1 : 0;
            return false;
        });
        const qint64 wholeMs = clock.elapsed();
        QVERIFY2(asked > 0, "Tesseract never asked whether to stop");

        qint64 cancelAt = -1;
        bool cancelled = false;
        clock.restart();
        try {
            ocr::RecognizeText(line, [&] {
                if (cancelAt < 0 && AskedByTesseract())
                    cancelAt = clock.elapsed();
                return cancelAt >= 0;
            });
        } catch (const ocr::TOcrCancelled&) {
            cancelled = true;
        }
        const qint64 after = clock.elapsed() - cancelAt;
        QVERIFY(cancelAt >= 0);
        QVERIFY2(cancelled, "the cancelled line's words were kept");
        // Measured against the whole line on this machine, as loaded as it is.
        QVERIFY2(after * 4 < wholeMs,
                 qPrintable(QStringLiteral("ended %1 ms after the cancel, the whole line takes %2")
                                .arg(after)
                                .arg(wholeMs)));
    }

    // In a process of its own: once stopped, recognition stays stopped.
    void theProgramsEndStopsIt() {
        if (qEnvironmentVariableIsSet("VELORIX_OCR_STOP_CHILD")) {
            std::atomic<bool> cancelled{false};
            QElapsedTimer clock;
            std::thread stop([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                clock.start();
                ocr::StopAllRecognition();
            });
            try {
                ocr::RecognizeText(OneLongLine());
                cancelled = false;
            } catch (const ocr::TOcrCancelled&) {
                cancelled = true;
            }
            stop.join();
            std::printf("stopped:%d after:%lld\n", cancelled.load(),
                        static_cast<long long>(clock.elapsed()));
            return;
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELORIX_OCR_STOP_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("theProgramsEndStopsIt")});
        QVERIFY(child.waitForFinished(300000));
        const QByteArray out = child.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("stopped:(\\d) after:(\\d+)"))
                .match(QString::fromLatin1(out));
        QVERIFY2(m.hasMatch(), out.constData());
        QCOMPARE(m.captured(1), QStringLiteral("1"));
        QVERIFY2(m.captured(2).toInt() < 1000, out.constData());
    }
};

QTEST_MAIN(TextRecognitionTest)
#include "TextRecognitionTest.moc"
