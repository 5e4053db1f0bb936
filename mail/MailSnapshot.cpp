#include "mail/MailSnapshot.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velorix::mail {

namespace {

// "20261208T214500Z-1": the creation time in UTC, then a counter that keeps names apart.
const QString kStampFormat = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");
constexpr int kKeepDays = 7;
// Deeper than any snapshot: a tree this deep was not made by us.
constexpr int kMaxDepth = 8;

// Closes a descriptor at the end of its scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Closes now, reporting a failed close (a write the disk refused late).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Makes every missing folder of `path` readable by the user alone; folders that exist keep
// their modes (a ~/.cache that is a link to another disk is followed, as the user meant).
bool makePrivatePath(const QByteArray& path) {
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        if (::mkdir(path.left(i).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// The snapshot folder itself, never a link put in its place, and only when it belongs to us. Its
// parent (the downloads folder, often a link to another disk) may be a link of the user's own,
// which is followed; a link someone else made there is not.
int openBase(const QString& base) {
    const QByteArray parent = QFile::encodeName(QFileInfo(base).path());
    const QByteArray name = QFile::encodeName(QFileInfo(base).fileName());
    struct stat st {};
    if (::lstat(parent.constData(), &st) != 0 || (S_ISLNK(st.st_mode) && st.st_uid != ::geteuid()))
        return -1;
    Fd parentFd(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.ok())
        return -1;
    Fd fd(::openat(parentFd.get(), name.constData(),
                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid())
        return -1;
    return ::dup(fd.get());
}

std::vector<std::string> entryNames(int dirFd) {
    std::vector<std::string> names;
    const int copy = ::dup(dirFd);
    if (copy < 0)
        return names;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// Empties and removes the folder `name` of `parentFd`. Links and files inside are removed
// themselves, never what they point to; sub-folders are opened without following a link.
bool removeTree(int parentFd, const std::string& name, int depth) {
    if (depth > kMaxDepth)
        return false;
    Fd dir(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.ok())
        return false;
    for (const std::string& entry : entryNames(dir.get())) {
        struct stat st {};
        if (::fstatat(dir.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            removeTree(dir.get(), entry, depth + 1);
        else
            ::unlinkat(dir.get(), entry.c_str(), 0);
    }
    return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
}

bool copyAll(int in, int out) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += put;
        }
    }
}

// Copies `in` into a new file `name` of `dirFd`, readable by the user alone.
bool writeCopy(int in, int dirFd, const QByteArray& name) {
    Fd out(::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0400));
    // The umask may only take bits away; the exact mode is set on the open file.
    if (!out.ok())
        return false;
    const bool copied = ::fchmod(out.get(), 0400) == 0 && copyAll(in, out.get());
    return out.close() && copied;
}

} // namespace

QString MailSnapshotBase() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/velorix/mail");
}

QString SandboxMailSnapshotBase() {
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) +
           QStringLiteral("/velorix-mail");
}

QString SnapshotForMail(const QString& source, const QString& base, const QDateTime& now) {
    Fd in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.ok() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    if (!makePrivatePath(QFile::encodeName(base)))
        return {};
    Fd baseFd(openBase(base));
    if (!baseFd.ok())
        return {};
    // Ours: a folder left 0755 by an older version closes too.
    ::fchmod(baseFd.get(), 0700);

    const QString fileName = QFileInfo(source).fileName();
    const QString stamp = now.toUTC().toString(kStampFormat);
    for (int n = 1; n < 10000; ++n) {
        const QString name = QStringLiteral("%1-%2").arg(stamp).arg(n);
        const QByteArray folder = name.toLatin1();
        // mkdir fails on an existing folder, so two hand-overs never share one.
        if (::mkdirat(baseFd.get(), folder.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        Fd dir(::openat(baseFd.get(), folder.constData(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (dir.ok() && ::fchmod(dir.get(), 0700) == 0 &&
            writeCopy(in.get(), dir.get(), QFile::encodeName(fileName)))
            return base + QLatin1Char('/') + name + QLatin1Char('/') + fileName;
        removeTree(baseFd.get(), folder.toStdString(), 0);
        return {};
    }
    return {};
}

void PruneMailSnapshots(const QString& base, const QDateTime& now) {
    static const QRegularExpression ours(QStringLiteral("^(\\d{8}T\\d{6}Z)-\\d+$"));
    const QDateTime limit = now.toUTC().addDays(-kKeepDays);
    Fd baseFd(openBase(base));
    if (!baseFd.ok())
        return;
    for (const std::string& entry : entryNames(baseFd.get())) {
        const QRegularExpressionMatch match = ours.match(QString::fromStdString(entry));
        if (!match.hasMatch())
            continue;
        // A link named like a snapshot is not one: neither it nor its target is touched.
        struct stat st {};
        if (::fstatat(baseFd.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        QDateTime made = QDateTime::fromString(match.captured(1), kStampFormat);
        made.setTimeSpec(Qt::UTC);
        if (made.isValid() && made < limit)
            removeTree(baseFd.get(), entry, 0);
    }
}

} // namespace velorix::mail
