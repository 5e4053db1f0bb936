#pragma once
// What the program reads in the worker's answers, checked as input from another process: the
// property table, a listed scanner, a page's geometry and pixels. No process here, so that a
// fuzzer reaches all of it.

#include "scan/link/WorkerLink.h"

#include <QImage>

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace velorix::scan::worker {

// One property as the worker last told it.
struct Known {
    std::string kind;  // "i", "s", "n", or "e" for a value that could not be read
    std::string value; // the value, or the message of "e"
    bool readOnly = true;
};
using Table = std::map<std::pair<std::string, std::string>, Known>; // (scope, id)

// The table that is the answer to "open", "set" and "table": five fields a property (scope,
// id, kind, value, read-only). Raises on anything else.
Table TableFrom(const Fields& args);

struct Listed {
    std::string name, vendor, model, type;
    std::string shown; // the name as shown, when known without a listing
    std::string Shown() const {
        return shown.empty() ? vendor + " " + model + " (" + name + ")" : shown;
    }
};
// A "device" message's scanner; nothing when it is not one.
std::optional<Listed> DeviceFrom(const Fields& args);

// The size in bytes a "block" message announces; raises when it is no size.
std::size_t BlockSizeFrom(const Fields& args);

// Copies size bytes at offset of the page's block to dest; raises when they are not all there.
using BlockReader = std::function<void(unsigned char* dest, std::size_t offset, std::size_t size)>;

// The page of a "picture" message (width, height, bytes a row, format, dots per metre
// across and down), its rows read out of a block of blockSize bytes into memory of the
// program's own. Raises "Image scannée invalide" on a geometry that does not hold together or
// does not fit in the block.
QImage PictureFrom(const Fields& args, std::size_t blockSize, const BlockReader& read);

} // namespace velorix::scan::worker
