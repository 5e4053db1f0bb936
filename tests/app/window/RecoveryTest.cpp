// The pages kept for after a crash: written behind the window into a private folder, offered
// back at the next start with their pixels, order and hidden state, removed at a normal close;
// a full disk stops the keeping, never the pages; a damaged folder restores what it can.
#include "tests/app/ImagePrompts.h"

#include "app/window/MainWindow.h"
#include "app/window/Recovery.h"
#include "imaging/ImageEngine.h"
#include "report/PReport.h"
#include "tests/SmallDisk.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

using velorix::TRecovery;
using velorix::Tvelorix_2;

namespace {

QImage distinct(int seed) {
    QImage img(600, 800, QImage::Format_RGB32);
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 600; ++x)
            img.setPixel(x, y, qRgb((x + seed * 50) % 256, (y * 3 + seed) % 256, (x ^ y) % 256));
    return img;
}

const QString kQuestion =
    QStringLiteral("La dernière session s'est arrêtée avant la fin. Restaurer ses 3 pages ?");

} // namespace

class RecoveryTest : public QObject {
    Q_OBJECT

    QTemporaryDir files;
    QStringList images;

    struct Session {
        ImageTestServices doubles;
        std::unique_ptr<Tvelorix_2> w;
        explicit Session(const QString& root) {
            velorix::Services s = doubles.services();
            s.recoveryFolder = root;
            w = std::make_unique<Tvelorix_2>(s);
        }
        ImagePrompts& prompts() { return *doubles.images; }
        QImage picture(int n) {
            return w->FindPageImage(n)->Picture().convertToFormat(QImage::Format_RGB32);
        }
    };

    // Opens the images through the menu entry, one page each.
    void open(Session& s, int count) {
        s.w->multi->setChecked(false);
        for (int i = 0; i < count; ++i) {
            s.prompts().openAnswers << images[i];
            s.w->Ouvriruneimage1->trigger();
        }
    }
    // What a crash leaves: the session's folder under the name of a process that is gone.
    static QString Crash(Session& s, const QString& root) {
        s.w->Recovery()->Flush();
        const QString dead = QDir(root).filePath(QStringLiteral("999999999-1"));
        if (!QDir().rename(s.w->Recovery()->Folder(), dead))
            return {};
        return dead;
    }

private slots:
    void initTestCase() {
        velorix::imaging::TImageEngine engine;
        for (int i = 0; i < 3; ++i) {
            images << files.filePath(QStringLiteral("p%1.png").arg(i));
            engine.Assign(distinct(i));
            engine.SaveToFile(images.last());
        }
    }

    void pagesComeBackAfterACrashAndOnlyOnce() {
        QTemporaryDir root;
        QString dead;
        QList<QImage> pictures;
        {
            Session first(root.path());
            open(first, 3);
            first.w->ActivatePage(2);
            first.w->DeplacerGauche1->trigger(); // 1 3 2
            first.w->ActivatePage(2);
            first.w->Effacer1->trigger(); // 2 hidden
            for (int n = 1; n <= 3; ++n)
                pictures << first.picture(n);
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(first.w->Recovery()->Folder()).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, 0700u);
            dead = Crash(first, root.path());
            QVERIFY(!dead.isEmpty());
        }
        QCOMPARE(TRecovery::Abandoned(root.path()), std::vector<QString>{dead});

        Session next(root.path());
        next.prompts().answer(true, kQuestion);
        velorix::OfferRecovery(*next.w);
        QCOMPARE(next.w->PageCount(), 3);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(next.picture(n), pictures[n - 1]);
        QVERIFY(next.w->PageControl1->isTabVisible(0));
        QVERIFY(!next.w->PageControl1->isTabVisible(2));
        QVERIFY(next.w->imprimer->isEnabled());
        QVERIFY(!QFileInfo::exists(dead));
        // The restored pages are this session's own now.
        next.w->Recovery()->Flush();
        QCOMPARE(TRecovery::PageCount(next.w->Recovery()->Folder()), 3);

        // A normal close leaves nothing behind, and nothing is offered again.
        next.w->close();
        QVERIFY(QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    }

    void answeringNoRemovesTheFolder() {
        QTemporaryDir root;
        QString dead;
        {
            Session first(root.path());
            open(first, 3);
            dead = Crash(first, root.path());
        }
        Session next(root.path());
        next.prompts().answer(false, kQuestion);
        velorix::OfferRecovery(*next.w);
        QCOMPARE(next.w->PageCount(), 1);
        QVERIFY(!next.w->FirstPageFilled);
        QVERIFY(!QFileInfo::exists(dead));
    }

    void damagedFolderRestoresWhatItCan() {
        QTemporaryDir root;
        QString dead;
        {
            Session first(root.path());
            open(first, 3);
            dead = Crash(first, root.path());
        }
        // One picture cut short, a list line naming a file outside the folder.
        const QStringList pictures = QDir(dead).entryList({"p*"}, QDir::Files, QDir::Name);
        QFile cut(QDir(dead).filePath(pictures.first()));
        QVERIFY(cut.open(QIODevice::ReadWrite));
        QVERIFY(cut.resize(cut.size() / 2));
        cut.close();
        QFile list(QDir(dead).filePath("pages"));
        QVERIFY(list.open(QIODevice::Append));
        list.write("../../etc/passwd 1 1\n");
        list.close();

        Session next(root.path());
        next.prompts().answer(true, kQuestion);
        velorix::OfferRecovery(*next.w);
        QCOMPARE(next.w->PageCount(), 2);
        QCOMPARE(next.prompts().texts(ScriptedPrompts::Kind::Warning).size(), 1);
    }

    void fullDiskStopsKeepingNeverThePages() {
        velorix::testing::SmallDisk disk(256);
        if (!disk.mounted())
            QSKIP("no tmpfs can be mounted here");
        Session s(disk.path("recovery"));
        disk.fill();
        open(s, 2);
        QCOMPARE(s.w->PageCount(), 2);
        s.w->Recovery()->Flush();
        QVERIFY(!s.w->Recovery()->Working());
        QTRY_COMPARE(s.prompts().texts(ScriptedPrompts::Kind::Warning).size(), 1);
        QVERIFY(s.prompts().texts(ScriptedPrompts::Kind::Warning)[0].contains("secours"));
        open(s, 1); // the window goes on, and says it once
        QCOMPARE(s.w->PageCount(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(s.prompts().texts(ScriptedPrompts::Kind::Warning).size(), 1);
    }
};

QTEST_MAIN(RecoveryTest)
#include "RecoveryTest.moc"
