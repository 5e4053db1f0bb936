#include "report/PreparedPicture.h"

#include "imaging/SmoothScale.h"
#include "ocr/TextRecognition.h"
#include "pdf/PdfImages.h"
#include "workpool/WorkPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

namespace {

// The picture's data in quality for a picture drawn over `drawn` points: the lossy qualities
// bring it down to 300 dpi first, with the page's own smooth scaling.
std::shared_ptr<const TEncodedPicture> EncodeForPage(const QImage& picture, TPdfQuality quality,
                                                     QSizeF drawn) {
    if (quality == TPdfQuality::Lossless) {
        return EncodePicture(picture, quality, 0);
    }
    if (drawn.isEmpty()) {
        drawn = QSizeF(picture.size()); // one point a pixel
    }
    const QSize size = LossySize(picture.size(), drawn.width(), drawn.height(), quality);
    const QImage page = size == picture.size() ? picture : SmoothScaled(picture, size);
    const double dpi =
        std::min(page.width() * 72.0 / drawn.width(), page.height() * 72.0 / drawn.height());
    return EncodePicture(page, quality, dpi);
}

} // namespace

// Shared by the picture's owner and the task compressing it; the stream holds its own copy of
// the picture, so the owner may change or go in the meantime. Whoever claims it first makes it:
// the queued task, or the window's thread when it needs it before the task started, so the
// window never waits behind the queue.
struct TPreparedPicture::TPreparedStream {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;        // the stream is made (or failed, or was dropped)
    bool pictureDone = false; // a worker's scaled picture is in `picture`
    std::atomic<bool> dropped{false};
    std::atomic<bool> claimed{false};
    std::shared_ptr<const TEncodedPicture> stream; // null when it failed or was dropped
    QImage picture; // a pending scaled picture, made by the task; null when it was not
    // What to make, set before the stream is shared; only the claimer reads it.
    QImage source;
    QSize size;
    bool scale = false; // this stream makes the pending scaled picture for its holder
    TPdfQuality quality = TPdfQuality::Lossless;
    QSizeF drawn;

    // Makes the stream unless another thread has claimed it.
    void MakeUnlessClaimed() {
        if (claimed.exchange(true)) {
            return;
        }
        QImage made;
        if (!dropped) {
            try {
                made = SmoothScaled(source, size);
            } catch (const std::exception&) {
                // Picture and Print make what is missing again and report the failure there.
            }
        }
        source = QImage();
        if (scale) {
            // Handed over before compressing: the window waits for the picture only.
            std::lock_guard lock(mutex);
            picture = made;
            pictureDone = true;
            finished.notify_all();
        }
        std::shared_ptr<const TEncodedPicture> compressed;
        if (!dropped && !made.isNull()) {
            try {
                compressed = EncodeForPage(made, quality, drawn);
            } catch (const std::exception&) {
                // Print compresses in place and reports the failure there.
            }
        }
        Finish(std::move(compressed));
    }

    void Finish(std::shared_ptr<const TEncodedPicture> compressed) {
        std::lock_guard lock(mutex);
        stream = std::move(compressed);
        done = true;
        pictureDone = true;
        finished.notify_all();
    }

    // The window's thread needs the scaled picture. Made here at once when no worker has
    // started it, and only it: the page paints now, and its compression goes back to the pool,
    // ready by the next export. Else the worker's picture is waited for.
    static QImage TakePicture(const std::shared_ptr<TPreparedStream>& self) {
        if (!self->claimed.exchange(true)) {
            QImage made;
            try {
                made = SmoothScaled(self->source, self->size);
            } catch (const std::exception&) {
                // Picture makes it again and reports the failure there.
            }
            self->source = QImage();
            if (!made.isNull()) {
                try {
                    pdfwork::TWorkPool::Shared().Post([self, made] {
                        std::shared_ptr<const TEncodedPicture> compressed;
                        if (!self->dropped) {
                            try {
                                compressed = EncodeForPage(made, self->quality, self->drawn);
                            } catch (const std::exception&) {
                                // Print compresses in place and reports the failure there.
                            }
                        }
                        self->Finish(std::move(compressed));
                    });
                    return made;
                } catch (const std::exception&) {
                    // Not posted: the export compresses it in place.
                }
            }
            self->Finish(nullptr);
            return made;
        }
        std::unique_lock lock(self->mutex);
        self->finished.wait(lock, [&self] { return self->pictureDone; });
        return std::exchange(self->picture, QImage());
    }

    // Made here if no worker started it yet, else waited for.
    void Await() {
        MakeUnlessClaimed();
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return done; });
    }
};

// The same for the recognised text.
struct TPreparedPicture::TPreparedText {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> dropped{false};
    std::shared_ptr<const ocr::TOcrPage> page; // null when it failed or was dropped
    std::string failure;
};

TPreparedPicture::~TPreparedPicture() {
    DropPreparedStream();
    DropSourceStream();
    DropText();
}

