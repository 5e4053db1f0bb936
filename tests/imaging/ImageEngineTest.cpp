// The image engine against real files: every save type written and read back, every family of
// the open dialog read from files made here, and the failures a user can run into.

#include "imaging/ImageEngine.h"
#include "tests/imaging/TestImages.h"

#include <Magick++.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace velorix::imaging;
using namespace velorix::testing;

namespace {

struct SaveCase {
    const char* ext;
    bool os2;
    enum { Exact, Grey, BlackWhite, Close } check;
};

// The save dialog's thirteen types, in its order.
const SaveCase kSaveCases[] = {
    {"jpg", false, SaveCase::Close},      {"tif", false, SaveCase::Exact},
    {"pcx", false, SaveCase::Exact},      {"png", false, SaveCase::Exact},
    {"bmp", false, SaveCase::Exact},      {"bmp", true, SaveCase::Exact},
    {"tga", false, SaveCase::Exact},      {"pxm", false, SaveCase::Exact},
    {"ppm", false, SaveCase::Exact},      {"pgm", false, SaveCase::Grey},
    {"pbm", false, SaveCase::BlackWhite}, {"jp2", false, SaveCase::Exact},
    {"j2k", false, SaveCase::Exact},
};

class SaveThenLoad : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveThenLoad, GivesThePictureBack) {
    const SaveCase c = GetParam();
    QTemporaryDir dir;
    const QImage picture = c.check == SaveCase::Grey         ? greyPattern(41, 27)
                           : c.check == SaveCase::BlackWhite ? blackWhitePattern(41, 27)
                           : c.check == SaveCase::Close      ? smoothPattern(41, 27)
                                                             : colourPattern(41, 27);
    TImageEngine engine;
    engine.Assign(picture);
    const QString name = dir.filePath(QStringLiteral("saved.%1").arg(c.ext));
    TSaveOptions options;
    options.os2Bitmap = c.os2;
    engine.SaveToFile(name, options);

    TImageEngine reader;
    reader.LoadFromFile(name);
    ASSERT_EQ(reader.Bitmap().size(), picture.size());
    if (c.check == SaveCase::Close)
        EXPECT_LT(meanChannelDifference(reader.Bitmap(), picture), 6.0);
    else
        EXPECT_EQ(maxChannelDifference(reader.Bitmap(), picture), 0);
}

void PrintTo(const SaveCase& c, std::ostream* out) {
    *out << c.ext << (c.os2 ? " (OS/2)" : "");
}

INSTANTIATE_TEST_SUITE_P(EverySaveType, SaveThenLoad, ::testing::ValuesIn(kSaveCases),
                         [](const auto& param) {
                             return std::string(param.param.ext) + (param.param.os2 ? "_os2" : "");
                         });

TEST(ImageEngineSave, WritersUseTheirFixedVariants) {
    QTemporaryDir dir;
    TImageEngine engine;
    engine.Assign(colourPattern(64, 48));

    // JPEG: quality 80, baseline (SOF0, no progressive SOF2).
    const QString jpg = dir.filePath("a.jpg");
    engine.SaveToFile(jpg);
    Magick::Image probe;
    probe.read(jpg.toStdString());
    EXPECT_EQ(probe.quality(), 80u);
    const QByteArray jpeg = readAll(jpg);
    EXPECT_TRUE(jpeg.contains(QByteArray("\xff\xc0", 2)));
    EXPECT_FALSE(jpeg.contains(QByteArray("\xff\xc2", 2)));

    // The advanced options reach the writer.
    TSaveOptions options;
    options.jpegQuality = 35;
    options.jpegProgressive = true;
    engine.SaveToFile(jpg, options);
    probe.read(jpg.toStdString());
    EXPECT_EQ(probe.quality(), 35u);
    EXPECT_TRUE(readAll(jpg).contains(QByteArray("\xff\xc2", 2)));

    // BMP: a Windows v3 header (40 bytes) unless the OS/2 type was chosen (12 bytes).
    auto infoHeaderSize = [](const QByteArray& bmp) {
        return bmp.size() > 18 ? static_cast<unsigned char>(bmp[14]) : -1;
    };
    engine.SaveToFile(dir.filePath("w.bmp"));
    EXPECT_EQ(infoHeaderSize(readAll(dir.filePath("w.bmp"))), 40);
    TSaveOptions os2;
    os2.os2Bitmap = true;
    engine.SaveToFile(dir.filePath("o.bmp"), os2);
    EXPECT_EQ(infoHeaderSize(readAll(dir.filePath("o.bmp"))), 12);

    // The extension decides, without regard to case; the fax names are written as TIFF.
    engine.SaveToFile(dir.filePath("UPPER.PNG"));
    EXPECT_TRUE(readAll(dir.filePath("UPPER.PNG")).startsWith("\x89PNG"));
    engine.SaveToFile(dir.filePath("f.g3n"));
    EXPECT_TRUE(readAll(dir.filePath("f.g3n")).startsWith("II*"));
    TImageEngine back;
    back.LoadFromFile(dir.filePath("f.g3n"));
    EXPECT_EQ(maxChannelDifference(back.Bitmap(), engine.Bitmap()), 0);
}

