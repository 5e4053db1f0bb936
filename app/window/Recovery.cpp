#include "app/window/Recovery.h"

#include "imaging/PdfPictures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace velorix {

namespace {

const QString kList = QStringLiteral("pages");
const QByteArray kMagic = "VXRP1";
constexpr int kMaxPages = 10000;

// The start of a process in clock ticks since boot, from /proc; 0 when it is gone. A process id
// alone may be taken again by another process once the first has ended.
qint64 ProcessStart(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The command name may hold spaces and parentheses: fields are counted after its last ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return fields.size() > 19 ? fields[19].toLongLong() : 0; // field 22 of the line
}

bool MakePrivateFolder(const QString& path) {
    if (!QDir().mkpath(path))
        return false;
    return ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

QString PictureName(std::uint64_t id) {
    return QStringLiteral("p%1").arg(id);
}

// A picture as the writer keeps it: a header, then its rows deflated quickly.
bool WritePicture(const QString& path, const QImage& picture, QString* error) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    QByteArray rows;
    rows.reserve(qsizetype(rgb.width()) * 3 * rgb.height());
    for (int y = 0; y < rgb.height(); ++y)
        rows.append(reinterpret_cast<const char*>(rgb.constScanLine(y)),
                    qsizetype(rgb.width()) * 3);
    uLongf size = compressBound(uLong(rows.size()));
    QByteArray packed(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(rows.constData()), uLong(rows.size()), 1) != Z_OK)
        return false;
    packed.resize(qsizetype(size));
    QSaveFile out(path);
    const QByteArray header = kMagic + ' ' + QByteArray::number(rgb.width()) + ' ' +
                              QByteArray::number(rgb.height()) + '\n';
    if (!out.open(QIODevice::WriteOnly) || out.write(header) != header.size() ||
        out.write(packed) != packed.size() || !out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

std::optional<QImage> ReadPicture(const QString& path) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly) || in.size() > (qint64(1) << 31))
        return std::nullopt;
    const QByteArray header = in.readLine(64);
    const QList<QByteArray> words = header.trimmed().split(' ');
    if (words.size() != 3 || words[0] != kMagic)
        return std::nullopt;
    bool okW = false, okH = false;
    const qint64 w = words[1].toLongLong(&okW), h = words[2].toLongLong(&okH);
    if (!okW || !okH || w < 1 || h < 1 || w > imaging::kMaxPictureSide ||
        h > imaging::kMaxPictureSide || w * h > imaging::kMaxPicturePixels)
        return std::nullopt;
    const QByteArray packed = in.readAll();
    QImage image(int(w), int(h), QImage::Format_RGB888);
    if (image.isNull())
        return std::nullopt;
    QByteArray rows(qsizetype(w * h * 3), Qt::Uninitialized);
    uLongf size = uLongf(rows.size());
    if (uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                   reinterpret_cast<const Bytef*>(packed.constData()),
                   uLong(packed.size())) != Z_OK ||
        size != uLongf(rows.size()))
        return std::nullopt;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), rows.constData() + qsizetype(y) * w * 3, std::size_t(w * 3));
    return image;
}

struct ListEntry {
    QString file;
    bool visible = true;
    bool stretch = true;
};

std::vector<ListEntry> ReadList(const QString& folder) {
    std::vector<ListEntry> entries;
    QFile list(QDir(folder).filePath(kList));
    if (!list.open(QIODevice::ReadOnly) || list.size() > 1 << 20)
        return entries;
    while (!list.atEnd() && int(entries.size()) < kMaxPages) {
        const QList<QByteArray> words = list.readLine(256).trimmed().split(' ');
        if (words.size() != 3)
            continue;
        const QString file = QString::fromLatin1(words[0]);
        // Only the writer's own names: nothing outside the folder is ever read.
        if (!file.startsWith(QLatin1Char('p')) || file.size() > 24 ||
            !std::all_of(file.begin() + 1, file.end(), [](QChar c) { return c.isDigit(); }))
            continue;
        entries.push_back({file, words[1] == "1", words[2] == "1"});
    }
    return entries;
}

} // namespace

TRecovery::TRecovery(const QString& root, std::function<void(const QString&)> failed)
    : failed_(std::move(failed)) {
    const qint64 pid = QCoreApplication::applicationPid();
    folder_ = QDir(root).filePath(QStringLiteral("%1-%2").arg(pid).arg(ProcessStart(pid)));
    if (!MakePrivateFolder(QFileInfo(root).absoluteFilePath()) || !MakePrivateFolder(folder_))
        broken_ = true;
    writer_ = std::thread([this] { Run(); });
}

TRecovery::~TRecovery() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

