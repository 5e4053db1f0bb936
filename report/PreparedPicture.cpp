#include "PreparedPicture.h"

#include "PdfImages.h"
#include "WorkPool.h"
#include "imaging/SmoothScale.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

// Shared by the picture's owner and the task compressing it; the task holds its own copy of
// the picture, so the owner may change or go in the meantime.
struct TPreparedPicture::TPreparedStream {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> dropped{false};
    std::shared_ptr<const std::string> stream; // null when it failed or was dropped
    QImage picture; // a pending scaled picture, made by the task; null when it was not
};

TPreparedPicture::~TPreparedPicture() {
    DropPreparedStream();
    DropSourceStream();
}

void TPreparedPicture::DropPreparedStream() {
    if (FPrepared != nullptr) {
        FPrepared->dropped = true; // a task not started yet then does nothing
        FPrepared.reset();
    }
}

void TPreparedPicture::DropSourceStream() {
    if (FSourcePrepared != nullptr) {
        FSourcePrepared->dropped = true;
        FSourcePrepared.reset();
    }
    FSourceKey = 0;
}

const QImage& TPreparedPicture::Picture() const {
    if (ScalePending()) {
        // While a scale is pending, a prepared stream belongs to it and makes the picture too.
        QImage made;
        if (FPrepared != nullptr) {
            std::unique_lock lock(FPrepared->mutex);
            FPrepared->finished.wait(lock, [this] { return FPrepared->done; });
            made = std::exchange(FPrepared->picture, QImage());
        }
        // Kept pending when making it fails, so nothing is lost.
        FPicture = made.isNull() ? SmoothScaled(FScaleSource, FScaleSize) : made;
        FScaleSource = QImage();
    }
    return FPicture;
}

void TPreparedPicture::SetPicture(const QImage& value) {
    const bool wasPending = ScalePending();
    FScaleSource = QImage();
    // The same pixels again (a shared copy) keep their stream.
    if (wasPending || value.isNull() || value.cacheKey() != FPicture.cacheKey()) {
        DropPreparedStream();
    }
    // The picture a scale started from, back again: its stream still holds.
    if (FSourcePrepared != nullptr) {
        if (FPrepared == nullptr && !value.isNull() && value.cacheKey() == FSourceKey) {
            FPrepared = std::move(FSourcePrepared);
            FSourceKey = 0;
        } else {
            DropSourceStream();
        }
    }
    FPicture = value;
}

void TPreparedPicture::SetScaledPicture(const QImage& source, QSize size) {
    if (source.isNull() || size.isEmpty() || size == source.size()) {
        SetPicture(size.isEmpty() ? QImage() : source);
        return;
    }
    if (!ScalePending() && FPrepared != nullptr && !FPicture.isNull() &&
        FPicture.cacheKey() == source.cacheKey()) {
        DropSourceStream();
        FSourcePrepared = std::move(FPrepared);
        FSourceKey = source.cacheKey();
    } else {
        DropPreparedStream();
        if (FSourceKey != source.cacheKey()) {
            DropSourceStream();
        }
    }
    FPicture = QImage(); // the last scaled picture goes now, not at the next read
    FScaleSource = source;
    FScaleSize = size;
}

void TPreparedPicture::PrepareStream() {
    const bool scale = ScalePending();
    if (FPrepared != nullptr || (!scale && FPicture.isNull())) {
        return;
    }
    auto prepared = std::make_shared<TPreparedStream>();
    FPrepared = prepared;
    // A pending scaled picture is made by the task as well, so the window goes on painting.
    const QImage source = scale ? FScaleSource : FPicture;
    const QSize size = scale ? FScaleSize : FPicture.size();
    pdfwork::TWorkPool::Shared().Post([prepared, source, size, scale] {
        QImage picture;
        std::shared_ptr<const std::string> stream;
        if (!prepared->dropped) {
            try {
                picture = SmoothScaled(source, size);
                stream = TPdfBitmapImage::CompressPixels(picture);
            } catch (const std::exception&) {
                // Picture and Print make what is missing again and report the failure there.
            }
        }
        std::lock_guard lock(prepared->mutex);
        prepared->stream = std::move(stream);
        if (scale) {
            prepared->picture = std::move(picture);
        }
        prepared->done = true;
        prepared->finished.notify_all();
    });
}

bool TPreparedPicture::StreamReady() const {
    if (FPrepared == nullptr) {
        return false;
    }
    std::lock_guard lock(FPrepared->mutex);
    return FPrepared->done && FPrepared->stream != nullptr;
}

bool TPreparedPicture::StreamPending() const {
    if (FPrepared == nullptr) {
        return false;
    }
    std::lock_guard lock(FPrepared->mutex);
    return !FPrepared->done;
}

std::shared_ptr<const std::string> TPreparedPicture::CompressedPicture() const {
    if (FPrepared != nullptr) {
        std::unique_lock lock(FPrepared->mutex);
        FPrepared->finished.wait(lock, [this] { return FPrepared->done; });
        if (FPrepared->stream != nullptr) {
            return FPrepared->stream;
        }
    }
    return TPdfBitmapImage::CompressPixels(Picture());
}