TEST(ImageEngineSave, FailuresAreReportedAndKeepExistingFiles) {
    QTemporaryDir dir;
    TImageEngine engine;
    EXPECT_THROW(engine.SaveToFile(dir.filePath("empty.png")), EImageEngineError);
    engine.Assign(colourPattern(10, 10));

    for (const char* name : {"x.doc", "noextension", "x.emf", "x.ico"}) {
        try {
            engine.SaveToFile(dir.filePath(name));
            ADD_FAILURE() << name << " was written";
        } catch (const EImageEngineError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("extension"))) << e.what();
        }
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(name)));
    }

    // A folder that cannot hold the file (its parent is a plain file): reported, nothing made.
    ASSERT_TRUE(writeAll(dir.filePath("plain"), "x"));
    EXPECT_THROW(engine.SaveToFile(dir.filePath("plain/inside.png")), EImageEngineError);

    // A write that fails leaves the file it was to replace as it was: JPEG stops at 65500
    // pixels a side, the library's limits at 65536.
    const QString previous = dir.filePath("previous.jpg");
    ASSERT_TRUE(writeAll(previous, "earlier picture"));
    for (int width : {65520, 70000}) {
        TImageEngine wide;
        wide.Assign(solid(width, 1, Qt::gray));
        EXPECT_THROW(wide.SaveToFile(previous), EImageEngineError) << width;
        EXPECT_EQ(readAll(previous), QByteArray("earlier picture"));
    }

    // Replacing a file writes the new picture completely.
    const QString target = dir.filePath("keep.png");
    engine.SaveToFile(target);
    engine.Assign(solid(7, 5, Qt::blue));
    engine.SaveToFile(target);
    TImageEngine back;
    back.LoadFromFile(target);
    EXPECT_EQ(back.Bitmap().size(), QSize(7, 5));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter("keep").size(), 1);
}

// --- loading every family of the open dialog ---------------------------------------------

