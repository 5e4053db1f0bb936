// velorix --pdf: a run over several formats gives the PDF the window writes for the same pages;
// a corrupt image or a folder that cannot be written fails cleanly, leaving files as they were.
#include "tests/app/ImagePrompts.h"
#include "tests/app/PageFiles.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"
#include "tests/files/FailingSync.h"
#include "tests/imaging/TestImages.h"

#include <QCheckBox>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

using velorix::Tvelorix_2;
using namespace velorix::testing;

namespace {

struct Run {
    int exitCode = -1;
    QString out, err;
};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs "velorix --pdf ARGS" as a user would from a terminal without a display. asNobody drops
// root's rights so that file permissions apply.
Run runPdf(QStringList args, bool asNobody = false, const QString& program = VELORIX_EXE,
           QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    args.prepend(QStringLiteral("--pdf"));
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "MAGICK_CONFIGURE_PATH"})
        env.remove(QString::fromLatin1(name));
    QProcess p;
    p.setProcessEnvironment(env);
    if (asNobody)
        p.start(QStringLiteral("setpriv"),
                QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args);
    else
        p.start(program, args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QByteArray withoutDates(QByteArray pdf) {
    static const QRegularExpression date(QStringLiteral("\\(D:[0-9]{14}[^)]*\\)"));
    return QString::fromLatin1(pdf).replace(date, QStringLiteral("(D:date)")).toLatin1();
}

} // namespace

class CliPdfTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QStringList images;
    QString corrupt;

