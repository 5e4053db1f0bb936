// The input rule while the program waits: clicks and keys on a window of ours that is not modal
// are dropped, not run once the wait ends; the command's modal progress window takes them.
#include "waits/Waits.h"

#include "scan/ScanPlatform.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

class WaitsTest : public QObject {
    Q_OBJECT

private slots:
    void inputReachesOnlyTheModalWindows() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* button = new QPushButton(QStringLiteral("Numériser"), &window);
        auto* field = new QLineEdit(&window);
        layout->addWidget(button);
        layout->addWidget(field);
        int clicks = 0;
        connect(button, &QPushButton::clicked, this, [&clicks] { ++clicks; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        field->setFocus();

        // No modal window: the window itself holds every click and key until the wait ends.
        QObject scope;
        QTimer::singleShot(20, &scope, [&] {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::keyClicks(field, QStringLiteral("abc"));
        });
        QVERIFY(!velorix::waits::Until([] { return false; }, 200));
        velorix::waits::Pending();
        QCoreApplication::processEvents();
        QCOMPARE(clicks, 0);
        QCOMPARE(field->text(), QString());

        // The progress window of a scan is modal: its "Annuler" gets through during the wait.
        auto progress = velorix::scan::CreateScanProgressDialog("Numérisation", "Un instant", true);
        progress->Show();
        auto* dialog = dynamic_cast<QWidget*>(progress.get());
        QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog));
        auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"));
        QVERIFY(cancel);
        QTimer::singleShot(20, &scope, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
        QVERIFY(velorix::waits::Until([&progress] { return progress->CancelRequested(); }, 5000));
        progress->Finish();
        progress.reset();

        // After the wait, the window answers as before.
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::keyClicks(field, QStringLiteral("abc"));
        QCOMPARE(clicks, 1);
        QCOMPARE(field->text(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(WaitsTest)
#include "WaitsTest.moc"
