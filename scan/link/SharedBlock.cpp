// Blocks as POSIX shared memory objects, named "/velorix-scan-PID-N-RANDOM".
#include "scan/link/SharedBlock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velorix::scan::worker {

namespace {
std::string FreshName() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return "/velorix-scan-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(random());
}
} // namespace

void SharedBlock::SetReceiver(unsigned long) {}

std::string SharedBlock::Publish(const unsigned char* data, std::size_t size,
                                 const std::function<void(const std::string&)>& named) {
    const std::string name = FreshName();
    const int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        RaiseBlockError(std::string("Mémoire partagée indisponible : ") + std::strerror(errno));
    ::fchmod(fd, 0600); // the program takes no block with other bits, whatever our umask
    // Written through the descriptor rather than a mapping of our own: the system copies through
    // its own large pages, where the first touch of each small page of a fresh mapping is slow
    // on virtual machines.
    bool written = ::ftruncate(fd, static_cast<off_t>(std::max<std::size_t>(size, 1))) == 0;
    if (written)
        named(name); // at its full size, so the program may open it now
    for (std::size_t done = 0; written && done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (!written) {
        ::shm_unlink(name.c_str());
        RaiseBlockError("Mémoire insuffisante pour l'image scannée");
    }
    return name;
}

std::unique_ptr<SharedBlock> SharedBlock::Open(const std::string& name, std::size_t size) {
    if (name.rfind("/velorix-scan-", 0) != 0 || name.find('/', 1) != std::string::npos)
        RaiseBlockError("Mémoire partagée inconnue");
    const int fd = ::shm_open(name.c_str(), O_RDONLY | O_NOFOLLOW, 0);
    if (fd < 0)
        RaiseBlockError("Mémoire partagée introuvable");
    ::shm_unlink(name.c_str());
    struct stat st {};
    const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                      (st.st_mode & 07777) == 0600;
    if (!ours || static_cast<std::size_t>(st.st_size) < size) {
        ::close(fd);
        RaiseBlockError(ours ? "Mémoire partagée illisible" : "Mémoire partagée d'un autre");
    }
    return std::unique_ptr<SharedBlock>(new SharedBlock(name, nullptr, nullptr, size, fd));
}

void SharedBlock::Read(unsigned char* dest, std::size_t offset, std::size_t size) const {
    if (offset > size_ || size > size_ - offset)
        RaiseBlockError("Image scannée incomplète");
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pread(fd_, dest + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            RaiseBlockError("Image scannée incomplète");
        done += static_cast<std::size_t>(n);
    }
}

void SharedBlock::Discard(const std::string& name) {
    if (name.rfind("/velorix-scan-", 0) == 0 && name.find('/', 1) == std::string::npos)
        ::shm_unlink(name.c_str());
}

void SharedBlock::SweepOrphans() {
    const std::string prefix = "velorix-scan-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(prefix, 0) != 0)
            continue;
        const long long pid = std::atoll(file.c_str() + prefix.size());
        struct stat st {};
        if (pid <= 0 || ::lstat(entry.path().c_str(), &st) != 0 || st.st_uid != ::getuid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::shm_unlink(("/" + file).c_str());
    }
}

SharedBlock::~SharedBlock() {
    ::close(fd_);
}

} // namespace velorix::scan::worker
