#include "workpool/WorkPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace pdfwork {

struct TWorkPool::Impl {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    std::deque<std::function<void()>> pieces;
    std::deque<std::function<void()>> background;
    std::size_t backgroundRunning = 0;
    std::vector<std::thread> threads;
    bool stopping = false;

    // Every post: the queue it joins, at its front or back, then one worker woken.
    void Enqueue(std::deque<std::function<void()>>& queue, std::function<void()> task,
                 bool front = false) {
        {
            std::lock_guard lock(mutex);
            if (front)
                queue.push_front(std::move(task));
            else
                queue.push_back(std::move(task));
        }
        wake.notify_one();
    }

    bool BackgroundMayStart() const {
        return !background.empty() &&
               (threads.size() < 2 || backgroundRunning + 1 < threads.size());
    }

    void Run() {
        for (;;) {
            std::function<void()> task;
            bool isBackground = false;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] {
                    return stopping || !tasks.empty() || !pieces.empty() || BackgroundMayStart();
                });
                if (!tasks.empty()) {
                    task = std::move(tasks.front());
                    tasks.pop_front();
                } else if (!pieces.empty()) { // run while stopping too: their caller waits
                    task = std::move(pieces.front());
                    pieces.pop_front();
                } else if (!stopping && BackgroundMayStart()) {
                    task = std::move(background.front());
                    background.pop_front();
                    isBackground = true;
                    ++backgroundRunning;
                } else {
                    return; // stopping: background work left over is dropped with the pool
                }
            }
            task();
            if (isBackground) {
                {
                    std::lock_guard lock(mutex);
                    --backgroundRunning;
                }
                wake.notify_all(); // a background task held back may start now
            }
        }
    }
};

TWorkPool::TWorkPool(int threads) : impl_(std::make_unique<Impl>()) {
    const int n = std::max(1, threads);
    impl_->threads.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        impl_->threads.emplace_back([this] { impl_->Run(); });
}

TWorkPool::~TWorkPool() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake.notify_all();
    for (std::thread& t : impl_->threads)
        t.join();
}

int TWorkPool::ThreadCount() const {
    return static_cast<int>(impl_->threads.size());
}

namespace {

std::atomic<int> failingPosts{0};

void ThrowIfFailing() {
    int left = failingPosts.load();
    while (left > 0) {
        if (failingPosts.compare_exchange_weak(left, left - 1))
            throw std::bad_alloc();
    }
}

std::mutex sharedMutex;
std::unique_ptr<TWorkPool> sharedPool;

} // namespace

void TWorkPool::Post(std::function<void()> task) {
    ThrowIfFailing();
    impl_->Enqueue(impl_->tasks, std::move(task));
}

void TWorkPool::PostFirst(std::function<void()> task) {
    ThrowIfFailing();
    impl_->Enqueue(impl_->tasks, std::move(task), true);
}

void TWorkPool::PostBackground(std::function<void()> task) {
    ThrowIfFailing();
    impl_->Enqueue(impl_->background, std::move(task));
}

void TWorkPool::PostPiece(std::function<void()> task) {
    ThrowIfFailing();
    impl_->Enqueue(impl_->pieces, std::move(task));
}

TWorkPool& TWorkPool::Shared() {
    std::lock_guard lock(sharedMutex);
    if (sharedPool == nullptr)
        sharedPool = std::make_unique<TWorkPool>(
            static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    return *sharedPool;
}

void TWorkPool::StopShared() {
    std::unique_ptr<TWorkPool> pool;
    {
        std::lock_guard lock(sharedMutex);
        pool = std::move(sharedPool);
    }
    pool.reset(); // the destructor runs every queued task, then joins
}

void TWorkPool::FailNextPosts(int count) {
    failingPosts = std::max(0, count);
}

namespace {

// Shared between the caller and the helpers; a helper that starts late finds nothing left.
struct TLoop {
    std::size_t count = 0;
    const std::function<void(std::size_t)>* body = nullptr;
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t next = 0;
    std::size_t running = 0;
    std::exception_ptr failure;

    bool Over() const { return running == 0 && (next >= count || failure); }

    // Runs up to `most` indices; true when some are left.
    bool Work(std::size_t most = SIZE_MAX) {
        std::unique_lock lock(mutex);
        for (std::size_t done = 0; done < most && next < count && !failure; ++done) {
            const std::size_t i = next++;
            ++running;
            lock.unlock();
            std::exception_ptr error;
            try {
                (*body)(i);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            --running;
            if (error && !failure)
                failure = error;
        }
        if (Over())
            finished.notify_all();
        return next < count && !failure;
    }

    void Await() {
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return Over(); });
        if (failure)
            std::rethrow_exception(failure);
    }
};

// One index, then back to the queue behind whatever was posted meanwhile.
void PostPieceOf(TWorkPool& pool, const std::shared_ptr<TLoop>& loop) {
    try {
        pool.PostPiece([&pool, loop] {
            if (loop->Work(1))
                PostPieceOf(pool, loop);
        });
    } catch (const std::exception&) {
        // One helper fewer: the caller takes its indices.
    }
}

} // namespace

void ParallelFor(TWorkPool& pool, std::size_t count, const std::function<void(std::size_t)>& body) {
    if (count == 0)
        return;
    auto loop = std::make_shared<TLoop>();
    loop->count = count;
    loop->body = &body;
    const std::size_t helpers = std::min(count - 1, static_cast<std::size_t>(pool.ThreadCount()));
    // Helpers keep the loop alive; body is used only by indices taken before we return. A helper
    // that cannot be posted is not needed: the caller takes its indices.
    try {
        for (std::size_t h = 0; h < helpers; ++h)
            pool.PostFirst([loop] { loop->Work(); });
    } catch (const std::exception&) {
    }
    loop->Work();
    loop->Await();
}

void ParallelPieces(TWorkPool& pool, std::size_t count,
                    const std::function<void(std::size_t)>& body) {
    if (count == 0)
        return;
    auto loop = std::make_shared<TLoop>();
    loop->count = count;
    loop->body = &body;
    const std::size_t helpers = std::min(count - 1, static_cast<std::size_t>(pool.ThreadCount()));
    for (std::size_t h = 0; h < helpers; ++h)
        PostPieceOf(pool, loop);
    loop->Work();
    loop->Await();
}

} // namespace pdfwork
