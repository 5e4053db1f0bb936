#include "imaging/ImageEngine.h"

#include <Magick++.h>

#include "files/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#ifndef VELORIX_MAGICK_SOURCE_DIR
#define VELORIX_MAGICK_SOURCE_DIR ""
#endif

namespace velorix::imaging {

namespace {

QString policyFolder;

bool hasPolicy(const std::filesystem::path& dir) {
    std::error_code ec;
    return std::filesystem::is_regular_file(dir / "policy.xml", ec);
}

// The running program's folder: Qt knows it once the application object exists; before that,
// Linux tells it through /proc.
std::filesystem::path programFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath().toStdString();
#ifdef __linux__
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return exe.parent_path();
#endif
    return {};
}

std::filesystem::path findPolicyFolder() {
    std::error_code ec;
    const auto dir = programFolder();
    if (!dir.empty()) {
        for (const auto& candidate :
             {dir / ".." / "share" / "velorix" / "magick", dir / ".." / ".." / "data" / "magick",
              dir / ".." / "data" / "magick"}) {
            if (hasPolicy(candidate))
                return std::filesystem::weakly_canonical(candidate, ec);
        }
    }
    const std::filesystem::path built(VELORIX_MAGICK_SOURCE_DIR);
    if (!built.empty() && hasPolicy(built))
        return built;
    return {};
}

QString quoted(const QString& fileName) {
    return QStringLiteral("\"%1\"").arg(fileName);
}

// The magick name the library decodes or encodes for a format.
const char* magickName(TFileFormat format) {
    switch (format) {
    case TFileFormat::Jpeg:
        return "JPEG";
    case TFileFormat::Jpeg2000:
        return "JP2";
    case TFileFormat::Jpeg2000Stream:
        return "J2K";
    case TFileFormat::Pcx:
        return "PCX";
    case TFileFormat::Gif:
        return "GIF";
    case TFileFormat::Tiff:
        return "TIFF";
    case TFileFormat::Fax:
        return "FAX";
    case TFileFormat::Png:
        return "PNG";
    case TFileFormat::Bmp:
        return "BMP";
    case TFileFormat::Ico:
        return "ICO";
    case TFileFormat::Cur:
        return "CUR";
    case TFileFormat::Wmf:
        return "WMF";
    case TFileFormat::Targa:
        return "TGA";
    case TFileFormat::Pnm:
        return "PNM";
    case TFileFormat::Ppm:
        return "PPM";
    case TFileFormat::Pgm:
        return "PGM";
    case TFileFormat::Pbm:
        return "PBM";
    case TFileFormat::Unknown:
    case TFileFormat::Unsupported:
        break;
    }
    return "";
}

// The content decides between look-alike members of one family: a ".fax" may be a TIFF, a
// ".dib" may lack the file header, a ".pix" from the Targa family is a Targa.
const char* decoderFor(TFileFormat format, const QByteArray& head) {
    if (format == TFileFormat::Fax || format == TFileFormat::Tiff) {
        if (head.startsWith("II*\0") || head.startsWith("MM\0*"))
            return "TIFF";
        return format == TFileFormat::Tiff ? "TIFF" : "FAX";
    }
    if (format == TFileFormat::Bmp && !head.startsWith("BM"))
        return "DIB";
    return magickName(format);
}

// The most pixels one byte of a family's file can describe: hard limits of the coding where it
// has one (PNG's deflate, GIF's 12-bit codes, run lengths), generous ones where blank pages code
// to almost nothing (a blank 600-dpi A4 page is about 1 KB of fax coding, 400 bytes of
// wavelets). A header claiming more than the file's bytes can hold is damaged or hostile and is
// refused before any pixel memory is taken.
long long pixelsPerByte(const char* decoder) {
    static const struct {
        const char* decoder;
        long long pixels;
    } table[] = {
        {"PNG", 8300},  {"GIF", 2800},  {"JPEG", 1024}, {"PCX", 256},    {"TGA", 128},
        {"BMP", 128},   {"DIB", 128},   {"ICO", 128},   {"CUR", 128},    {"PNM", 16},
        {"PPM", 16},    {"PGM", 16},    {"PBM", 16},    {"TIFF", 32768}, {"FAX", 32768},
        {"JP2", 32768}, {"J2K", 32768},
    };
    for (const auto& entry : table) {
        if (std::strcmp(decoder, entry.decoder) == 0)
            return entry.pixels;
    }
    return 1 << 18; // WMF: drawings
}

// Whatever the file's size: a picture of 4000 x 4000 pixels is never questioned.
constexpr long long kUnquestionedPixels = 16'000'000;

void checkClaimedSize(long long width, long long height, const char* decoder, qsizetype fileBytes,
                      const QString& fileName) {
    const long long budget = std::max(kUnquestionedPixels, pixelsPerByte(decoder) * fileBytes);
    if (width > 0 && height > 0 && (width > budget / height))
        throw EImageEngineError(
            QStringLiteral("Le fichier %1 n'est pas une image %2 lisible : il annonce %3 × %4 "
                           "pixels, plus que ses %5 octets ne peuvent en contenir.")
                .arg(quoted(fileName), QFileInfo(fileName).suffix().toUpper())
                .arg(width)
                .arg(height)
                .arg(fileBytes));
}

// libpng allocates a chunk's claimed length before reading it: a 75-byte file claiming a chunk of
// 1.1 GB cost 1.1 GB. A chunk longer than what follows it in the file is refused first.
bool pngChunksFit(const QByteArray& bytes) {
    qsizetype at = 8; // after the signature
    while (at + 8 <= bytes.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + at;
        const quint64 length =
            (quint64(p[0]) << 24) | (quint64(p[1]) << 16) | (quint64(p[2]) << 8) | quint64(p[3]);
        if (length > quint64(bytes.size() - at - 8))
            return false;
        if (std::memcmp(p + 4, "IEND", 4) == 0)
            return true;
        at += 12 + qsizetype(length);
    }
    return true;
}

QColor paletteButtonFace() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
    return QColor(0xef, 0xef, 0xef);
}

