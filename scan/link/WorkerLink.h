#pragma once
// The link between the program and its scanner worker: text messages one a line, fields
// separated by tabs and percent-encoded, over the worker's standard input and output; pictures
// in shared memory (SharedBlock.h). Nothing here relies on fork or on Unix sockets, so a
// Windows build maps it to a child process with pipes and a section handed over by handle.

#include "SharedBlock.h"

#include <QImage>

#include <memory>
#include <string>
#include <vector>

namespace velorix::scan::worker {

using Fields = std::vector<std::string>;

// One message as a line (with its newline) and back; fields hold any bytes.
std::string EncodeLine(const Fields& fields);
Fields DecodeLine(const std::string& line);

// A picture over the block, which it keeps mapped as long as any copy of it lives.
QImage BlockPicture(std::unique_ptr<SharedBlock> block, int width, int height,
                    qsizetype bytesPerLine, QImage::Format format);

} // namespace velorix::scan::worker
