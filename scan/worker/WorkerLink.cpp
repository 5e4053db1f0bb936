#include "WorkerLink.h"

#include "../ScanPlatform.h"

#include <QByteArray>

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

namespace {
std::string FreshName() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return "/velorix-scan-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(random());
}
} // namespace

std::string SharedBlock::Publish(const unsigned char* data, std::size_t size,
                                 const std::function<void(const std::string&)>& named) {
    const std::string name = FreshName();
    const int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        throw EPlatformError(std::string("Mémoire partagée indisponible : ") +
                             std::strerror(errno));
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
        throw EPlatformError("Mémoire insuffisante pour l'image scannée");
    }
    return name;
}

std::unique_ptr<SharedBlock> SharedBlock::Open(const std::string& name, std::size_t size) {
    if (name.rfind("/velorix-scan-", 0) != 0 || name.find('/', 1) != std::string::npos)
        throw EPlatformError("Mémoire partagée inconnue");
    const int fd = ::shm_open(name.c_str(), O_RDWR, 0600);
    if (fd < 0)
        throw EPlatformError("Mémoire partagée introuvable");
    ::shm_unlink(name.c_str());
    struct stat st {};
    const std::size_t mapped = std::max<std::size_t>(size, 1);
    void* data = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && static_cast<std::size_t>(st.st_size) >= mapped)
        data = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (data == MAP_FAILED)
        throw EPlatformError("Mémoire partagée illisible");
    return std::unique_ptr<SharedBlock>(
        new SharedBlock(name, static_cast<unsigned char*>(data), mapped));
}

void SharedBlock::Discard(const std::string& name) {
    if (name.rfind("/velorix-scan-", 0) == 0)
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
    ::munmap(data_, size_);
}

QImage SharedBlock::Picture(std::unique_ptr<SharedBlock> block, int width, int height,
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