private slots:
    void initTestCase() {
        QVERIFY(QFile::setPermissions(
            dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                            QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
        velorix::imaging::TImageEngine engine;
        const struct {
            const char* name;
            QImage picture;
        } made[] = {
            {"small.png", colourPattern(400, 300)}, {"scan.jpg", smoothPattern(1200, 1600)},
            {"a4.tif", colourPattern(827, 1169)},   {"page.bmp", colourPattern(600, 800)},
            {"grey.pgm", greyPattern(90, 70)},      {"stream.j2k", colourPattern(64, 80)},
        };
        for (const auto& m : made) {
            engine.Assign(m.picture);
            images << dir.filePath(m.name);
            engine.SaveToFile(images.last());
        }
        corrupt = dir.filePath("corrupt.png");
        const QByteArray png = readAll(images.first());
        QVERIFY(writeAll(corrupt, png.left(png.size() / 2)));
    }

    void manyFormatsGiveTheWindowsPdf() {
        const QString out = dir.filePath("cli.pdf");
        const Run run = runPdf(QStringList{out} + images);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QByteArray cli = readAll(out);
        QVERIFY(cli.startsWith("%PDF-"));

        // The window, with the same images opened one by one, "Plusieurs Documents" unchecked.
        ImageTestServices doubles;
        Tvelorix_2 window(doubles.services());
        window.multi->setChecked(false);
        for (const QString& image : images) {
            doubles.images->openAnswers << image;
            window.ouvririmageClick(nullptr);
        }
        QCOMPARE(window.PageCount(), images.size());
        const QString written = dir.filePath("window.pdf");
        window.PReport1->SetFileName(written);
        velorix::WritePagesToPdf(window);
        QCOMPARE(withoutDates(cli), withoutDates(readAll(written)));

        if (!QStandardPaths::findExecutable("qpdf").isEmpty()) {
            QProcess check;
            check.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), out});
            QVERIFY(check.waitForFinished(60000));
            QCOMPARE(check.exitCode(), 0);
            QProcess pages;
            pages.start(QStringLiteral("qpdf"), {QStringLiteral("--show-npages"), out});
            QVERIFY(pages.waitForFinished(60000));
            QCOMPARE(pages.readAllStandardOutput().trimmed(), QByteArray::number(images.size()));
        }
    }

    void pdfInputsKeepTheirPixelsAndTiffHoldsThePages() {
        const QString first = dir.filePath("first.pdf");
        QCOMPARE(runPdf({first, images[0], images[3], images[4]}).exitCode, 0);
        // Our lossless PDF read back and written again: the same pictures, page for page.
        const QString again = dir.filePath("again.pdf");
        const Run r = runPdf({again, first});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QTemporaryDir a, b, c;
        const QList<QImage> before = PdfPictures(first, a.path());
        QCOMPARE(before.size(), 3);
        QCOMPARE(PdfPictures(again, b.path()), before);

        const QString tiff = dir.filePath("pages.tif");
        QProcess p;
        p.start(VELORIX_EXE, {"--tiff", tiff, first});
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QCOMPARE(TiffPages(tiff), before);

        // A hostile PDF among the inputs: a message, no file.
        const QString hostile = dir.filePath("hostile.pdf");
        QVERIFY(QFile::copy(
            QStringLiteral(VELORIX_SOURCE_DIR "/fuzz/corpus/PdfOpenFuzz/encrypted.pdf"), hostile));
        const Run h = runPdf({dir.filePath("never.pdf"), images[0], hostile});
        QCOMPARE(h.exitCode, 1);
        QVERIFY2(h.err.contains(QStringLiteral("protégé")), qPrintable(h.err));
        QVERIFY(!QFile::exists(dir.filePath("never.pdf")));
    }

    void corruptImageLeavesNoFileAndKeepsAnOldOne() {
        const QString fresh = dir.filePath("never.pdf");
        Run run = runPdf({fresh, images.first(), corrupt});
        QVERIFY(run.exitCode > 0);
        QVERIFY2(run.err.contains(QStringLiteral("n'est pas une image PNG lisible")),
                 qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(fresh));

        const QString old = dir.filePath("old.pdf");
        QVERIFY(writeAll(old, "old content"));
        run = runPdf({old, corrupt});
        QVERIFY(run.exitCode > 0);
        QCOMPARE(readAll(old), QByteArray("old content"));

        run = runPdf({old, dir.filePath("missing.png")});
        QVERIFY(run.exitCode > 0);
        QVERIFY2(run.err.contains(QStringLiteral("Impossible d'ouvrir le fichier")),
                 qPrintable(run.err));
        QCOMPARE(readAll(old), QByteArray("old content"));
    }

    void folderWithoutWritePermission() {
        const QString locked = dir.filePath("locked");
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther |
                                                  QFile::ReadGroup | QFile::ExeGroup));
        const bool root = ::geteuid() == 0;
        if (root && QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("running as root without setpriv: permissions cannot be tested");
        // The build folder may be out of an unprivileged user's reach: run a copy of the program
        // from the test's own folder.
        QString program = QStringLiteral(VELORIX_EXE);
        if (root) {
            program = dir.filePath(QStringLiteral("velorix"));
            QVERIFY(QFile::copy(QStringLiteral(VELORIX_EXE), program));
            QVERIFY(QFile::setPermissions(program, QFile::permissions(QStringLiteral(VELORIX_EXE)) |
                                                       QFile::ExeOther | QFile::ReadOther));
        }
        const QString out = locked + QStringLiteral("/out.pdf");
        const Run run = runPdf({out, images.first()}, root, program);
        QVERIFY2(run.exitCode > 0, qPrintable(run.out + run.err));
        QVERIFY2(run.err.contains(QStringLiteral("Impossible de créer le fichier")),
                 qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
        QVERIFY(QDir(locked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }

    // A sync refused (a full quota or a failing network disk speaks only there): the run
    // fails with the reason, the old PDF stays byte for byte and nothing else is left.
    void unconfirmedWriteKeepsTheOldFile() {
        const QString folder = dir.filePath("synced");
        QVERIFY(QDir().mkdir(folder));
        const QString out = folder + QStringLiteral("/out.pdf");
        QVERIFY(runPdf({out, images.first()}).exitCode == 0);
        const QByteArray old = readAll(out);
        for (const RefusedSync& c : kRefusedSyncs) {
            const QProcessEnvironment env =
                FailingSync::childEnvironment(QProcessEnvironment::systemEnvironment(),
                                              QStringLiteral(VELORIX_FAILING_SYNC), c.error, c.on);
            const Run run = runPdf({out, images.at(1)}, false, VELORIX_EXE, env);
            QVERIFY2(run.exitCode > 0, qPrintable(c.error + run.err));
            QVERIFY2(run.err.contains(
                         QStringLiteral("Impossible d'écrire le fichier \"%1\"").arg(out)) &&
                         run.err.contains(QString::fromUtf8(c.reason)),
                     qPrintable(run.err));
            QCOMPARE(readAll(out), old);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"out.pdf"});
        }
    }

    void helpVersionAndBadUse() {
        Run run = runPdf({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(QStringLiteral("SORTIE.pdf IMAGE")));
        QVERIFY(run.out.contains(QStringLiteral("--ocr")));
        run = runPdf({QStringLiteral("-h")});
        QCOMPARE(run.exitCode, 0);

        QProcess version;
        version.start(QStringLiteral(VELORIX_EXE), {QStringLiteral("--version")});
        QVERIFY(version.waitForFinished(30000));
        QCOMPARE(version.exitCode(), 0);
        QVERIFY(version.readAllStandardOutput().startsWith("Velorix! 2 "));

        run = runPdf({dir.filePath("x.pdf")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains(QStringLiteral("il manque au moins une image")));
        run = runPdf({dir.filePath("x.pdf"), QStringLiteral("--colour"), images.first()});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(!QFileInfo::exists(dir.filePath("x.pdf")));
    }

    // --quality: the lossy qualities write their own image objects, lossless the same file as
    // without the option; an unknown or missing word is refused before anything is written.
    void qualityOption() {
        const Run lossless = runPdf({QStringLiteral("--quality"), QStringLiteral("lossless"),
                                     dir.filePath("lossless.pdf"), images.first()});
        QVERIFY2(lossless.exitCode == 0, qPrintable(lossless.err));
        QVERIFY(readFile(dir.filePath("lossless.pdf")).contains("/FlateDecode"));
        for (const char* word : {"compact", "text"}) {
            const QString out = dir.filePath(QStringLiteral("%1.pdf").arg(word));
            const Run run =
                runPdf({out, QStringLiteral("--quality"), QLatin1String(word), images.first()});
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            const QByteArray pdf = readFile(out);
            QVERIFY(pdf.contains("/DCTDecode"));
            QVERIFY(pdf.size() < readFile(dir.filePath("lossless.pdf")).size());
        }
        Run run = runPdf({QStringLiteral("--quality"), QStringLiteral("best"),
                          dir.filePath("y.pdf"), images.first()});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QStringLiteral("qualité inconnue : best")), qPrintable(run.err));
        run = runPdf({dir.filePath("y.pdf"), images.first(), QStringLiteral("--quality")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(!QFileInfo::exists(dir.filePath("y.pdf")));
        QVERIFY(runPdf({QStringLiteral("--help")}).out.contains(QStringLiteral("--quality Q")));
    }

    // Without the language data: the message names the packages and the PDF is the one written
    // without --ocr.
    void ocrWithoutLanguageData() {
        const Run plain = runPdf({dir.filePath("plain.pdf"), images.first()});
        QCOMPARE(plain.exitCode, 0);
        QTemporaryDir noData;
        qputenv("TESSDATA_PREFIX", noData.path().toLocal8Bit());
        const Run run = runPdf({QStringLiteral("--ocr"), dir.filePath("ocr.pdf"), images.first()});
        qunsetenv("TESSDATA_PREFIX");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral("installez les paquets tesseract-ocr-fra et "
                                                 "tesseract-ocr-eng")),
                 qPrintable(run.err));
        QFile a(dir.filePath("plain.pdf")), b(dir.filePath("ocr.pdf"));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(withoutDates(b.readAll()), withoutDates(a.readAll()));
    }
};

QTEST_MAIN(CliPdfTest)
#include "PdfCommandTest.moc"