QImage toBitmap(Magick::Image& image, const QColor& background) {
    const auto space = image.colorSpace();
    if (space != MagickCore::sRGBColorspace && space != MagickCore::RGBColorspace &&
        space != MagickCore::GRAYColorspace)
        image.colorSpace(MagickCore::sRGBColorspace);
    const int width = static_cast<int>(image.columns());
    const int height = static_cast<int>(image.rows());
    // Opaque pictures are written straight into the page format (alpha 255 fills the pad byte).
    const bool opaque = !image.matte();
    QImage pixels(width, height, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    if (pixels.isNull())
        throw EImageEngineError(
            QStringLiteral("Mémoire insuffisante pour une image de %1 × %2 pixels.")
                .arg(width)
                .arg(height));
    // Rows of these formats hold 4-byte pixels: never padded.
    image.write(0, 0, image.columns(), image.rows(), "BGRA", Magick::CharPixel, pixels.bits());
    if (opaque)
        return pixels;
    QImage flat(width, height, QImage::Format_RGB32);
    flat.fill(background);
    QPainter painter(&flat);
    painter.drawImage(0, 0, pixels);
    painter.end();
    return flat;
}

} // namespace

void initialiseImageLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Ours comes first, also in front of a folder the user named: the library takes the
        // first limit it finds, so the user's or the system's cannot replace ours. For rights
        // the last rule that matches decides, so once the library has read every policy ours is
        // read again, after them: a coder that another policy allows stays banned.
        const auto folder = findPolicyFolder();
        if (!folder.empty()) {
            QByteArray path = QByteArray::fromStdString(folder.string());
            const QByteArray users = qgetenv("MAGICK_CONFIGURE_PATH");
            if (!users.isEmpty() && users != path)
                path += ':' + users;
            qputenv("MAGICK_CONFIGURE_PATH", path);
            policyFolder = QString::fromStdString(folder.string());
        }
        Magick::InitializeMagick(nullptr);
        if (policyFolder.isEmpty())
            return;
        QFile policy(policyFolder + QStringLiteral("/policy.xml"));
        if (!policy.open(QIODevice::ReadOnly))
            return;
        const QByteArray rules = policy.readAll();
        MagickCore::ExceptionInfo* exception = MagickCore::AcquireExceptionInfo();
        MagickCore::SetMagickSecurityPolicy(rules.constData(), exception);
        MagickCore::DestroyExceptionInfo(exception);
    });
}