TEST(ImageEngineLoad, ReadsEveryFamilyOfTheOpenDialog) {
    QTemporaryDir dir;
    initialiseImageLibrary();
    const QImage picture = colourPattern(24, 18);
    const QImage bw = blackWhitePattern(40, 16);
    struct Made {
        QString name;
        QImage expected; // null: only the size is checked
        QSize size;
    };
    std::vector<Made> made;
    auto make = [&](const QString& name, const char* magick, const QImage& from, bool exact,
                    std::function<void(Magick::Image&)> tune = {}) {
        writeWith(from, dir.filePath(name), magick, tune);
        made.push_back({name, exact ? from : QImage(), from.size()});
    };

    for (const char* ext : {"tif", "tiff"})
        make(QStringLiteral("p.%1").arg(ext), "TIFF", picture, true);
    // Raw group 3 fax pages are 1728 pixels wide.
    for (const char* ext : {"fax", "g3n", "g3f"}) {
        writeWith(bw, dir.filePath(QStringLiteral("raw.%1").arg(ext)), "FAX");
        made.push_back({QStringLiteral("raw.%1").arg(ext), QImage(), QSize(1728, 0)});
    }
    for (const char* ext : {"jpg", "jpeg", "jpe"})
        make(QStringLiteral("p.%1").arg(ext), "JPEG", smoothPattern(24, 18), false);
    make("p.pcx", "PCX", picture, true);
    make("p.bmp", "BMP3", picture, true);
    make("p.dib", "BMP3", picture, true);
    make("headerless.dib", "DIB", picture, true);
    make("p.rle", "BMP3", bw, true, [](Magick::Image& i) {
        i.type(MagickCore::PaletteType);
        i.compressType(MagickCore::RLECompression);
    });
    make("p.ico", "ICO", colourPattern(16, 16), true);
    make("p.cur", "CUR", colourPattern(16, 16), true);
    make("p.png", "PNG", picture, true);
    for (const char* ext : {"tga", "targa", "vda", "icb", "vst", "pix"})
        make(QStringLiteral("p.%1").arg(ext), "TGA", picture, true);
    make("p.pxm", "PPM", picture, true);
    make("p.ppm", "PPM", picture, true);
    make("p.pgm", "PGM", greyPattern(24, 18), true);
    make("p.pbm", "PBM", bw, true);
    make("p.jp2", "JP2", picture, true);
    for (const char* ext : {"j2k", "jpc", "j2c"})
        make(QStringLiteral("p.%1").arg(ext), "J2K", picture, true);

    for (const Made& m : made) {
        SCOPED_TRACE(m.name.toStdString());
        TImageEngine engine;
        ASSERT_NO_THROW(engine.LoadFromFile(dir.filePath(m.name)));
        EXPECT_EQ(engine.Bitmap().format(), QImage::Format_RGB32);
        if (m.size.height() == 0) {
            EXPECT_EQ(engine.Width(), m.size.width());
        } else {
            EXPECT_EQ(engine.Bitmap().size(), m.size);
        }
        if (!m.expected.isNull()) {
            EXPECT_EQ(maxChannelDifference(engine.Bitmap(), m.expected), 0);
        } else if (m.size.height() != 0) {
            EXPECT_LT(meanChannelDifference(engine.Bitmap(), smoothPattern(24, 18)), 6.0);
        }
    }

    // A metafile is drawn: red inside, at the size its header gives.
    ASSERT_TRUE(writeAll(dir.filePath("r.wmf"), redRectangleMetafile()));
    TImageEngine wmf;
    ASSERT_NO_THROW(wmf.LoadFromFile(dir.filePath("r.wmf")));
    ASSERT_GT(wmf.Width(), 10);
    EXPECT_EQ(QColor(wmf.Bitmap().pixel(wmf.Width() / 2, wmf.Height() / 2)), QColor(Qt::red));
}

TEST(ImageEngineLoad, TransparentPixelsTakeTheBackgroundColour) {
    QTemporaryDir dir;
    QImage argb(4, 2, QImage::Format_ARGB32);
    argb.fill(Qt::transparent);
    argb.setPixel(0, 0, qRgba(10, 20, 30, 255));
    ASSERT_TRUE(argb.save(dir.filePath("t.png")));
    TImageEngine engine;
    engine.SetBackgroundColor(QColor(200, 100, 50));
    engine.LoadFromFile(dir.filePath("t.png"));
    EXPECT_EQ(engine.Bitmap().pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(engine.Bitmap().pixel(3, 1), qRgb(200, 100, 50));
}

TEST(ImageEngineLoad, UnreadableFilesEndInAFrenchMessageAndKeepTheImage) {
    QTemporaryDir dir;
    TImageEngine engine;
    engine.Assign(solid(3, 3, Qt::green));

    writeWith(colourPattern(50, 50), dir.filePath("whole.png"), "PNG");
    const QByteArray whole = readAll(dir.filePath("whole.png"));
    ASSERT_TRUE(writeAll(dir.filePath("cut.png"), whole.left(whole.size() / 3)));
    ASSERT_TRUE(writeAll(dir.filePath("garbage.jpg"), QByteArray(300, 'z')));
    ASSERT_TRUE(writeAll(dir.filePath("empty.bmp"), QByteArray()));
    ASSERT_TRUE(writeAll(dir.filePath("movie.avi"),
                         QByteArray("RIFF\x24\0\0\0AVI LIST\x10\0\0\0hdrlavih", 28)));
    ASSERT_TRUE(writeAll(dir.filePath("drawing.emf"), QByteArray(88, '\0')));
    ASSERT_TRUE(writeAll(dir.filePath("notes.txt"), "hello"));
    // Headers promising more pixels than the limits allow, or than the file holds.
    ASSERT_TRUE(writeAll(dir.filePath("huge.ppm"), "P6\n70000 70000\n255\nabc"));
    ASSERT_TRUE(writeAll(dir.filePath("short.ppm"), "P6\n30000 30000\n255\nabc"));

    const struct {
        const char* name;
        const char* says;
    } cases[] = {
        {"cut.png", "n'est pas une image PNG lisible"},
        {"garbage.jpg", "n'est pas une image JPG lisible"},
        {"empty.bmp", "n'est pas une image BMP lisible"},
        {"movie.avi", "Les fichiers AVI ne peuvent pas être lus sur ce système"},
        {"drawing.emf", "Les fichiers EMF ne peuvent pas être lus sur ce système"},
        {"notes.txt", "Format d'image non reconnu"},
        {"huge.ppm", "n'est pas une image PPM lisible"},
        {"short.ppm", "n'est pas une image PPM lisible"},
        {"missing.png", "Impossible d'ouvrir le fichier"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            engine.LoadFromFile(dir.filePath(c.name));
            ADD_FAILURE() << "loaded";
        } catch (const EImageEngineError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.says))) << e.what();
            EXPECT_TRUE(e.message().contains(dir.filePath(c.name))) << e.what();
        }
        EXPECT_EQ(engine.Bitmap().size(), QSize(3, 3));
    }
}

