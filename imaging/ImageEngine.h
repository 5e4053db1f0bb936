#pragma once
// The image engine: reads and writes image files in the formats the open and save dialogs offer,
// and resizes the canvas of its current image. The current image is always an opaque 32-bit
// bitmap (QImage::Format_RGB32), whatever the file held.

#include <QColor>
#include <QImage>
#include <QString>

#include <stdexcept>
#include <string>
#include <vector>

namespace velorix::imaging {

// Every failure of the engine; the message is French and meant for the user.
class EImageEngineError : public std::runtime_error {
public:
    explicit EImageEngineError(const QString& message)
        : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// Options of the writers that the save dialog's "advanced" button can change.
struct TSaveOptions {
    int jpegQuality = 80;         // 1..100, the JPEG library's scale
    bool jpegProgressive = false; // false: baseline
    bool os2Bitmap = false;       // ".bmp" written as an OS/2 bitmap instead of Windows v3
};

enum class TAlign { Near, Centre, Far };

// How a file name's extension is read and written; exposed for the dialogs and the tests.
enum class TFileFormat {
    Unknown,
    Unsupported, // offered by the open dialog but not decodable on this platform (EMF, AVI)
    Jpeg,
    Jpeg2000,
    Jpeg2000Stream,
    Pcx,
    Gif,
    Tiff,
    Fax, // TIFF family: raw fax unless the file turns out to be a TIFF
    Png,
    Bmp,
    Ico,
    Cur,
    Wmf,
    Targa,
    Pnm, // any-map: the writer picks bitmap, greymap or pixmap from the picture
    Ppm,
    Pgm,
    Pbm,
};
TFileFormat formatForFileName(const QString& fileName);

// Puts our policy folder in front of MAGICK_CONFIGURE_PATH (before any folder the user set) and
// starts it; later calls do nothing. Every engine calls it, the program may call it earlier.
// The folder is the first of: <exe>/../share/velorix/magick (installed), <exe>/../../data/magick
// and <exe>/../data/magick (build trees), the source tree's data/magick known at build time.
void initialiseImageLibrary();
// The folder chosen by initialiseImageLibrary, put in front of MAGICK_CONFIGURE_PATH (empty
// when none was found).
QString imageLibraryPolicyFolder();

// The image engine: one current image, read from and written to files.
class TImageEngine {
public:
    TImageEngine();

    // Copies a bitmap into the current image.
    void Assign(const QImage& picture);
    // Decodes the file, its format chosen by the file name's extension, into the current image.
    // On failure the current image is left as it was.
    void LoadFromFile(const QString& fileName);
    // Encodes the current image in the format the extension names. An existing file is replaced
    // only once the new content is completely written.
    void SaveToFile(const QString& fileName, const TSaveOptions& options = {}) const;

    const QImage& Bitmap() const { return image_; }
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    bool Empty() const { return image_.isNull(); }

    // Changes the canvas, not the scale: the part of the image that fits stays (cut or margin of
    // half the difference, truncated, when centred); uncovered pixels take BackgroundColor.
    void ImageResize(int width, int height, TAlign horizontal, TAlign vertical);

    // Colour used to pad; the palette's button face unless set otherwise.
    QColor BackgroundColor() const;
    void SetBackgroundColor(const QColor& colour) { background_ = colour; }

    // Decodes a file into a bitmap without touching any engine (used for previews too).
    static QImage decodeFile(const QString& fileName, const QColor& background);

private:
    QImage image_;
    QColor background_; // invalid: follow the palette
};

// Writes the pictures, in order, as the pages of one TIFF file, losslessly (Deflate, 8 bits a
// sample). An existing file is replaced only once the new content is completely written.
void SaveMultiPageTiff(const std::vector<QImage>& pages, const QString& fileName);

// Canvas resize of a bitmap, as TImageEngine::ImageResize does it.
QImage resizeCanvas(const QImage& source, int width, int height, TAlign horizontal, TAlign vertical,
                    const QColor& background);

} // namespace velorix::imaging
