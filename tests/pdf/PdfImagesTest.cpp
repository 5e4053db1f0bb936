// Image objects made from QImages: the pixel bytes, the colour spaces, the messages, and whole
// documents rendered back by an independent reader.
#include "pdf/PdfImages.h"
#include "pdf/PdfDoc.h"
#include "tests/pdf/PdfTestUtil.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <functional>

using pdftest::Message;
using pdftest::Written;

namespace {

// Colours that every format below can hold exactly (0 or 255 per channel, plus grey for the
// grey format).
QRgb Pattern(int x, int y) {
    static const QRgb colours[] = {qRgb(0, 0, 0),     qRgb(255, 0, 0),    qRgb(0, 255, 0),
                                   qRgb(0, 0, 255),   qRgb(255, 255, 0),  qRgb(0, 255, 255),
                                   qRgb(255, 0, 255), qRgb(255, 255, 255)};
    return colours[(x * 7 + y * 3 + x * y) % 8];
}

// The RGB bytes an image of these pixels must hold, rows top down, no padding.
std::string ExpectedRgb(const QImage& image) {
    std::string out;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            out += static_cast<char>(qRed(p));
            out += static_cast<char>(qGreen(p));
            out += static_cast<char>(qBlue(p));
        }
    }
    return out;
}

// Renders page 1 of a PDF file at four device pixels per point. (At exactly one pixel per point
// poppler smooths images bilinearly, which would blur the comparison; from four times up it
// replicates image pixels, so every 4 x 4 block must be one source pixel, unchanged.)
constexpr int kZoom = 4;

QImage Render(const std::string& pdfPath) {
    const std::string prefix = pdfPath + ".render";
    const std::string command = "pdftoppm -r " + std::to_string(72 * kZoom) + " -singlefile '" +
                                pdfPath + "' '" + prefix + "' 2>&1";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    return QImage(QString::fromStdString(prefix + ".ppm")).convertToFormat(QImage::Format_RGB32);
}