bool TRecovery::Working() const {
    const std::lock_guard lock(mutex_);
    return !broken_;
}

void TRecovery::Keep(std::vector<RecoveredPage> pages) {
    std::vector<Kept> kept;
    std::vector<std::pair<qint64, std::uint64_t>> ids;
    for (RecoveredPage& page : pages) {
        const qint64 key = page.picture.cacheKey();
        auto it =
            std::find_if(ids_.begin(), ids_.end(), [&](const auto& e) { return e.first == key; });
        const std::uint64_t id = it != ids_.end() ? it->second : nextId_++;
        ids.emplace_back(key, id);
        kept.push_back({id, std::move(page)});
    }
    ids_ = std::move(ids); // pictures no page holds any more are forgotten
    {
        const std::lock_guard lock(mutex_);
        if (broken_)
            return;
        pending_ = std::move(kept); // an older state not written yet is never needed
    }
    wake_.notify_all();
}

void TRecovery::Flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return (!pending_ && !busy_) || broken_; });
}

void TRecovery::Finish() {
    Flush();
    {
        const std::lock_guard lock(mutex_);
        broken_ = true; // nothing more is written
    }
    Remove(folder_);
}

void TRecovery::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_; });
        if (stop_)
            return;
        std::vector<Kept> pages = std::move(*pending_);
        pending_.reset();
        busy_ = true;
        lock.unlock();
        const bool ok = Write(pages);
        lock.lock();
        busy_ = false;
        if (!ok && !broken_) {
            broken_ = true;
            pending_.reset();
        }
        idle_.notify_all();
    }
}

bool TRecovery::Write(const std::vector<Kept>& pages) {
    QString error;
    const QDir dir(folder_);
    std::vector<std::pair<qint64, std::uint64_t>> written;
    for (const Kept& kept : pages) {
        const qint64 key = kept.page.picture.cacheKey();
        const bool done = std::any_of(written_.begin(), written_.end(),
                                      [&](const auto& e) { return e.second == kept.id; });
        if (!done && !WritePicture(dir.filePath(PictureName(kept.id)), kept.page.picture, &error)) {
            failed_(error.isEmpty() ? QStringLiteral("écriture impossible") : error);
            return false;
        }
        written.emplace_back(key, kept.id);
    }
    QByteArray list;
    for (const Kept& kept : pages)
        list += PictureName(kept.id).toLatin1() + (kept.page.visible ? " 1 " : " 0 ") +
                (kept.page.stretch ? "1\n" : "0\n");
    QSaveFile out(dir.filePath(kList));
    if (!out.open(QIODevice::WriteOnly) || out.write(list) != list.size() || !out.commit()) {
        failed_(out.errorString());
        return false;
    }
    // The pictures that no page names any more.
    for (const auto& [key, id] : written_)
        if (std::none_of(written.begin(), written.end(),
                         [&](const auto& e) { return e.second == id; }))
            QFile::remove(dir.filePath(PictureName(id)));
    written_ = std::move(written);
    return true;
}

std::vector<QString> TRecovery::Abandoned(const QString& root) {
    std::vector<std::pair<QDateTime, QString>> found;
    const QDir dir(root);
    for (const QFileInfo& entry :
         dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        const QStringList parts = entry.fileName().split(QLatin1Char('-'));
        bool okPid = false, okStart = false;
        const qint64 pid = parts.size() == 2 ? parts[0].toLongLong(&okPid) : 0;
        const qint64 start = parts.size() == 2 ? parts[1].toLongLong(&okStart) : 0;
        if (!okPid || !okStart || pid <= 0)
            continue;
        if (entry.ownerId() != ::getuid())
            continue; // never another user's pages
        if (ProcessStart(pid) == start && start != 0)
            continue; // that session still runs
        found.emplace_back(entry.lastModified(), entry.absoluteFilePath());
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<QString> out;
    for (auto& f : found)
        out.push_back(f.second);
    return out;
}

int TRecovery::PageCount(const QString& folder) {
    return int(ReadList(folder).size());
}

std::vector<RecoveredPage> TRecovery::Read(const QString& folder, int* unreadable) {
    std::vector<RecoveredPage> pages;
    int bad = 0;
    for (const ListEntry& entry : ReadList(folder)) {
        if (std::optional<QImage> picture = ReadPicture(QDir(folder).filePath(entry.file)))
            pages.push_back({*picture, entry.visible, entry.stretch});
        else
            ++bad;
    }
    if (unreadable)
        *unreadable = bad;
    return pages;
}

void TRecovery::Remove(const QString& folder) {
    // Only the files the writer makes, so that a link placed there leads nowhere.
    QDir dir(folder);
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(file.absoluteFilePath());
    QDir().rmdir(folder);
}

} // namespace velorix
