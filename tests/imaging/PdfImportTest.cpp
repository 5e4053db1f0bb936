// PDFs opened as pages: a page made of one picture gives its own pixels, other pages are
// rendered at 300 dpi, and hostile files (the fuzz corpus's seeds) give a message and no page.
#include "imaging/PdfImport.h"
#include "imaging/ImageEngine.h"

#include <gtest/gtest.h>

#include <QString>

using velorix::imaging::EImageEngineError;
using velorix::imaging::ReadPdfPages;

namespace {

QString Seed(const char* name) {
    return QStringLiteral(VELORIX_SOURCE_DIR "/fuzz/corpus/PdfOpenFuzz/") + QLatin1String(name);
}

QString MessageOf(const char* name) {
    try {
        ReadPdfPages(Seed(name));
    } catch (const EImageEngineError& e) {
        return e.message();
    }
    return QStringLiteral("<no message>");
}

} // namespace

TEST(PdfImport, PicturePagesKeepTheirOwnPixels) {
    const std::vector<QImage> pages = ReadPdfPages(Seed("two_picture_pages.pdf"));
    ASSERT_EQ(pages.size(), 2u);
    for (const QImage& page : pages) {
        ASSERT_EQ(page.size(), QSize(8, 6)); // the picture, not a 300 dpi rendering of the page
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(page.pixel(x, y), qRgb(x * 30 % 256, y * 40 % 256, x * y * 7 % 256));
    }
}

TEST(PdfImport, OtherPagesAreRenderedAt300Dpi) {
    // Visible text over a picture: the page is more than its picture.
    const std::vector<QImage> pages = ReadPdfPages(Seed("text_over_picture.pdf"));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].size(), QSize(600, 300)); // 144 x 72 points
}

TEST(PdfImport, HostileFilesGiveAMessageAndNoPage) {
    const struct {
        const char* file;
        const char* says;
    } cases[] = {
        {"truncated.pdf", "endommagé ou incomplet"},
        {"not_a_pdf.pdf", "n'est pas un PDF lisible"},
        {"encrypted.pdf", "protégé"},
        {"encrypted_empty_password.pdf", "protégé"},
        {"huge_page.pdf", "trop grande pour être ouverte (100000 × 100000 points)"},
        {"page_tree_loop.pdf", "illisible"},
    };
    for (const auto& c : cases) {
        const QString message = MessageOf(c.file);
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.says)))
            << c.file << ": " << message.toStdString();
        EXPECT_NE(message, QStringLiteral("<no message>")) << c.file;
    }
}

TEST(PdfImport, PdfsAreKnownByNameOrByTheirFirstBytes) {
    EXPECT_TRUE(velorix::imaging::IsPdfFile(QStringLiteral("/nowhere/scan.PDF")));
    EXPECT_TRUE(velorix::imaging::IsPdfFile(Seed("two_picture_pages.pdf")));
    EXPECT_FALSE(velorix::imaging::IsPdfFile(QStringLiteral("/nowhere/scan.png")));
}
