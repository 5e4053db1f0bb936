// The open and save dialogs: their filters and starting state, what they hand back, the preview
// and the advanced options.

#include "imaging/ImageDialogs.h"
#include "tests/imaging/TestImages.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace velorix::imaging;
using namespace velorix::testing;

namespace {

// Runs action on the next modal dialog that opens (for dialogs shown by exec()).
void onNextModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void filtersInTheirOrder() {
        const QStringList open = qtNameFilters(TOpenImageDialog::kFilter);
        QCOMPARE(open.size(), 16);
        QVERIFY(open.first().startsWith(QStringLiteral("Toutes les images (*.tif *.tiff *.fax")));
        QCOMPARE(open.first().count(QStringLiteral("*.")), 33);
        QCOMPARE(open.last(), QStringLiteral("Document PDF (PDF) (*.pdf)"));

        TSaveImageDialog save;
        const QStringList types = qtNameFilters(save.Filter);
        QCOMPARE(types.size(), 13);
        const QStringList extensions = {"jpg", "tif", "pcx", "png", "bmp", "bmp", "tga",
                                        "pxm", "ppm", "pgm", "pbm", "jp2", "j2k"};
        for (int i = 1; i <= 13; ++i)
            QCOMPARE(save.extensionOfType(i), extensions[i - 1]);
        QCOMPARE(types[5], QStringLiteral("OS/2 Bitmap (BMP) (*.bmp)"));
    }

    void saveDialogStartsAndAnswers() {
        QTemporaryDir dir;
        TSaveImageDialog save;
        QCOMPARE(save.FileName, QStringLiteral("capture"));
        QCOMPARE(save.DefaultExt, QStringLiteral("*.jpg"));
        save.InitialDir = dir.path();
        std::unique_ptr<QFileDialog> dialog(save.create(nullptr));
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("jpg"));
        QCOMPARE(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
        QCOMPARE(dialog->selectedNameFilter(), qtNameFilters(save.Filter).first());
        QVERIFY(dialog->findChild<QPushButton*>(QStringLiteral("advanced")));

        // A name typed without an extension takes the chosen type's; an existing file is not
        // questioned by the dialog (the command asks).
        ASSERT_TRUE_WRITE(dir.filePath("scan.jpg"));
        dialog->selectFile(QStringLiteral("scan"));
        static_cast<QDialog*>(dialog.get())->accept(); // as the user pressing the button
        QVERIFY(save.accept(*dialog));
        QCOMPARE(save.FileName, dir.filePath("scan.jpg"));
        QCOMPARE(save.FilterIndex, 1);
        QVERIFY(!save.Options.os2Bitmap);

        // Next time it starts in the folder of the last name.
        dialog.reset(save.create(nullptr));
        QCOMPARE(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());

        // The OS/2 type: only for a ".bmp" name; the extension decides.
        const QStringList types = qtNameFilters(save.Filter);
        dialog->selectNameFilter(types[5]);
        emit dialog->filterSelected(types[5]);
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("bmp"));
        dialog->selectFile(QStringLiteral("page"));
        static_cast<QDialog*>(dialog.get())->accept(); // as the user pressing the button
        QVERIFY(save.accept(*dialog));
        QCOMPARE(save.FileName, dir.filePath("page.bmp"));
        QCOMPARE(save.FilterIndex, 6);
        QVERIFY(save.Options.os2Bitmap);

        dialog.reset(save.create(nullptr));
        QCOMPARE(dialog->selectedNameFilter(), types[5]);
        dialog->selectFile(QStringLiteral("page.PNG"));
        static_cast<QDialog*>(dialog.get())->accept(); // as the user pressing the button
        QVERIFY(save.accept(*dialog));
        QVERIFY(!save.Options.os2Bitmap);

        dialog.reset(save.create(nullptr));
        dialog->reject();
        QVERIFY(!save.accept(*dialog));
    }

    void openDialogRemembersAndPreviews() {
        QTemporaryDir dir;
        TImageEngine engine;
        engine.Assign(colourPattern(64, 32));
        engine.SaveToFile(dir.filePath("one.png"));
        ASSERT_TRUE_WRITE(dir.filePath("broken.png"));

        TOpenImageDialog open;
        QVERIFY(open.FileName.isEmpty());
        std::unique_ptr<QFileDialog> dialog(open.create(nullptr));
        QCOMPARE(dialog->nameFilters().size(), 16);
        dialog->setDirectory(dir.path());
        dialog->selectFile(dir.filePath("one.png"));
        static_cast<QDialog*>(dialog.get())->accept(); // as the user pressing the button
        QVERIFY(open.accept(*dialog));
        QCOMPARE(open.FileName, dir.filePath("one.png"));

        dialog.reset(open.create(nullptr));
        QCOMPARE(dialog->selectedFiles().value(0), dir.filePath("one.png"));
        auto* preview = dialog->findChild<TImagePreview*>(QStringLiteral("preview"));
        QVERIFY(preview);
        emit dialog->currentChanged(dir.filePath("one.png"));
        QVERIFY(!preview->pixmap().isNull());
        QCOMPARE(preview->pixmap().width(), 212);
        emit dialog->currentChanged(dir.filePath("broken.png"));
        QVERIFY(preview->pixmap().isNull());
        QVERIFY(preview->text().contains(QStringLiteral("aperçu impossible")));

        dialog->reject();
        QVERIFY(!open.accept(*dialog));
        QCOMPARE(open.FileName, dir.filePath("one.png"));
    }

    void advancedOptionsSetJpegQuality() {
        TSaveOptions options;
        onNextModal([](QWidget* modal) {
            modal->findChild<QSpinBox*>(QStringLiteral("jpegQuality"))->setValue(55);
            static_cast<QDialog*>(modal)->accept();
        });
        QVERIFY(editSaveOptions(nullptr, options));
        QCOMPARE(options.jpegQuality, 55);

        onNextModal([](QWidget* modal) {
            modal->findChild<QSpinBox*>(QStringLiteral("jpegQuality"))->setValue(10);
            static_cast<QDialog*>(modal)->reject();
        });
        QVERIFY(!editSaveOptions(nullptr, options));
        QCOMPARE(options.jpegQuality, 55);
    }

private:
    static void ASSERT_TRUE_WRITE(const QString& path) { QVERIFY(writeAll(path, "not an image")); }
};

QTEST_MAIN(DialogsTest)
#include "ImageDialogsTest.moc"
