#pragma once
// The link between the program and its scanner worker: text messages one a line, fields
// separated by tabs and percent-encoded, over the worker's standard input and output; pictures
// in shared memory. Nothing here relies on fork or on Unix sockets, so a Windows build maps it
// to a child process with pipes and a named file mapping.

#include <QImage>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velorix::scan::worker {

using Fields = std::vector<std::string>;

// One message as a line (with its newline) and back; fields hold any bytes.
std::string EncodeLine(const Fields& fields);
Fields DecodeLine(const std::string& line);

// A block of shared memory that becomes the page's picture. The worker creates it under a fresh
// name and fills it; the program opens it by that name and removes the name at once, so nothing
// is left behind once both have let go, whichever ends first.
class SharedBlock {
public:
    // Worker side: a new block holding size bytes of data, written through its descriptor
    // rather than a mapping of our own (the system copies through its own large pages, where
    // the first touch of each small page of a fresh mapping is slow on virtual machines).
    // named(name) is called once it has its size, before it is filled. Returns the name; raises
    // EPlatformError when no block can be made.
    static std::string Publish(const unsigned char* data, std::size_t size,
                               const std::function<void(const std::string&)>& named);
    // Program side: the block of that name, whose name is removed; raises when it is not there
    // or smaller than size.
    static std::unique_ptr<SharedBlock> Open(const std::string& name, std::size_t size);
    // Removes a name whose block was never opened (its worker died in between).
    static void Discard(const std::string& name);
    // Removes this user's blocks whose worker has ended: a worker killed between making a block
    // and handing it over, with its program gone too, leaves one behind. Names carry the
    // worker's process id for this.
    static void SweepOrphans();
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    const std::string& Name() const { return name_; }
    unsigned char* Data() const { return data_; }
    std::size_t Size() const { return size_; }

    // A picture over the block, which it keeps mapped as long as any copy of it lives.
    static QImage Picture(std::unique_ptr<SharedBlock> block, int width, int height,
                          qsizetype bytesPerLine, QImage::Format format);

private:
    SharedBlock(std::string name, unsigned char* data, std::size_t size)
        : name_(std::move(name)), data_(data), size_(size) {}
    std::string name_;
    unsigned char* data_;
    std::size_t size_;
};

} // namespace velorix::scan::worker
