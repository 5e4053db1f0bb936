// A small file system of our own (a tmpfs mounted on a temporary folder), to be filled up or
// made read-only while the program writes into it. Mounting needs root; where the machine
// refuses, mounted() is false and the test skips.
#pragma once

#include "tests/RealFork.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace velorix::testing {

class SmallDisk {
public:
    explicit SmallDisk(int kibibytes) {
        mounted_ =
            dir_.isValid() && run({"-t", "tmpfs", "-o", QStringLiteral("size=%1k").arg(kibibytes),
                                   "tmpfs", dir_.path()});
    }
    ~SmallDisk() {
        if (mounted_)
            RunForked(QStringLiteral("umount"), {dir_.path()});
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QStringList entries() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

    // Takes every free byte left, in a file of its own.
    void fill() const {
        const int fd = ::open(QFile::encodeName(path(QStringLiteral("filler"))).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const QByteArray block(4096, 'f');
        while (fd >= 0 && ::write(fd, block.constData(), block.size()) > 0) {
        }
        if (fd >= 0)
            ::close(fd);
    }
    bool makeReadOnly() { return run({"-o", "remount,ro", dir_.path()}); }

private:
    static bool run(const QStringList& args) {
        return RunForked(QStringLiteral("mount"), args) == 0;
    }

    QTemporaryDir dir_;
    bool mounted_ = false;
};

} // namespace velorix::testing
