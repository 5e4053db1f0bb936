#include "WorkerLink.h"

#include "../ScanPlatform.h"

#include <QByteArray>

namespace velorix::scan::worker {

std::string EncodeLine(const Fields& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += '\t';
        line += QByteArray::fromStdString(fields[i]).toPercentEncoding().toStdString();
    }
    line += '\n';
    return line;
}

Fields DecodeLine(const std::string& line) {
    Fields fields;
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = text.find('\t', start);
        const std::string part = text.substr(start, tab == std::string::npos ? tab : tab - start);
        fields.push_back(
            QByteArray::fromPercentEncoding(QByteArray::fromStdString(part)).toStdString());
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return fields;
}

void RaiseBlockError(const std::string& message) {
    throw EPlatformError(message);
}

QImage BlockPicture(std::unique_ptr<SharedBlock> block, int width, int height,
                    qsizetype bytesPerLine, QImage::Format format) {
    if (width <= 0 || height <= 0 || bytesPerLine <= 0 ||
        static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(height) > block->Size())
        throw EPlatformError("Image scannée invalide");
    unsigned char* data = block->Data();
    SharedBlock* owner = block.release();
    return QImage(
        data, width, height, bytesPerLine, format,
        [](void* p) { delete static_cast<SharedBlock*>(p); }, owner);
}

} // namespace velorix::scan::worker
