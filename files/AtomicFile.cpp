#include "files/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velorix::files {

QString SystemErrorText(int error) {
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("Plus de place : disque plein (ou quota atteint).");
    case EIO:
        return QStringLiteral("Le disque a signalé une erreur d'entrée-sortie.");
    case EROFS:
        return QStringLiteral("Le disque est en lecture seule.");
    case EACCES:
    case EPERM:
        return QStringLiteral("Accès refusé.");
    case ENOENT:
        return QStringLiteral("Le dossier n'existe pas.");
    case ENOTDIR:
        return QStringLiteral("Un élément du chemin n'est pas un dossier.");
    case EISDIR:
        return QStringLiteral("Un dossier porte ce nom.");
    case ENAMETOOLONG:
        return QStringLiteral("Le nom est trop long.");
    case EFBIG:
        return QStringLiteral("Le fichier dépasse la taille permise.");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("Le fichier est occupé.");
    default:
        break;
    }
    return QStringLiteral("Erreur du système %1 (%2).")
        .arg(error)
        .arg(QString::fromLocal8Bit(std::strerror(error)));
}

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;

// Syncs a folder's entries; file systems that cannot sync a folder say EINVAL.
int syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL)
        error = errno;
    ::close(fd);
    return error;
}

QByteArray randomName(const char* suffix) {
    return ".velorix-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + suffix;
}

} // namespace

TAtomicFile::TAtomicFile(QString target) : target_(std::move(target)) {}

TAtomicFile::~TAtomicFile() {
    Cancel();
}

bool TAtomicFile::fail(EStage stage, int error) {
    stage_ = stage;
    error_ = SystemErrorText(error);
    dropTemporary();
    return false;
}

void TAtomicFile::dropTemporary() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.isEmpty()) {
        ::unlink(temporary_.constData());
        temporary_.clear();
    }
    buffer_.clear();
}

void TAtomicFile::Cancel() {
    dropTemporary();
}

bool TAtomicFile::Open() {
    stage_ = EStage::None;
    error_.clear();
    synced_ = false;
    const QFileInfo info(target_);
    // A link is followed, as an editor saving through it would: the file it names is replaced.
    const QString resolved = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    path_ = QFile::encodeName(resolved);
    folder_ = QFile::encodeName(QFileInfo(resolved).absolutePath());
    struct stat old {};
    const bool replacing = ::stat(path_.constData(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return fail(EStage::Create, EISDIR);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = folder_ + '/' + randomName(".tmp");
        fd_ = ::open(temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        return fail(EStage::Create, error);
    }
    // The new file keeps the old one's permissions.
    if (replacing && ::fchmod(fd_, old.st_mode & 07777) != 0)
        return fail(EStage::Create, errno);
    buffer_.reserve(static_cast<qsizetype>(kBufferSize));
    return true;
}

bool TAtomicFile::flushBuffer() {
    const char* data = buffer_.constData();
    std::size_t left = static_cast<std::size_t>(buffer_.size());
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(EStage::Write, errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    buffer_.resize(0);
    return true;
}

bool TAtomicFile::Write(const char* data, std::size_t size) {
    if (fd_ < 0)
        return stage_ != EStage::None ? false : fail(EStage::Write, EBADF);
    if (static_cast<std::size_t>(buffer_.size()) + size > kBufferSize && !flushBuffer())
        return false;
    if (size >= kBufferSize) {
        buffer_ = QByteArray::fromRawData(data, static_cast<qsizetype>(size));
        const bool done = flushBuffer();
        buffer_ = QByteArray();
        buffer_.reserve(static_cast<qsizetype>(kBufferSize));
        return done;
    }
    buffer_.append(data, static_cast<qsizetype>(size));
    return true;
}

bool TAtomicFile::Sync() {
    if (fd_ < 0)
        return stage_ != EStage::None ? false : fail(EStage::Write, EBADF);
    if (!flushBuffer())
        return false;
    if (::fsync(fd_) != 0)
        return fail(EStage::Write, errno);
    synced_ = true;
    return true;
}

bool TAtomicFile::Commit() {
    if (!synced_ && !Sync())
        return false;
    // Some network file systems report a lost write only when the file is closed.
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR)
        return fail(EStage::Write, errno);
    // The old file stays reachable under a second name until the new one is confirmed in the
    // folder, so that a folder that refuses its sync gets it back. Where the file system has
    // no hard links, the folder's sync is still checked but cannot undo the rename.
    QByteArray backup;
    struct stat old {};
    if (::lstat(path_.constData(), &old) == 0) {
        backup = folder_ + '/' + randomName(".old");
        if (::link(path_.constData(), backup.constData()) != 0)
            backup.clear();
    }
    if (::rename(temporary_.constData(), path_.constData()) != 0) {
        const int error = errno;
        if (!backup.isEmpty())
            ::unlink(backup.constData());
        return fail(EStage::Create, error);
    }
    temporary_.clear();
    if (const int error = syncFolder(folder_); error != 0) {
        if (!backup.isEmpty() && ::rename(backup.constData(), path_.constData()) != 0)
            ::unlink(backup.constData());
        else if (backup.isEmpty() && old.st_nlink == 0)
            ::unlink(path_.constData()); // there was no old file: the unconfirmed one goes
        return fail(EStage::Write, error);
    }
    if (!backup.isEmpty())
        ::unlink(backup.constData());
    return true;
}

} // namespace velorix::files
