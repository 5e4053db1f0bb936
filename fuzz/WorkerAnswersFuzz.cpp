// Anything a scanner worker may send: lines up to the first empty one are its messages, each
// read as the program reads them (tables, listed scanners, block sizes, pages); the bytes after
// that line are the page's block. A page that comes out must be what its message announced.
#include "scan/client/Answers.h"

#include "scan/ScanPlatform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace velorix::scan::worker;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find("\n\n");
    const std::string lines = input.substr(0, split);
    const std::string block = split == std::string::npos ? std::string() : input.substr(split + 2);
    const BlockReader read = [&block](unsigned char* dest, std::size_t offset, std::size_t n) {
        if (offset > block.size() || n > block.size() - offset)
            throw velorix::scan::EPlatformError("Image scannée incomplète");
        std::memcpy(dest, block.data() + offset, n);
    };
    std::size_t start = 0;
    while (start <= lines.size()) {
        const std::size_t end = std::min(lines.find('\n', start), lines.size());
        const std::optional<Message> m = DecodeMessage(lines.substr(start, end - start));
        start = end + 1;
        if (!m)
            continue;
        try {
            if (m->type == "ok") {
                TableFrom(m->args);
            } else if (m->type == "device") {
                DeviceFrom(m->args);
            } else if (m->type == "block") {
                BlockSizeFrom(m->args);
            } else if (m->type == "picture") {
                const QImage page = PictureFrom(m->args, block.size(), read);
                if (page.width() != std::atoi(m->args[0].c_str()) ||
                    page.height() != std::atoi(m->args[1].c_str()))
                    std::abort();
            }
        } catch (const velorix::scan::EPlatformError&) {
        }
    }
    return 0;
}
