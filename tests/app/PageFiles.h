#pragma once
// The pages of files the program wrote, read back by independent readers: a PDF's pictures by
// poppler's pdfimages, a TIFF's pages by libtiff.
#include <QDir>
#include <QImage>
#include <QList>
#include <QProcess>

#include <tiffio.h>

#include <vector>

// The pictures of a PDF's pages, in order; empty when pdfimages fails.
inline QList<QImage> PdfPictures(const QString& pdf, const QString& folder) {
    QProcess p;
    p.start("pdfimages", {"-png", pdf, QDir(folder).filePath("img")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QList<QImage> out;
    for (const QString& name : QDir(folder).entryList({"img-*.png"}, QDir::Files, QDir::Name))
        out << QImage(QDir(folder).filePath(name)).convertToFormat(QImage::Format_RGB32);
    return out;
}

inline QList<QImage> TiffPages(const QString& file) {
    QList<QImage> out;
    TIFF* tif = TIFFOpen(file.toLocal8Bit().constData(), "r");
    if (!tif)
        return out;
    do {
        uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        std::vector<uint32_t> raster(std::size_t(w) * h);
        if (!TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0))
            break;
        QImage img(int(w), int(h), QImage::Format_RGB32);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t p = raster[y * w + x];
                img.setPixel(int(x), int(y), qRgb(TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)));
            }
        out << img;
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return out;
}
