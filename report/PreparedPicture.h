// A report picture's state apart from its widget: the picture itself, a scaled picture asked
// for and not made yet, and the image data prepared for it on the work pool, in each PDF quality
// asked for.
#pragma once

#include "pdf/PdfQuality.h"

#include <QImage>
#include <QSize>
#include <QSizeF>

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace ocr {
struct TOcrPage;
}

// A scaled picture asked for and not made yet, shared by the picture waiting for it and by
// whoever took that picture while it waited (the zoom's source): whichever reads it first makes
// it, and the other finds it made. Used on the window's thread only.
struct TPendingScale {
    QImage source;
    QSize size;
    QImage made; // null until made
};

class TPreparedPicture {
public:
    TPreparedPicture() = default;
    // Drops the streams still being made: their tasks then do nothing.
    ~TPreparedPicture();
    TPreparedPicture(const TPreparedPicture&) = delete;
    TPreparedPicture& operator=(const TPreparedPicture&) = delete;

    // The picture; a pending scaled one is made here on the first read (or taken from the
    // task that prepared its stream, which runs here if no worker has started it). Kept pending
    // when making it throws.
    const QImage& Picture() const;
    // The picture as it stands, without making a pending scaled one.
    const QImage& Current() const { return FPicture; }
    // A null image empties the picture. The same pixels again (a shared copy) keep their
    // stream, and so does the picture a pending scale started from when it comes back.
    void SetPicture(const QImage& value);
    // The picture becomes source scaled to size, made only when read; the same size gives
    // source itself. The scale already pending asked for again changes nothing.
    void SetScaledPicture(const QImage& source, QSize size);
    bool ScalePending() const { return !FScaleSource.isNull(); }
    // The pending scale, to share with another holder of the same picture; null when none.
    const std::shared_ptr<TPendingScale>& PendingScale() const { return FScale; }
    // The picture becomes that scale: its picture when made, else pending and shared with it.
    void SetPendingScale(const std::shared_ptr<TPendingScale>& scale);
    // A pending scale is made on the pool ahead of every task not started yet (with its stream,
    // as PrepareStream does), so that it is usually made before the window needs it.
    void HurryScale(TPdfQuality quality = TPdfQuality::Lossless, QSizeF drawn = QSizeF());
    const QImage& ScaleSource() const { return FScaleSource; }
    QSize ScaleSize() const { return FScaleSize; }

    // Starts encoding the final picture in quality on the shared pool (making a pending scaled
    // picture there too), for a picture drawn over `drawn` points (the lossy qualities bring it
    // down to 300 dpi on the page); nothing when that quality is prepared already or there is no
    // picture. When the work cannot be posted, nothing is prepared: the data is then made when
    // it is needed.
    void PrepareStream(TPdfQuality quality = TPdfQuality::Lossless, QSizeF drawn = QSizeF()) {
        PostStream(false, quality, drawn);
    }
    // The data of the current picture in quality is made and waiting.
    bool StreamReady(TPdfQuality quality = TPdfQuality::Lossless) const;
    // An encoding of the current picture is still running or queued, in any quality.
    bool StreamPending() const;
    // The same in quality.
    bool StreamPending(TPdfQuality quality) const;
    // Drops what was prepared in the qualities other than quality and spare.
    void KeepOnly(TPdfQuality quality, std::optional<TPdfQuality> spare = std::nullopt);
    // The compressed pixels of the current picture (lossless): prepared (waiting for them), or
    // made now on every core.
    std::shared_ptr<const std::string> CompressedPicture() const;
    // The current picture's data in quality for `drawn` points: prepared (waiting for it) when
    // prepared for that size, else made now.
    std::shared_ptr<const TEncodedPicture> Encoded(TPdfQuality quality, QSizeF drawn) const;

    // Starts recognising the text of the final picture on the shared pool, below compression
    // (the source of a pending scale, so at its full resolution); nothing when the current
    // picture's text is recognised or being recognised already, or there is no picture.
    // A new picture drops it, as it drops the stream; a zoom of the same picture keeps it.
    void PrepareText();
    // A recognition of the current picture is still running or queued.
    bool TextPending() const;
    // The recognised text of the current picture, waiting for it; null when none was asked for
    // or it failed, failure (when given) then receiving the reason.
    std::shared_ptr<const ocr::TOcrPage> Text(std::string* failure = nullptr) const;

private:
    struct TPreparedStream;
    struct TPreparedText;

    void DropText();
    void KeepTextOnlyFor(const QImage& picture);

    using TStreams = std::array<std::shared_ptr<TPreparedStream>, kPdfQualityCount>;
    void PostStream(bool first, TPdfQuality quality, QSizeF drawn);
    bool AnyPrepared() const;
    // The stream that makes the pending scaled picture, or null.
    const std::shared_ptr<TPreparedStream>& PictureMaker() const;
    void DropPreparedStream();
    void DropSourceStream();

    TStreams FPrepared; // one a quality
    // The recognition of the picture whose cache key is FTextKey: the picture itself, or the
    // source of its zoomed copies.
    std::shared_ptr<TPreparedText> FText;
    qint64 FTextKey = 0;
    // The scaled copy made from that picture, which has the same text.
    mutable qint64 FTextCopyKey = 0;
    // The stream of the picture a pending scale starts from, kept while that picture may come
    // back (a zoom returning to its start); FSourceKey is that picture's cache key.
    TStreams FSourcePrepared;
    qint64 FSourceKey = 0;
    // Made on first read while FScaleSource is set: mutable so that reading can make it.
    mutable QImage FPicture;
    mutable QImage FScaleSource;
    QSize FScaleSize;
    // Shared with whoever took the picture while it was pending; gets the picture once made.
    mutable std::shared_ptr<TPendingScale> FScale;
};