void TPreparedPicture::DropText() {
    if (FText != nullptr) {
        FText->dropped = true; // a running recognition stops at its next check
        FText.reset();
    }
    FTextKey = 0;
    FTextCopyKey = 0;
}

void TPreparedPicture::KeepTextOnlyFor(const QImage& picture) {
    if (picture.isNull() ||
        (picture.cacheKey() != FTextKey && picture.cacheKey() != FTextCopyKey)) {
        DropText();
    }
}

namespace {

template <class Streams> void DropAll(Streams& streams) {
    for (auto& stream : streams) {
        if (stream != nullptr) {
            stream->dropped = true; // a task not started yet then does nothing
            stream.reset();
        }
    }
}

} // namespace

void TPreparedPicture::DropPreparedStream() {
    DropAll(FPrepared);
}

void TPreparedPicture::DropSourceStream() {
    DropAll(FSourcePrepared);
    FSourceKey = 0;
}

bool TPreparedPicture::AnyPrepared() const {
    for (const auto& stream : FPrepared) {
        if (stream != nullptr) {
            return true;
        }
    }
    return false;
}

const std::shared_ptr<TPreparedPicture::TPreparedStream>& TPreparedPicture::PictureMaker() const {
    for (const auto& stream : FPrepared) {
        if (stream != nullptr && stream->scale) {
            return stream;
        }
    }
    static const std::shared_ptr<TPreparedStream> none;
    return none;
}

void TPreparedPicture::KeepOnly(TPdfQuality quality, std::optional<TPdfQuality> spare) {
    for (int q = 0; q < kPdfQualityCount; ++q) {
        auto& stream = FPrepared[std::size_t(q)];
        const bool kept =
            q == static_cast<int>(quality) || (spare && q == static_cast<int>(*spare));
        // The maker of a pending scale stays: the picture is waited for from it.
        if (!kept && stream != nullptr && !stream->scale) {
            stream->dropped = true;
            stream.reset();
        }
    }
}

const QImage& TPreparedPicture::Picture() const {
    if (ScalePending()) {
        // While a scale is pending, a prepared stream belongs to it and makes the picture too.
        QImage made;
        if (const auto& maker = PictureMaker()) {
            made = TPreparedStream::TakePicture(maker);
        }
        // Kept pending when making it fails, so nothing is lost.
        FPicture = made.isNull() ? SmoothScaled(FScaleSource, FScaleSize) : made;
        if (FText != nullptr && FScaleSource.cacheKey() == FTextKey) {
            FTextCopyKey = FPicture.cacheKey();
        }
        FScaleSource = QImage();
        if (FScale != nullptr) {
            FScale->made = FPicture;
            FScale.reset();
        }
    }
    return FPicture;
}

