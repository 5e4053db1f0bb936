// A random page list (page sizes, pictures of random size and format, stretched or not) written
// by the report component the way the program writes its pages, then read back in process.
#include "fuzz/PdfStructure.h"
#include "report/PReport.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
int Take(const std::uint8_t*& data, std::size_t& size, int range) {
    if (size == 0)
        return 0;
    --size;
    return *data++ % range;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "PdfDocumentFuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app((qputenv("QT_QPA_PLATFORM", "offscreen"), argc), argv);
    static const QImage::Format formats[] = {
        QImage::Format_Mono,   QImage::Format_MonoLSB,    QImage::Format_Indexed8,
        QImage::Format_RGB32,  QImage::Format_ARGB32,     QImage::Format_RGB888,
        QImage::Format_RGB16,  QImage::Format_Grayscale8, QImage::Format_Grayscale16,
        QImage::Format_RGBA64, QImage::Format_BGR30,      QImage::Format_Alpha8};

    const QString path = QDir::tempPath() + QStringLiteral("/velorix-fuzz-%1.pdf").arg(getpid());
    TPReport report;
    report.SetFileName(path);
    report.BeginDoc();
    std::vector<std::unique_ptr<TPRPage>> pages(1 + Take(data, size, 4));
    for (auto& page : pages) {
        page = std::make_unique<TPRPage>();
        page->SetBounds(0, 0, 1 + Take(data, size, 251) * 4, 1 + Take(data, size, 251) * 4);
        auto* panel = new TPRLayoutPanel(page.get());
        panel->SetAlign(static_cast<TAlign>(Take(data, size, 6)));
        auto* image = new TPRImage(panel);
        image->SetAlign(static_cast<TAlign>(Take(data, size, 6)));
        image->SetStretch(Take(data, size, 2));
        QImage picture(1 + Take(data, size, 64), 1 + Take(data, size, 64),
                       formats[Take(data, size, std::size(formats))]);
        if (picture.format() == QImage::Format_Indexed8)
            picture.setColorCount(1 + Take(data, size, 256)); // indices beyond it are kept
        for (int y = 0; y < picture.height() && size > 0; ++y) {
            const auto n = std::min<std::size_t>(size, picture.bytesPerLine());
            std::memcpy(picture.scanLine(y), data, n);
            data += n;
            size -= n;
        }
        image->SetPicture(picture);
        page->Realign();
        report.Print(page.get());
    }
    report.EndDoc();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        abort();
    const QByteArray pdf = file.readAll();
    if (const std::string fault = velorix::fuzz::PdfStructureFault(pdf.toStdString());
        !fault.empty()) {
        fprintf(stderr, "%s\n", fault.c_str());
        abort();
    }
    return 0;
}
