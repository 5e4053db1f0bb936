// Deflate on every core: the bytes do not depend on the number of threads, they inflate to the
// input, and the size stays within 1 % of one serial level-9 stream.
#include "pdf/ParallelDeflate.h"
#include "pdf/PdfTypes.h"
#include "tests/pdf/PdfTestUtil.h"
#include "tests/support/ScanLikePage.h"
#include "workpool/WorkPool.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

std::string Compress2(std::string_view data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                             reinterpret_cast<const Bytef*>(data.data()),
                             static_cast<uLong>(data.size()), level);
    EXPECT_EQ(rc, Z_OK);
    out.resize(size);
    return out;
}

// The page as a PDF image stores it: RGB rows without padding.
std::string PagePixels(int page, int width, int height) {
    const QImage rgb =
        velorix::testing::ScanLikePage(page, width, height).convertToFormat(QImage::Format_RGB888);
    std::string bytes;
    for (int y = 0; y < rgb.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)),
                     static_cast<std::size_t>(width) * 3);
    return bytes;
}

TEST(ParallelDeflateTest, ScanLikePageSameBytesOnAnyThreadCountInflatesBackAndStaysSmall) {
    // A6 at 300 dpi: 5.6 MB, some twenty chunks.
    const std::string pixels = PagePixels(2, 1240, 1748);
    pdfwork::TWorkPool one(1);
    pdfwork::TWorkPool four(4);
    const std::string serial = pdfdeflate::Deflate(pixels, 9, &one);
    EXPECT_EQ(pdfdeflate::Deflate(pixels, 9, &four), serial);
    EXPECT_EQ(pdftest::Inflate(serial), pixels);

    const std::string reference = Compress2(pixels, 9);
    EXPECT_LE(static_cast<double>(serial.size()), static_cast<double>(reference.size()) * 1.01)
        << "ours " << serial.size() << ", serial zlib " << reference.size();
}

TEST(ParallelDeflateTest, ChunkEdgesAndLevelsInflateBackAndOneChunkIsPlainZlib) {
    std::string text;
    for (int i = 0; text.size() < 3 * pdfdeflate::kChunkSize + 100; ++i)
        text += "ligne " + std::to_string(i * 7919 % 1000) + " du document\n";
    // One chunk is exactly what zlib makes alone, so small streams keep their old bytes.
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{1000}, pdfdeflate::kChunkSize}) {
        const std::string_view part(text.data(), size);
        EXPECT_EQ(pdfdeflate::Deflate(part), Compress2(part, 9)) << size;
        EXPECT_EQ(pdfdeflate::Deflate(part, 1), Compress2(part, 1)) << size;
    }
    for (std::size_t size : {pdfdeflate::kChunkSize + 1, 2 * pdfdeflate::kChunkSize,
                             3 * pdfdeflate::kChunkSize + 100}) {
        const std::string_view part(text.data(), size);
        for (int level : {0, 1, 6, 9})
            EXPECT_EQ(pdftest::Inflate(pdfdeflate::Deflate(part, level)), part)
                << size << " at level " << level;
    }
    EXPECT_THROW(pdfdeflate::Deflate(text, 10), EPdfException);
}

TEST(ParallelDeflateTest, ParallelForRunsEachIndexOnceNestsAndPassesOnAFailure) {
    pdfwork::TWorkPool pool(2);
    std::vector<std::atomic<int>> runs(100);
    // Nested loops on a pool smaller than the nesting: the callers do the work themselves.
    pdfwork::ParallelFor(pool, 10, [&](std::size_t outer) {
        pdfwork::ParallelFor(pool, 10, [&](std::size_t inner) { ++runs[outer * 10 + inner]; });
    });
    for (const auto& count : runs)
        EXPECT_EQ(count.load(), 1);

    // A failure reaches the caller, and no body runs after it returned (they use its frame).
    std::atomic<int> started{0};
    EXPECT_THROW(pdfwork::ParallelFor(pool, 50,
                                      [&](std::size_t i) {
                                          ++started;
                                          if (i == 3)
                                              throw std::runtime_error("chunk 3");
                                      }),
                 std::runtime_error);
    const int atReturn = started.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(started.load(), atReturn);
}

} // namespace

// Tasks start in the order posted, except that PostFirst's go ahead of every task still waiting
// (the picture a zoomed tab needs now, ahead of compressions queued before it).
TEST(ParallelDeflateTest, PostFirstGoesAheadOfTheQueue) {
    pdfwork::TWorkPool pool(1);
    std::atomic<bool> release{false};
    std::atomic<bool> holding{false};
    std::mutex mutex;
    std::string order;
    std::atomic<int> done{0};
    auto note = [&](char c) {
        return [&, c] {
            std::lock_guard lock(mutex);
            order += c;
            ++done;
        };
    };
    pool.Post([&] {
        holding = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!holding && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(holding.load());
    pool.Post(note('a'));
    pool.Post(note('b'));
    pool.PostFirst(note('1'));
    pool.PostFirst(note('2'));
    pool.Post(note('c'));
    release = true;
    while (done < 5 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, "21abc");
}

// Background work (text recognition) never holds the pool's last free worker: a compression posted
// while one runs starts at once, and a second background task waits for the first.
TEST(ParallelDeflateTest, BackgroundWorkLeavesAWorkerForCompression) {
    pdfwork::TWorkPool pool(2);
    std::atomic<bool> release{false};
    std::atomic<int> backgroundStarted{0};
    std::atomic<bool> compressed{false};
    auto background = [&] {
        ++backgroundStarted;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    pool.PostBackground(background);
    pool.PostBackground(background);
    pool.Post([&] { compressed = true; });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!compressed && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(compressed.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(backgroundStarted.load(), 1);
    release = true;
    while (backgroundStarted < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(backgroundStarted.load(), 2);
}

// The pieces of one background task (the lines of a page's text) reach every worker, the last one
// included, run each index once and pass a failure on; a compression posted meanwhile waits for one
// piece, not for the whole task.
TEST(ParallelDeflateTest, BackgroundPiecesTakeEveryWorkerButLetCompressionFirst) {
    pdfwork::TWorkPool pool(2);
    constexpr std::size_t kPieces = 100;
    std::vector<std::atomic<int>> runs(kPieces);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> done{0};
    std::atomic<int> doneWhenCompressed{-1};
    std::atomic<bool> finished{false};
    pool.PostBackground([&] {
        pdfwork::ParallelPieces(pool, kPieces, [&](std::size_t i) {
            if (i == 0)
                pool.Post([&] { doneWhenCompressed = done.load(); });
            {
                std::lock_guard lock(mutex);
                threads.insert(std::this_thread::get_id());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ++runs[i];
            ++done;
        });
        finished = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!finished && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(finished.load());
    for (const auto& count : runs)
        EXPECT_EQ(count.load(), 1);
    EXPECT_EQ(threads.size(), 2u);
    EXPECT_GE(doneWhenCompressed.load(), 0);
    EXPECT_LT(doneWhenCompressed.load(), int(kPieces) / 2);

    std::atomic<int> started{0};
    EXPECT_THROW(pdfwork::ParallelPieces(pool, 50,
                                         [&](std::size_t i) {
                                             ++started;
                                             if (i == 3)
                                                 throw std::runtime_error("line 3");
                                         }),
                 std::runtime_error);
    const int atReturn = started.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(started.load(), atReturn);
}
