// Worker threads shared by everything that compresses: one per core, started on first use.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace pdfwork {

// A fixed set of threads taking tasks in the order they were posted, background ones last.
class TWorkPool {
public:
    explicit TWorkPool(int threads);
    ~TWorkPool();
    TWorkPool(const TWorkPool&) = delete;
    TWorkPool& operator=(const TWorkPool&) = delete;

    int ThreadCount() const;
    // Runs task on a worker some time later. A task must not throw. Posting itself may throw
    // (a queue that cannot grow): the task is then not queued.
    void Post(std::function<void()> task);
    // As Post, ahead of every task not started yet.
    void PostFirst(std::function<void()> task);
    // The same below every posted task: taken only when none waits, and never by the last free
    // worker of a pool of two or more, so that long background work (text recognition) never
    // delays a compression.
    void PostBackground(std::function<void()> task);
    // A short piece of background work already under way (a line of a page's text, which an
    // export may be waiting for): after every posted task, ahead of PostBackground's, and taken by
    // any idle worker, the last one included, since it holds it only briefly.
    void PostPiece(std::function<void()> task);

    // The pool sized to the machine's cores, started on first use.
    static TWorkPool& Shared();
    // Runs what the shared pool has queued and ends its threads: called before the program's
    // own globals (Qt's) go, so that no task outlives them. A later Shared() starts a new one.
    static void StopShared();
    // For tests: the next count posts to any pool throw std::bad_alloc.
    static void FailNextPosts(int count);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Runs body(0) .. body(count - 1), each once, on the calling thread and on up to helpers idle
// workers of pool, and returns when all are done. The caller takes indices itself, so this never
// waits on a busy pool and may be called from a worker; the helpers go ahead of the queued
// tasks, so that a part the caller waits for gets the next free workers. The first exception thrown
// by a body is rethrown here once every started body has ended; the remaining indices are skipped.
void ParallelFor(TWorkPool& pool, std::size_t count, const std::function<void(std::size_t)>& body);

// The same for background work made of short parts: the helpers are pieces (PostPiece) taking one
// index each and posting themselves again, so that between two parts a posted task goes first and
// every idle worker, the last one included, may help.
void ParallelPieces(TWorkPool& pool, std::size_t count,
                    const std::function<void(std::size_t)>& body);

} // namespace pdfwork
