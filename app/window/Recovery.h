#pragma once
// The pages kept on disk for after a crash. Each session has a private folder (0700) under the
// recovery folder, "<pid>-<start>", holding one file per picture and a list of the pages in
// order with their state; a thread of its own writes them behind the window, the newest state
// only, so that neither scanning nor the window ever waits for the disk. A normal close removes
// the folder; a folder whose process is gone is a session that did not end.

#include <QImage>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace velorix {

// One page as it is kept: its picture and what the tab showed.
struct RecoveredPage {
    QImage picture;
    bool visible = true;
    bool stretch = true;
};

class TRecovery {
public:
    // Makes the session's folder under `root`; `failed` is told (on the writer's thread) the
    // first time the disk refuses, after which nothing more is written.
    TRecovery(const QString& root, std::function<void(const QString&)> failed);
    // Stops the writer; the folder stays (a normal close calls Finish first).
    ~TRecovery();
    TRecovery(const TRecovery&) = delete;
    TRecovery& operator=(const TRecovery&) = delete;

    // The page set to keep: taken at once (pictures shared, not copied), written behind.
    void Keep(std::vector<RecoveredPage> pages);
    // Waits until what was kept so far is on disk (tests, and before the folder goes).
    void Flush();
    // The session ended normally: nothing is left behind.
    void Finish();
    bool Working() const;
    QString Folder() const { return folder_; }

    // The folders under root of sessions whose process is gone, newest first.
    static std::vector<QString> Abandoned(const QString& root);
    // The pages a folder holds, in order; the pages whose file is damaged are left out and
    // counted in *unreadable. Empty when its list is missing.
    static std::vector<RecoveredPage> Read(const QString& folder, int* unreadable = nullptr);
    // How many pages its list names (without reading the pictures).
    static int PageCount(const QString& folder);
    static void Remove(const QString& folder);

private:
    struct Kept {
        std::uint64_t id = 0; // the picture's file, "p<id>"
        RecoveredPage page;
    };
    void Run();
    bool Write(const std::vector<Kept>& pages);

    QString folder_;
    std::function<void(const QString&)> failed_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<std::vector<Kept>> pending_;
    bool busy_ = false;
    bool stop_ = false;
    bool broken_ = false;
    // The pictures written, by the key of their pixels: a page unchanged is not written again.
    std::vector<std::pair<qint64, std::uint64_t>> written_; // writer's thread only
    std::vector<std::pair<qint64, std::uint64_t>> ids_;     // window's thread only
    std::uint64_t nextId_ = 1;
    std::thread writer_;
};

} // namespace velorix
