// Saving pictures where the disk runs out of space, then turns read-only: each failure names the
// file and the reason, the previous picture stays whole and no temporary file is left.

#include "imaging/ImageEngine.h"
#include "tests/SmallDisk.h"
#include "tests/imaging/TestImages.h"

#include <gtest/gtest.h>

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
    for (const char* reason : {"No space left on device", "is not writable"}) {
        if (QByteArray(reason).startsWith("is not")) {
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
