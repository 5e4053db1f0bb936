// Saving pictures where the disk runs out of space, then turns read-only, or refuses to confirm
// what was written: each failure names the file and the reason, the previous picture stays whole
// and no temporary file is left.

#include "imaging/ImageEngine.h"
#include "tests/SmallDisk.h"
#include "tests/files/FailingSync.h"
#include "tests/imaging/TestImages.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace velorix::imaging;
using namespace velorix::testing;

TEST(SaveOnFullDisk, TheFailureIsNamedAndThePreviousPictureKept) {
    SmallDisk disk(512);
    if (!disk.mounted())
        GTEST_SKIP() << "this machine does not let the test mount a small file system";
    TImageEngine engine;
    engine.Assign(colourPattern(20, 20));
    const QStringList names = {"page.png", "page.bmp", "page.tif", "page.jpg"};
    for (const QString& name : names)
        engine.SaveToFile(disk.path(name));
    QMap<QString, QByteArray> previous;
    for (const QString& name : names)
        previous[name] = readAll(disk.path(name));

    disk.fill();
    engine.Assign(colourPattern(400, 400)); // far more than the bytes the filler left
    for (const char* reason : {"disque plein", "lecture seule"}) {
        if (QByteArray(reason) == "lecture seule") {
            ASSERT_TRUE(disk.makeReadOnly());
        }
        for (const QString& name : names) {
            SCOPED_TRACE(name.toStdString() + ": " + reason);
            try {
                engine.SaveToFile(disk.path(name));
                ADD_FAILURE() << "saved";
            } catch (const EImageEngineError& e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("\"%1\"").arg(disk.path(name))))
                    << e.what();
                EXPECT_TRUE(e.message().contains(QLatin1String(reason))) << e.what();
            }
            EXPECT_EQ(readAll(disk.path(name)), previous[name]);
        }
        QStringList expected = names + QStringList{"filler"};
        expected.sort();
        EXPECT_EQ(disk.entries(), expected);
    }
}

// The quota or the network disk speaks only when the file is synced (ImageEngineTest runs with
// the failing-sync library preloaded).
TEST(SaveOnFullDisk, AnUnconfirmedSaveKeepsThePreviousPicture) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString probe = dir.filePath("probe");
    {
        FailingSync failing("EIO", "file");
        const int fd = ::open(QFile::encodeName(probe).constData(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const bool refused = ::fsync(fd) != 0 && errno == EIO;
        ::close(fd);
        ASSERT_TRUE(refused) << "the failing-sync library is not preloaded";
    }
    ASSERT_TRUE(QFile::remove(probe));

    TImageEngine engine;
    engine.Assign(colourPattern(30, 20));
    const QString old = dir.filePath("page.png"), fresh = dir.filePath("new.jpg");
    engine.SaveToFile(old);
    const QByteArray previous = readAll(old);
    engine.Assign(colourPattern(60, 40));
    for (const RefusedSync& c : kRefusedSyncs) {
        SCOPED_TRACE(std::string(c.error) + " on a " + c.on);
        FailingSync failing(c.error, c.on);
        for (const QString& name : {old, fresh}) {
            try {
                engine.SaveToFile(name);
                ADD_FAILURE() << "saved " << name.toStdString();
            } catch (const EImageEngineError& e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("\"%1\"").arg(name))) << e.what();
                EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.reason))) << e.what();
            }
        }
        EXPECT_EQ(readAll(old), previous);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"page.png"});
    }
    engine.SaveToFile(old);
    EXPECT_NE(readAll(old), previous);
}