// One page the size of the picture showing it at one point per pixel; checks the file with
// qpdf and that the rendered pixels are the picture's.
void ExpectRenderedExactly(const QImage& picture, const std::string& name) {
    TPdfDoc doc;
    doc.SetClock(pdftest::FixedClock());
    doc.NewDocument();
    doc.AddPage();
    doc.Canvas().SetPageWidth(picture.width());
    doc.Canvas().SetPageHeight(picture.height());
    doc.AddXObject("PRImage1", CreatePdfImage(picture, "Pdf-Bitmap"));
    doc.Canvas().DrawXObject(0, 0, picture.width(), picture.height(), "PRImage1");
    const std::string pdf = pdftest::SaveChecked(doc, name + ".pdf");
    const QImage rendered = Render(pdftest::TempPath(name + ".pdf"));
    ASSERT_FALSE(rendered.isNull()) << "pdftoppm failed on " << name;
    ASSERT_EQ(rendered.size(), picture.size() * kZoom);
    const QImage expected = picture.convertToFormat(QImage::Format_RGB32);
    int wrong = 0;
    for (int y = 0; y < rendered.height(); ++y) {
        for (int x = 0; x < rendered.width(); ++x) {
            const QRgb want = expected.pixel(x / kZoom, y / kZoom);
            if (rendered.pixel(x, y) != want && wrong++ < 5) {
                ADD_FAILURE() << name << " device pixel " << x << "," << y << ": " << std::hex
                              << rendered.pixel(x, y) << " instead of " << want;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace

TEST(PdfImages, ColourPixelsAreRedGreenBlueWithoutPadding) {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(0, 0, 255));
    image.setPixel(1, 0, qRgb(255, 0, 0));
    auto pdf = CreatePdfImage(image);
    EXPECT_EQ(pdf->Data(), std::string("\x00\x00\xFF\xFF\x00\x00", 6));
    EXPECT_EQ(Written(pdf->Attributes()),
              "<<\r\n/Length 0\r\n/Filter [/FlateDecode ]\r\n/Type /XObject\r\n/Subtype /Image\r\n"
              "/ColorSpace /DeviceRGB\r\n/Width 2\r\n/Height 1\r\n/BitsPerComponent 8\r\n>>");
    // The caller's picture is left as it was.
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
}

TEST(PdfImages, EveryOtherFormatBecomesRgb) {
    const QImage::Format formats[] = {
        QImage::Format_RGB32,      QImage::Format_ARGB32,   QImage::Format_ARGB32_Premultiplied,
        QImage::Format_RGB16,      QImage::Format_RGB555,   QImage::Format_RGB888,
        QImage::Format_BGR888,     QImage::Format_RGBA8888, QImage::Format_RGBX64,
        QImage::Format_Grayscale8,
    };
    for (QImage::Format format : formats) {
        // Width 5: 15 bytes per RGB row, not a multiple of 4.
        QImage source(5, 3, QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                const int grey = (x + y) % 2 ? 255 : 0;
                source.setPixel(x, y,
                                format == QImage::Format_Grayscale8 ? qRgb(grey, grey, grey)
                                                                    : Pattern(x, y));
            }
        }
        const QImage image = source.convertToFormat(format);
        auto pdf = CreatePdfImage(image);
        EXPECT_EQ(pdf->Data(), ExpectedRgb(source)) << "format " << format;
        EXPECT_EQ(pdf->Attributes().NameByKey("ColorSpace")->Value(), "DeviceRGB");
    }
    // An opaque-alpha picture loses its fourth byte, nothing else.
    QImage argb(1, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(10, 20, 30, 255));
    EXPECT_EQ(CreatePdfImage(argb)->Data(), "\x0A\x14\x1E");
}

TEST(PdfImages, PalettePicturesBecomeIndexedImages) {
    QImage mono(10, 2, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(3, 0, 1);
    mono.setPixel(9, 1, 1);
    auto pdf = CreatePdfImage(mono);
    std::string expected(20, '\0');
    expected[3] = 1;
    expected[19] = 1;
    EXPECT_EQ(pdf->Data(), expected);
    TPdfDictionary& a = pdf->Attributes();
    EXPECT_EQ(a.NumberByKey("BitsPerComponent")->Value(), 8);
    EXPECT_EQ(a.NumberByKey("Width")->Value(), 10);
    const std::string space = Written(*a.ValueByKey("ColorSpace"));
    const std::string head = "[/Indexed /DeviceRGB 255 <000000 FFFFFF 000000 ";
    EXPECT_EQ(space.substr(0, head.size()), head);
    EXPECT_EQ(space.size(), std::string("[/Indexed /DeviceRGB 255 ").size() + 2 + 256 * 7 + 2);
    EXPECT_EQ(space.substr(space.size() - 10), "000000 > ]");

    QImage indexed(3, 2, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i) {
        palette.append(qRgb(i, 255 - i, (i * 37) & 0xFF));
    }
    indexed.setColorTable(palette);
    for (int i = 0; i < 6; ++i) {
        indexed.setPixel(i % 3, i / 3, static_cast<uint>(250 + i));
    }
    pdf = CreatePdfImage(indexed);
    EXPECT_EQ(pdf->Data(), "\xFA\xFB\xFC\xFD\xFE\xFF");
    const std::string table = Written(*pdf->Attributes().ValueByKey("ColorSpace"));
    EXPECT_NE(table.find("<00FF00 01FE25 "), std::string::npos);
    EXPECT_NE(table.find(" FF00DB >"), std::string::npos);
}

TEST(PdfImages, RefusedPicturesAndMakers) {
    QImage rgb(1, 1, QImage::Format_RGB32);
    EXPECT_EQ(Message([&] { TPdfImageCreator::CreateIndexedColorArray(rgb); }),
              "only 8 bit color image is allowed.");
    QImage noPalette(2, 2, QImage::Format_Indexed8);
    noPalette.setColorTable({});
    EXPECT_EQ(Message([&] { TPdfImageCreator::CreateIndexedColorArray(noPalette); }),
              "failed to get Palette..");
    EXPECT_EQ(Message([&] { CreatePdfImage(noPalette); }), "failed to get Palette..");
    EXPECT_THROW(CreatePdfImage(noPalette), EPdfInvalidImageFormat);
    EXPECT_EQ(Message([&] { CreatePdfImage(rgb, "Pdf-Jpeg"); }),
              "AddImage --InvalidImageClassName:Pdf-Jpeg");

    TPdfImageCreator base;
    EXPECT_EQ(base.CreateImage(rgb), nullptr);
    RegisterPdfImageCreator("Pdf-Nothing", [] { return std::make_unique<TPdfImageCreator>(); });
    EXPECT_EQ(CreatePdfImage(rgb, "Pdf-Nothing"), nullptr);
    UnregisterPdfImageCreator("Pdf-Nothing");
    EXPECT_THROW(CreatePdfImage(rgb, "Pdf-Nothing"), EPdfException);
}

TEST(PdfImages, DocumentsRenderThePixelsExactly) {
    QImage colour(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < colour.height(); ++y) {
        for (int x = 0; x < colour.width(); ++x) {
            colour.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 11) & 0xFF, (x * y) & 0xFF));
        }
    }
    ExpectRenderedExactly(colour, "colour");

    QImage indexed(31, 17, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 200; ++i) {
        palette.append(qRgb((i * 53) & 0xFF, (i * 101) & 0xFF, (i * 7) & 0xFF));
    }
    indexed.setColorTable(palette);
    for (int y = 0; y < indexed.height(); ++y) {
        for (int x = 0; x < indexed.width(); ++x) {
            indexed.setPixel(x, y, static_cast<uint>((x * 13 + y * 5) % 200));
        }
    }
    ExpectRenderedExactly(indexed, "indexed");

    QImage mono(29, 13, QImage::Format_MonoLSB);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < mono.height(); ++y) {
        for (int x = 0; x < mono.width(); ++x) {
            mono.setPixel(x, y, static_cast<uint>((x / 2 + y) % 2));
        }
    }
    ExpectRenderedExactly(mono, "mono");
}

TEST(PdfImages, PagesWithSeveralImages) {
    TPdfDoc doc;
    doc.SetClock(pdftest::FixedClock());
    doc.NewDocument();
    QImage a(4, 4, QImage::Format_RGB32);
    a.fill(qRgb(200, 10, 10));
    QImage b(3, 3, QImage::Format_Indexed8);
    b.setColorTable({qRgb(1, 2, 3)});
    b.fill(0);
    doc.AddXObject("PRImage1", CreatePdfImage(a));
    doc.AddXObject("PRImage2", CreatePdfImage(b));
    for (int page = 0; page < 2; ++page) {
        doc.AddPage();
        doc.Canvas().DrawXObject(10, 10, 40, 40, "PRImage1");
        doc.Canvas().DrawXObjectEx(100, 100, 3, 3, 100, 100, 2, 2, "PRImage2");
        doc.Canvas().DrawXObject(60, 10, 40, 40, "PRImage1");
    }
    const std::string pdf = pdftest::SaveChecked(doc, "several_images.pdf");
    // Each image is stored once however often it is drawn.
    std::size_t images = 0;
    for (std::size_t pos = 0; (pos = pdf.find("/Subtype /Image", pos)) != std::string::npos;
         ++pos) {
        ++images;
    }
    EXPECT_EQ(images, 2u);
}
