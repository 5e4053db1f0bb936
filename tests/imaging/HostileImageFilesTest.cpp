// Image files that lie: cut short anywhere, or with a header claiming a gigantic picture. Each
// family of the open dialog, files written by the image library and then damaged.

#include "imaging/ImageEngine.h"
#include "tests/imaging/TestImages.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <sys/resource.h>

using namespace velorix::imaging;
using namespace velorix::testing;

namespace {

void put16le(QByteArray& b, qsizetype at, quint32 v) {
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}
void put32le(QByteArray& b, qsizetype at, quint32 v) {
    put16le(b, at, v & 0xffff);
    put16le(b, at + 2, v >> 16);
}
void put16be(QByteArray& b, qsizetype at, quint32 v) {
    b[at] = char((v >> 8) & 0xff);
    b[at + 1] = char(v & 0xff);
}
void put32be(QByteArray& b, qsizetype at, quint32 v) {
    put16be(b, at, v >> 16);
    put16be(b, at + 2, v & 0xffff);
}
quint32 get16le(const QByteArray& b, qsizetype at) {
    return uchar(b[at]) | uchar(b[at + 1]) << 8;
}
quint32 get32le(const QByteArray& b, qsizetype at) {
    return get16le(b, at) | get16le(b, at + 2) << 16;
}

quint32 crc32(const char* data, qsizetype size) {
    quint32 crc = 0xffffffff;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= uchar(data[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// The PNG whose header chunk starts at `at` claims width x height (its checksum redone).
void claimPng(QByteArray& b, qsizetype at, quint32 w, quint32 h) {
    put32be(b, at + 16, w);
    put32be(b, at + 20, h);
    put32be(b, at + 29, crc32(b.constData() + at + 12, 17));
}

void claimTiff(QByteArray& b, quint32 w, quint32 h) {
    const quint32 ifd = get32le(b, 4);
    for (quint32 i = 0, n = get16le(b, ifd); i < n; ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        const quint32 tag = get16le(b, entry);
        if (tag != 256 && tag != 257)
            continue;
        const quint32 v = tag == 256 ? w : h;
        if (get16le(b, entry + 2) == 3)
            put16le(b, entry + 8, std::min<quint32>(v, 65535));
        else
            put32le(b, entry + 8, v);
    }
}

void claimGif(QByteArray& b, quint32 w, quint32 h) {
    put16le(b, 6, w);
    put16le(b, 8, h);
    qsizetype pos = 13 + ((uchar(b[10]) & 0x80) ? 3 << ((uchar(b[10]) & 7) + 1) : 0);
    while (uchar(b[pos]) == 0x21) { // extension blocks before the picture
        pos += 2;
        while (uchar(b[pos]) != 0)
            pos += uchar(b[pos]) + 1;
        ++pos;
    }
    put16le(b, pos + 5, w);
    put16le(b, pos + 7, h);
}

void claimJpeg2000(QByteArray& b, quint32 w, quint32 h) {
    const qsizetype siz = b.indexOf("\xff\x51");
    put32be(b, siz + 6, w);
    put32be(b, siz + 10, h);
    put32be(b, siz + 22, w); // one tile
    put32be(b, siz + 26, h);
    if (const qsizetype ihdr = b.indexOf("ihdr"); ihdr >= 0) {
        put32be(b, ihdr + 4, h);
        put32be(b, ihdr + 8, w);
    }
}

void claimIcon(QByteArray& b, quint32 w, quint32 h) {
    const qsizetype image = get32le(b, 18);
    if (b.mid(image, 4) == "\x89PNG") {
        claimPng(b, image, w, h);
    } else {
        put32le(b, image + 4, w);
        put32le(b, image + 8, 2 * h); // picture and mask
    }
}

struct Family {
    const char* ext;
    const char* magick;
    // Makes the file claim width x height; null: the family has no size to claim (raw fax).
    std::function<void(QByteArray&, quint32, quint32)> claim;
    bool iconDirectory = false;
};

const Family kFamilies[] = {
    {"jpg", "JPEG",
     [](QByteArray& b, quint32 w, quint32 h) {
         const qsizetype sof = b.indexOf("\xff\xc0");
         put16be(b, sof + 5, std::min<quint32>(h, 65535));
         put16be(b, sof + 7, std::min<quint32>(w, 65535));
     }},
    {"jp2", "JP2", claimJpeg2000},
    {"j2k", "J2K", claimJpeg2000},
    {"pcx", "PCX",
     [](QByteArray& b, quint32 w, quint32 h) {
         put16le(b, 4, 0);
         put16le(b, 6, 0);
         put16le(b, 8, std::min<quint32>(w, 65535) - 1);
         put16le(b, 10, std::min<quint32>(h, 65535) - 1);
     }},
    {"gif", "GIF",
     [](QByteArray& b, quint32 w, quint32 h) {
         claimGif(b, std::min<quint32>(w, 65535), std::min<quint32>(h, 65535));
     }},
    {"tif", "TIFF", claimTiff},
    {"fax", "FAX", nullptr},
    {"png", "PNG", [](QByteArray& b, quint32 w, quint32 h) { claimPng(b, 8, w, h); }},
    {"bmp", "BMP3",
     [](QByteArray& b, quint32 w, quint32 h) {
         put32le(b, 18, w);
         put32le(b, 22, h);
     }},
    {"dib", "DIB",
     [](QByteArray& b, quint32 w, quint32 h) {
         put32le(b, 4, w);
         put32le(b, 8, h);
     }},
    {"ico", "ICO", claimIcon, true},
    {"cur", "CUR", claimIcon, true},
    {"tga", "TGA",
     [](QByteArray& b, quint32 w, quint32 h) {
         put16le(b, 12, std::min<quint32>(w, 65535));
         put16le(b, 14, std::min<quint32>(h, 65535));
     }},
    {"ppm", "PPM",
     [](QByteArray& b, quint32 w, quint32 h) {
         b = QStringLiteral("P6\n%1 %2\n255\n").arg(w).arg(h).toLatin1() + b.right(200);
     }},
    {"pgm", "PGM",
     [](QByteArray& b, quint32 w, quint32 h) {
         b = QStringLiteral("P5\n%1 %2\n255\n").arg(w).arg(h).toLatin1() + b.right(200);
     }},
    {"pbm", "PBM",
     [](QByteArray& b, quint32 w, quint32 h) {
         b = QStringLiteral("P4\n%1 %2\n").arg(w).arg(h).toLatin1() + b.right(200);
     }},
};

QImage pictureFor(const Family& family) {
    return std::string(family.ext) == "ico" || std::string(family.ext) == "cur"
               ? colourPattern(32, 32)
               : colourPattern(64, 48);
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

TEST(HostileImageFiles, ACutFileGivesItsReadablePartOrAFrenchMessage) {
    QTemporaryDir dir;
    for (const Family& family : kFamilies) {
        const QString whole = dir.filePath(QStringLiteral("whole.%1").arg(family.ext));
        const QImage picture = pictureFor(family);
        writeWith(picture, whole, family.magick);
        const QByteArray bytes = readAll(whole);
        for (const qsizetype length : {qsizetype(8), bytes.size() / 4, bytes.size() / 2,
                                       bytes.size() * 3 / 4, bytes.size() - 1}) {
            SCOPED_TRACE(std::string(family.ext) + " cut at " + std::to_string(length));
            const QString cut = dir.filePath(QStringLiteral("cut.%1").arg(family.ext));
            ASSERT_TRUE(writeAll(cut, bytes.left(length)));
            try {
                const QImage part = TImageEngine::decodeFile(cut, Qt::white);
                EXPECT_EQ(part.format(), QImage::Format_RGB32);
                if (family.claim) {
                    EXPECT_EQ(part.size(), picture.size());
                }
            } catch (const EImageEngineError& e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("\"%1\"").arg(cut))) << e.what();
                EXPECT_TRUE(e.message().contains(QStringLiteral("image"))) << e.what();
            }
        }
    }
}

TEST(HostileImageFiles, AGiganticPictureIsRefusedAtOnceBeforeItsMemoryIsTaken) {
    QTemporaryDir dir;
    // Beyond the library's limits; then within them but far beyond what the bytes can hold.
    const std::pair<quint32, quint32> claims[] = {{100000, 100000}, {30000, 30000}};
    const long before = peakMemoryKiB();
    for (const Family& family : kFamilies) {
        if (!family.claim)
            continue;
        for (const auto& [w, h] : claims) {
            SCOPED_TRACE(std::string(family.ext) + " claiming " + std::to_string(w) + " x " +
                         std::to_string(h));
            const QString name = dir.filePath(QStringLiteral("huge.%1").arg(family.ext));
            writeWith(pictureFor(family), name, family.magick);
            QByteArray bytes = readAll(name);
            family.claim(bytes, w, h);
            ASSERT_TRUE(writeAll(name, bytes));
            QElapsedTimer clock;
            clock.start();
            try {
                const QImage picture = TImageEngine::decodeFile(name, Qt::white);
                // Icons take their size from the directory (at most 256 x 256), not the image.
                EXPECT_TRUE(family.iconDirectory) << "loaded";
                EXPECT_LE(picture.width(), 256);
                EXPECT_LE(picture.height(), 256);
            } catch (const EImageEngineError& e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("\"%1\"").arg(name))) << e.what();
            }
            EXPECT_LT(clock.elapsed(), 500);
        }
    }
    // A metafile is drawn at the size its header gives: 32000 inches, or 30000 x 30000 pixels.
    for (const auto& [units, perInch] : {std::pair(32000, 1), std::pair(30000, 72)}) {
        SCOPED_TRACE("wmf of " + std::to_string(units) + " units");
        const QString name = dir.filePath("huge.wmf");
        ASSERT_TRUE(writeAll(name, redRectangleMetafile(units, units, perInch)));
        QElapsedTimer clock;
        clock.start();
        EXPECT_THROW(TImageEngine::decodeFile(name, Qt::white), EImageEngineError);
        EXPECT_LT(clock.elapsed(), 500);
    }
    EXPECT_LT(peakMemoryKiB() - before, 200 * 1024);
}
