// Any bytes as an image file of every family the open dialog offers, decoded by our engine under
// our image library policy. The first byte picks the extension (and so the decoder).
#include "imaging/ImageEngine.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <iterator>

using velorix::imaging::EImageEngineError;
using velorix::imaging::TImageEngine;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("MAGICK_CONFIGURE_PATH", VELORIX_SOURCE_DIR "/data/magick", 1);
    velorix::imaging::initialiseImageLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const extensions[] = {"jpg", "jp2", "j2k", "pcx", "gif", "tif",
                                             "fax", "png", "bmp", "dib", "ico", "cur",
                                             "wmf", "tga", "pxm", "ppm", "pgm", "pbm"};
    if (size < 1)
        return 0;
    const QString path = QDir::tempPath() + QStringLiteral("/velorix-fuzz-%1.%2")
                                                .arg(getpid())
                                                .arg(extensions[data[0] % std::size(extensions)]);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        abort();
    file.write(reinterpret_cast<const char*>(data + 1), static_cast<qint64>(size - 1));
    file.close();
    try {
        const QImage picture = TImageEngine::decodeFile(path, Qt::white);
        if (picture.isNull() || picture.format() != QImage::Format_RGB32)
            abort(); // a decoded picture is always a complete opaque bitmap
    } catch (const EImageEngineError&) {
    }
    return 0;
}
