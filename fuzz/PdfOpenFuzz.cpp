// Any bytes as a PDF opened as pages: our reader of a page's single picture, then poppler for
// the rest. Either every page comes as a complete picture, or a French message and no page.
#include "imaging/ImageEngine.h"
#include "imaging/PdfImport.h"
#include "imaging/PdfPictures.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const auto& picture : velorix::imaging::PagePictures(bytes))
        if (picture && (picture->isNull() || picture->width() > velorix::imaging::kMaxPictureSide))
            abort();
    const QString path = QDir::tempPath() + QStringLiteral("/velorix-fuzz-%1.pdf").arg(getpid());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        abort();
    file.write(bytes);
    file.close();
    try {
        const std::vector<QImage> pages = velorix::imaging::ReadPdfPages(path);
        if (pages.empty())
            abort(); // success means at least one page
        for (const QImage& page : pages)
            if (page.isNull())
                abort();
    } catch (const velorix::imaging::EImageEngineError& e) {
        if (e.message().isEmpty())
            abort();
    }
    QFile::remove(path);
    return 0;
}
