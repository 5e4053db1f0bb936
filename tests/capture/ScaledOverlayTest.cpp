// A screen scaled by 2: the overlay shows the frozen screen sharp, one snapshot pixel to one
// device pixel, and cuts the selection at device pixels.
#include "OverlayDriver.h"

#include "capture/CaptureRectForm.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

using velorix::capture::TCaptureRectForm;

class ScaledOverlayTest : public QObject {
    Q_OBJECT
private slots:
    void dragIsCutAtDevicePixels() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->devicePixelRatio(), 2.0);
        const QRect logical = screen->geometry();
        const QImage snapshot = overlay::distinctPicture(logical.width() * 2, logical.height() * 2);
        TCaptureRectForm form(snapshot, logical);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // Rendered at the screen's device pixels.
        QImage shown = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        shown.setDevicePixelRatio(1);
        QCOMPARE(shown.size(), snapshot.size());
        QCOMPARE(shown, snapshot);

        overlay::drag(form, QPoint(10, 20), QPoint(210, 170));
        QCOMPARE(form.Result().size(), QSize(400, 300));
        QCOMPARE(form.Result().devicePixelRatio(), 1.0);
        QCOMPARE(form.Result().convertToFormat(QImage::Format_RGB32),
                 snapshot.copy(20, 40, 400, 300));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ScaledOverlayTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "ScaledOverlayTest.moc"