TEST(ImageEngineLoad, FileNamesAreNeverInterpretedByTheLibrary) {
    QTemporaryDir dir;
    TImageEngine engine;
    engine.Assign(colourPattern(30, 20));
    // Suffixes and prefixes the library would otherwise read as frame, size or coder requests.
    for (const char* name : {"a[1x1].png", "png:b.png", "c%d.png", "|d.png"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(name);
        engine.SaveToFile(path);
        ASSERT_TRUE(QFileInfo::exists(path));
        TImageEngine back;
        back.LoadFromFile(path);
        EXPECT_EQ(back.Bitmap().size(), QSize(30, 20));
    }
}

TEST(ImageLibraryPolicy, LimitsLetA2400DpiA4PageThrough) {
    initialiseImageLibrary();
    // 2400 dpi A4 colour: 19843 x 28063 pixels.
    EXPECT_GE(Magick::ResourceLimits::width(), 19843u);
    EXPECT_GE(Magick::ResourceLimits::height(), 28063u);
    EXPECT_GE(Magick::ResourceLimits::area(), 19843ull * 28063ull);
    // Pixel cache of 16-bit RGBA: memory, then mapped files, then disk.
    EXPECT_GE(Magick::ResourceLimits::memory() + Magick::ResourceLimits::map() +
                  Magick::ResourceLimits::disk(),
              19843ull * 28063ull * 8ull);
}

TEST(ImageLibraryPolicy, FoundNextToTheProgramWhenTheUserSetNone) {
    // Run in a fresh process: the library reads its policy once, when it starts.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::unsetenv("MAGICK_CONFIGURE_PATH");
            initialiseImageLibrary();
            const QString folder = imageLibraryPolicyFolder();
            const bool ours = QFileInfo(folder + "/policy.xml").isFile() &&
                              qgetenv("MAGICK_CONFIGURE_PATH") == folder.toLocal8Bit();
            std::exit(ours && Magick::ResourceLimits::width() >= 19843u ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// A MAGICK_CONFIGURE_PATH of the user's, with a policy of its own that would let more through:
// our limits and coder bans still hold.
TEST(ImageLibraryPolicy, OursHoldsWhenTheUserNamedAnotherFolder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QTemporaryDir users;
    ASSERT_TRUE(users.isValid());
    {
        QFile policy(users.filePath("policy.xml"));
        ASSERT_TRUE(policy.open(QIODevice::WriteOnly));
        policy.write("<policymap>\n"
                     "  <policy domain=\"resource\" name=\"width\" value=\"1KP\"/>\n"
                     "  <policy domain=\"coder\" rights=\"read|write\" pattern=\"MVG\"/>\n"
                     "</policymap>\n");
    }
    const QString drawing = users.filePath("drawing.mvg");
    {
        QFile mvg(drawing);
        ASSERT_TRUE(mvg.open(QIODevice::WriteOnly));
        mvg.write("viewbox 0 0 20 20\nfill red\nrectangle 0 0 19 19\n");
    }
    EXPECT_EXIT(
        {
            ::setenv("MAGICK_CONFIGURE_PATH", QFile::encodeName(users.path()).constData(), 1);
            initialiseImageLibrary();
            bool banned = false;
            try {
                Magick::Image image;
                image.read(("MVG:" + drawing).toStdString());
            } catch (const Magick::Exception&) {
                banned = true;
            }
            std::fprintf(stderr, "width %llu, MVG %s\n",
                         static_cast<unsigned long long>(Magick::ResourceLimits::width()),
                         banned ? "banned" : "read");
            std::exit(banned && Magick::ResourceLimits::width() >= 19843u ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