QString imageLibraryPolicyFolder() {
    initialiseImageLibrary();
    return policyFolder;
}

TFileFormat formatForFileName(const QString& fileName) {
    const QString ext = QFileInfo(fileName).suffix().toLower();
    static const struct {
        const char* ext;
        TFileFormat format;
    } table[] = {
        {"jpg", TFileFormat::Jpeg},
        {"jpeg", TFileFormat::Jpeg},
        {"jpe", TFileFormat::Jpeg},
        {"jp2", TFileFormat::Jpeg2000},
        {"j2k", TFileFormat::Jpeg2000Stream},
        {"jpc", TFileFormat::Jpeg2000Stream},
        {"j2c", TFileFormat::Jpeg2000Stream},
        {"pcx", TFileFormat::Pcx},
        {"gif", TFileFormat::Gif},
        {"tif", TFileFormat::Tiff},
        {"tiff", TFileFormat::Tiff},
        {"fax", TFileFormat::Fax},
        {"g3f", TFileFormat::Fax},
        {"g3n", TFileFormat::Fax},
        {"png", TFileFormat::Png},
        {"bmp", TFileFormat::Bmp},
        {"dib", TFileFormat::Bmp},
        {"rle", TFileFormat::Bmp},
        {"ico", TFileFormat::Ico},
        {"cur", TFileFormat::Cur},
        {"wmf", TFileFormat::Wmf},
        {"emf", TFileFormat::Unsupported},
        {"avi", TFileFormat::Unsupported},
        {"tga", TFileFormat::Targa},
        {"targa", TFileFormat::Targa},
        {"vda", TFileFormat::Targa},
        {"icb", TFileFormat::Targa},
        {"vst", TFileFormat::Targa},
        {"win", TFileFormat::Targa},
        {"pix", TFileFormat::Targa},
        {"pxm", TFileFormat::Pnm},
        {"ppm", TFileFormat::Ppm},
        {"pgm", TFileFormat::Pgm},
        {"pbm", TFileFormat::Pbm},
    };
    for (const auto& entry : table) {
        if (ext == QLatin1String(entry.ext))
            return entry.format;
    }
    return TFileFormat::Unknown;
}

TImageEngine::TImageEngine() {
    initialiseImageLibrary();
}

QColor TImageEngine::BackgroundColor() const {
    return background_.isValid() ? background_ : paletteButtonFace();
}

void TImageEngine::Assign(const QImage& picture) {
    image_ = picture.convertToFormat(QImage::Format_RGB32);
}

