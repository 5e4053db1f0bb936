// A new file that takes the place of the old one only once the system has confirmed every byte:
// written beside it under a temporary name, synced (every sync checked), renamed over it, and
// the folder synced. Qt's save file ignores the failure of its own sync, which is where a full
// quota or a network file system first speaks.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace velorix::files {

// The reason a system call failed, as one French sentence for the user ("disque plein" for a
// full disk or quota).
QString SystemErrorText(int error);

class TAtomicFile {
public:
    // Where the failure happened: the new file could not be made or could not take the old
    // one's place (Create), or its bytes were refused (Write).
    enum class EStage { None, Create, Write };

    explicit TAtomicFile(QString target);
    ~TAtomicFile(); // a new file not committed goes; the old one stays
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Makes the temporary file in the target's folder.
    bool Open();
    // Buffered; one thread at a time.
    bool Write(const char* data, std::size_t size);
    bool Write(const QByteArray& bytes) {
        return Write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    // Writes what is buffered and syncs it; the old file is not touched yet.
    bool Sync();
    // Sync, then the new file replaces the old one and the folder is synced. On failure the new
    // file is gone and the old one as it was.
    bool Commit();
    // Drops the new file.
    void Cancel();

    EStage FailedStage() const { return stage_; }
    QString ErrorString() const { return error_; }

private:
    bool fail(EStage stage, int error);
    bool flushBuffer();
    void dropTemporary();

    QString target_;
    QByteArray path_;   // the file replaced, links followed
    QByteArray folder_; // its folder
    QByteArray temporary_;
    int fd_ = -1;
    bool synced_ = false;
    QByteArray buffer_;
    EStage stage_ = EStage::None;
    QString error_;
};

} // namespace velorix::files