void TPreparedPicture::SetPicture(const QImage& value) {
    KeepTextOnlyFor(value);
    const bool wasPending = ScalePending();
    FScaleSource = QImage();
    FScale.reset();
    // The same pixels again (a shared copy) keep their stream.
    if (wasPending || value.isNull() || value.cacheKey() != FPicture.cacheKey()) {
        DropPreparedStream();
    }
    // The picture a scale started from, back again: its stream still holds.
    if (FSourceKey != 0) {
        if (!AnyPrepared() && !value.isNull() && value.cacheKey() == FSourceKey) {
            FPrepared = std::exchange(FSourcePrepared, TStreams{});
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
    if (ScalePending() && source.cacheKey() == FScaleSource.cacheKey() && size == FScaleSize) {
        return; // already waiting for it: its stream and its sharers stay
    }
    KeepTextOnlyFor(source); // the same text, at another size
    if (!ScalePending() && AnyPrepared() && !FPicture.isNull() &&
        FPicture.cacheKey() == source.cacheKey()) {
        DropSourceStream();
        FSourcePrepared = std::exchange(FPrepared, TStreams{});
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
    FScale = std::make_shared<TPendingScale>(TPendingScale{source, size, QImage()});
}

void TPreparedPicture::SetPendingScale(const std::shared_ptr<TPendingScale>& scale) {
    if (scale == nullptr) {
        SetPicture(QImage());
        return;
    }
    if (!scale->made.isNull()) {
        SetPicture(scale->made);
        return;
    }
    SetScaledPicture(scale->source, scale->size);
    if (ScalePending()) {
        FScale = scale; // made once for both
    }
}

void TPreparedPicture::HurryScale(TPdfQuality quality, QSizeF drawn) {
    if (!ScalePending()) {
        return;
    }
    const auto& maker = PictureMaker();
    if (maker == nullptr) {
        PostStream(true, quality, drawn);
        return;
    }
    if (maker->claimed) {
        return; // under way already
    }
    // The task queued earlier stays and does nothing once this one has claimed the work.
    try {
        pdfwork::TWorkPool::Shared().PostFirst(
            [prepared = maker] { prepared->MakeUnlessClaimed(); });
    } catch (const std::exception&) {
        // Not hurried: the task queued earlier, or the window, makes it.
    }
}

void TPreparedPicture::PostStream(bool first, TPdfQuality quality, QSizeF drawn) {
    const bool pending = ScalePending();
    auto& slot = FPrepared[static_cast<std::size_t>(quality)];
    if (slot != nullptr || (!pending && FPicture.isNull())) {
        return;
    }
    auto prepared = std::make_shared<TPreparedStream>();
    // A pending scaled picture is made by the task as well, so the window goes on painting;
    // by one task only: the others scale for themselves.
    prepared->source = pending ? FScaleSource : FPicture;
    prepared->size = pending ? FScaleSize : FPicture.size();
    prepared->scale = pending && PictureMaker() == nullptr;
    prepared->quality = quality;
    prepared->drawn = drawn;
    try {
        auto task = [prepared] { prepared->MakeUnlessClaimed(); };
        if (first) {
            pdfwork::TWorkPool::Shared().PostFirst(task);
        } else {
            pdfwork::TWorkPool::Shared().Post(task);
        }
    } catch (const std::exception&) {
        // Not prepared then: the picture is made and compressed when it is needed.
        return;
    }
    slot = std::move(prepared);
}

bool TPreparedPicture::StreamReady(TPdfQuality quality) const {
    const auto& prepared = FPrepared[static_cast<std::size_t>(quality)];
    if (prepared == nullptr) {
        return false;
    }
    std::lock_guard lock(prepared->mutex);
    return prepared->done && prepared->stream != nullptr;
}

bool TPreparedPicture::StreamPending() const {
    for (int q = 0; q < kPdfQualityCount; ++q) {
        if (StreamPending(static_cast<TPdfQuality>(q))) {
            return true;
        }
    }
    return false;
}

bool TPreparedPicture::StreamPending(TPdfQuality quality) const {
    const auto& prepared = FPrepared[static_cast<std::size_t>(quality)];
    if (prepared == nullptr) {
        return false;
    }
    std::lock_guard lock(prepared->mutex);
    return !prepared->done;
}

std::shared_ptr<const TEncodedPicture> TPreparedPicture::Encoded(TPdfQuality quality,
                                                                 QSizeF drawn) const {
    const auto& prepared = FPrepared[static_cast<std::size_t>(quality)];
    if (prepared != nullptr && (quality == TPdfQuality::Lossless || prepared->drawn == drawn)) {
        prepared->Await();
        std::lock_guard lock(prepared->mutex);
        if (prepared->stream != nullptr) {
            return prepared->stream;
        }
    }
    return EncodeForPage(Picture(), quality, drawn);
}

std::shared_ptr<const std::string> TPreparedPicture::CompressedPicture() const {
    return Encoded(TPdfQuality::Lossless, QSizeF())->flate;
}

void TPreparedPicture::PrepareText() {
    const QImage source = ScalePending() ? FScaleSource : FPicture;
    if (source.isNull() || (FText != nullptr &&
                            (source.cacheKey() == FTextKey || source.cacheKey() == FTextCopyKey))) {
        return;
    }
    DropText();
    auto prepared = std::make_shared<TPreparedText>();
    pdfwork::TWorkPool& pool = pdfwork::TWorkPool::Shared();
    // The pool outlives the tasks it runs, so its lines go to that pool, not to a later one.
    const auto recognise = [prepared, source, &pool] {
        std::shared_ptr<const ocr::TOcrPage> page;
        std::string failure;
        if (!prepared->dropped) {
            try {
                page = std::make_shared<const ocr::TOcrPage>(ocr::RecognizeText(
                    source, [&prepared] { return prepared->dropped.load(); },
                    ocr::kDefaultLanguages, &pool));
            } catch (const ocr::TOcrCancelled&) {
            } catch (const std::exception& e) {
                failure = e.what();
            }
        }
        std::lock_guard lock(prepared->mutex);
        prepared->page = std::move(page);
        prepared->failure = std::move(failure);
        prepared->done = true;
        prepared->finished.notify_all();
    };
    try {
        pool.PostBackground(recognise);
    } catch (const std::exception&) {
        // Not started: the export says so rather than wait for it, and the next call tries again.
        prepared->done = true;
        prepared->failure =
            "La reconnaissance du texte n'a pas pu démarrer (mémoire insuffisante).";
        FText = std::move(prepared);
        return;
    }
    FText = std::move(prepared);
    FTextKey = source.cacheKey();
}

bool TPreparedPicture::TextPending() const {
    if (FText == nullptr) {
        return false;
    }
    std::lock_guard lock(FText->mutex);
    return !FText->done;
}

std::shared_ptr<const ocr::TOcrPage> TPreparedPicture::Text(std::string* failure) const {
    if (FText == nullptr) {
        return nullptr;
    }
    std::unique_lock lock(FText->mutex);
    FText->finished.wait(lock, [this] { return FText->done; });
    if (failure != nullptr) {
        *failure = FText->failure;
    }
    return FText->page;
}