QImage TImageEngine::decodeFile(const QString& fileName, const QColor& background) {
    initialiseImageLibrary();
    const TFileFormat format = formatForFileName(fileName);
    const QString suffix = QFileInfo(fileName).suffix();
    if (format == TFileFormat::Unsupported)
        throw EImageEngineError(
            QStringLiteral("Les fichiers %1 ne peuvent pas être lus sur ce système : %2")
                .arg(suffix.toUpper(), quoted(fileName)));
    if (format == TFileFormat::Unknown)
        throw EImageEngineError(
            QStringLiteral("Format d'image non reconnu : %1").arg(quoted(fileName)));

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EImageEngineError(QStringLiteral("Impossible d'ouvrir le fichier %1. %2")
                                    .arg(quoted(fileName), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EImageEngineError(QStringLiteral("Impossible de lire le fichier %1. %2")
                                    .arg(quoted(fileName), file.errorString()));
    const QString unreadable = QStringLiteral("Le fichier %1 n'est pas une image %2 lisible.")
                                   .arg(quoted(fileName), suffix.toUpper());
    if (bytes.isEmpty())
        throw EImageEngineError(unreadable);

    try {
        // The bytes are handed over as a blob so that nothing in the file name (frame or size
        // suffixes, prefixes naming a coder) is ever interpreted by the library.
        Magick::Blob blob(bytes.constData(), static_cast<size_t>(bytes.size()));
        const char* decoder = decoderFor(format, bytes.left(4));
        if (std::strcmp(decoder, "PNG") == 0 && !pngChunksFit(bytes))
            throw EImageEngineError(unreadable);
        auto prepared = [decoder] {
            Magick::Image image;
            image.quiet(true);
            image.subImage(0);
            image.subRange(1);
            image.magick(decoder);
            // Raw fax pages carry no size: the group 3 line is 1728 pixels.
            if (std::strcmp(decoder, "FAX") == 0)
                image.size(Magick::Geometry(1728, 0));
            return image;
        };
        // The header alone first: the size it claims decides whether the pixels are read.
        Magick::Image header = prepared();
        header.ping(blob);
        checkClaimedSize(static_cast<long long>(header.columns()),
                         static_cast<long long>(header.rows()), decoder, bytes.size(), fileName);
        Magick::Image image = prepared();
        image.read(blob);
        if (image.columns() == 0 || image.rows() == 0)
            throw EImageEngineError(unreadable);
        return toBitmap(image, background);
    } catch (const Magick::Exception&) {
        throw EImageEngineError(unreadable);
    } catch (const std::bad_alloc&) {
        throw EImageEngineError(
            QStringLiteral("Mémoire insuffisante pour lire le fichier %1.").arg(quoted(fileName)));
    }
}

void TImageEngine::LoadFromFile(const QString& fileName) {
    image_ = decodeFile(fileName, BackgroundColor());
}

namespace {

// The encoded file, replacing an existing one only once it is completely written.
void WriteWhole(const QString& fileName, const Magick::Blob& blob) {
    // Written beside the old picture, which it replaces only once on disk.
    files::TAtomicFile out(fileName);
    if (!out.Open() || !out.Write(static_cast<const char*>(blob.data()), blob.length()) ||
        !out.Commit())
        throw EImageEngineError(QStringLiteral("Impossible de créer le fichier %1. %2")
                                    .arg(quoted(fileName), out.ErrorString()));
}

} // namespace

void TImageEngine::SaveToFile(const QString& fileName, const TSaveOptions& options) const {
    const TFileFormat format = formatForFileName(fileName);
    if (format == TFileFormat::Unknown || format == TFileFormat::Unsupported ||
        format == TFileFormat::Ico || format == TFileFormat::Cur || format == TFileFormat::Wmf)
        throw EImageEngineError(
            QStringLiteral(
                "Impossible d'enregistrer %1 : l'extension \"%2\" ne désigne aucun format "
                "d'image enregistrable.")
                .arg(quoted(fileName), QFileInfo(fileName).suffix()));
    if (image_.isNull())
        throw EImageEngineError(QStringLiteral("Aucune image à enregistrer."));

    // The library cannot even hold a picture beyond its limits (and fails hard trying).
    const auto width = static_cast<unsigned long long>(image_.width());
    const auto height = static_cast<unsigned long long>(image_.height());
    if (width > Magick::ResourceLimits::width() || height > Magick::ResourceLimits::height() ||
        width * height > Magick::ResourceLimits::area())
        throw EImageEngineError(
            QStringLiteral("Impossible d'enregistrer %1 : l'image de %2 × %3 pixels est trop "
                           "grande.")
                .arg(quoted(fileName))
                .arg(width)
                .arg(height));

    Magick::Blob blob;
    try {
        const QImage rgb = image_.convertToFormat(QImage::Format_RGB32);
        Magick::Image image(static_cast<size_t>(rgb.width()), static_cast<size_t>(rgb.height()),
                            "BGRA", Magick::CharPixel, rgb.constBits());
        image.quiet(true);
        image.matte(false);
        image.depth(8);
        switch (format) {
        case TFileFormat::Jpeg:
            image.magick("JPEG");
            image.quality(static_cast<size_t>(std::clamp(options.jpegQuality, 1, 100)));
            image.interlaceType(options.jpegProgressive ? MagickCore::PlaneInterlace
                                                        : MagickCore::NoInterlace);
            // Standard tables rather than per-image optimised ones: a baseline file.
            image.defineValue("jpeg", "optimize-coding", "false");
            break;
        case TFileFormat::Bmp:
            image.magick(options.os2Bitmap ? "BMP2" : "BMP3");
            break;
        case TFileFormat::Fax:
            image.magick("TIFF");
            break;
        default:
            image.magick(magickName(format));
            break;
        }
        image.write(&blob);
    } catch (const Magick::Exception& e) {
        throw EImageEngineError(QStringLiteral("Impossible d'enregistrer l'image dans %1 : %2")
                                    .arg(quoted(fileName), QString::fromLocal8Bit(e.what())));
    } catch (const std::bad_alloc&) {
        throw EImageEngineError(
            QStringLiteral("Mémoire insuffisante pour enregistrer %1.").arg(quoted(fileName)));
    }

    WriteWhole(fileName, blob);
}

void SaveMultiPageTiff(const std::vector<QImage>& pages, const QString& fileName) {
    initialiseImageLibrary();
    if (pages.empty())
        throw EImageEngineError(QStringLiteral("Aucune page à enregistrer."));
    Magick::Blob blob;
    try {
        std::vector<Magick::Image> frames;
        frames.reserve(pages.size());
        for (const QImage& page : pages) {
            const QImage rgb = page.convertToFormat(QImage::Format_RGB32);
            const auto width = static_cast<unsigned long long>(rgb.width());
            const auto height = static_cast<unsigned long long>(rgb.height());
            if (rgb.isNull() || width > Magick::ResourceLimits::width() ||
                height > Magick::ResourceLimits::height() ||
                width * height > Magick::ResourceLimits::area())
                throw EImageEngineError(
                    QStringLiteral("Impossible d'enregistrer %1 : une page de %2 × %3 pixels "
                                   "ne peut pas être écrite.")
                        .arg(quoted(fileName))
                        .arg(width)
                        .arg(height));
            Magick::Image image(static_cast<size_t>(rgb.width()), static_cast<size_t>(rgb.height()),
                                "BGRA", Magick::CharPixel, rgb.constBits());
            image.quiet(true);
            image.matte(false);
            image.depth(8);
            image.magick("TIFF");
            image.compressType(MagickCore::ZipCompression);
            frames.push_back(std::move(image));
        }
        Magick::writeImages(frames.begin(), frames.end(), &blob, true);
    } catch (const Magick::Exception& e) {
        throw EImageEngineError(QStringLiteral("Impossible d'enregistrer les pages dans %1 : %2")
                                    .arg(quoted(fileName), QString::fromLocal8Bit(e.what())));
    } catch (const std::bad_alloc&) {
        throw EImageEngineError(
            QStringLiteral("Mémoire insuffisante pour enregistrer %1.").arg(quoted(fileName)));
    }
    WriteWhole(fileName, blob);
}

void TImageEngine::ImageResize(int width, int height, TAlign horizontal, TAlign vertical) {
    image_ = resizeCanvas(image_, width, height, horizontal, vertical, BackgroundColor());
}

QImage resizeCanvas(const QImage& source, int width, int height, TAlign horizontal, TAlign vertical,
                    const QColor& background) {
    if (width < 1 || height < 1)
        return {};
    QImage target(width, height, QImage::Format_RGB32);
    target.fill(background);
    if (source.isNull())
        return target;
    const QImage src = source.convertToFormat(QImage::Format_RGB32);
    // Offset of the source in the target along one axis: negative where the source is cut.
    auto offset = [](int from, int to, TAlign align) {
        switch (align) {
        case TAlign::Near:
            return 0;
        case TAlign::Far:
            return to - from;
        case TAlign::Centre:
            break;
        }
        return to >= from ? (to - from) / 2 : -((from - to) / 2);
    };
    const int dx = offset(src.width(), width, horizontal);
    const int dy = offset(src.height(), height, vertical);
    const int x0 = std::max(0, dx), x1 = std::min(width, dx + src.width());
    const int y0 = std::max(0, dy), y1 = std::min(height, dy + src.height());
    if (x1 <= x0)
        return target;
    const size_t rowBytes = static_cast<size_t>(x1 - x0) * 4;
    for (int y = y0; y < y1; ++y) {
        const auto* from = reinterpret_cast<const uint32_t*>(src.constScanLine(y - dy)) + (x0 - dx);
        auto* to = reinterpret_cast<uint32_t*>(target.scanLine(y)) + x0;
        std::memcpy(to, from, rowBytes);
    }
    return target;
}

} // namespace velorix::imaging
