#pragma once
// A block of shared memory that becomes a scanned page's picture, made by the scanner worker and
// taken over by the program. Plain C++ only: the Windows build compiles it without Qt.
//
// On Linux a block is a POSIX shared memory object with a fresh name carrying the worker's
// process id. On Windows it is a section backed by the page file, which lives only as long as a
// handle to it does: the worker gives the program a handle of its own (DuplicateHandle into the
// program's process), and the name is that handle's value with a random tag that the block also
// carries, so that the program never maps for writing nor closes a handle that was not given.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace velorix::scan::worker {

// Raises the failure of a block with its French message. The program's side defines it to raise
// its scanner layer's error; a build without that layer defines its own.
[[noreturn]] void RaiseBlockError(const std::string& message);

class SharedBlock {
public:
    // Worker side: the program that takes the blocks over (its process id, from the worker's
    // command line). Windows needs it to hand the handle over; Linux names are found by anyone of
    // the same user, so it is not used there.
    static void SetReceiver(unsigned long processId);
    // Worker side: a new block holding size bytes of data. named(name) is called once it has its
    // size, before it is filled. Returns the name; raises when no block can be made.
    static std::string Publish(const unsigned char* data, std::size_t size,
                               const std::function<void(const std::string&)>& named);
    // Program side: the block of that name, whose name is removed at once; raises when it is not
    // there, smaller than size, or (Linux) not this user's own with mode 0600.
    static std::unique_ptr<SharedBlock> Open(const std::string& name, std::size_t size);
    // Removes a name whose block was never opened (its worker died in between).
    static void Discard(const std::string& name);
    // Removes this user's blocks whose worker has ended: a worker killed between making a block
    // and handing it over, with its program gone too, leaves one behind (Linux; on Windows the
    // system frees a section with the last process holding it).
    static void SweepOrphans();
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    const std::string& Name() const { return name_; }
    std::size_t Size() const { return size_; }
    // Program side: copies size bytes at offset into dest, the page's own memory; raises when
    // the block no longer holds them. On Linux the bytes are read, never mapped: a worker that
    // shrinks its block afterwards cannot fault the program.
    void Read(unsigned char* dest, std::size_t offset, std::size_t size) const;
#ifdef _WIN32
    // A section cannot shrink: the program's view of it is safe to use.
    unsigned char* Data() const {
        return data_;
    }
#endif

private:
    SharedBlock(std::string name, void* view, unsigned char* data, std::size_t size, int fd = -1)
        : name_(std::move(name)), view_(view), data_(data), size_(size), fd_(fd) {}
    std::string name_;
    void* view_; // the mapping as the system gave it, which data_ lies in (Windows)
    unsigned char* data_;
    std::size_t size_;
    int fd_; // the open block (Linux)
};

} // namespace velorix::scan::worker
