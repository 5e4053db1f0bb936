// A report picture's state apart from its widget: the picture itself, a scaled picture asked
// for and not made yet, and the compressed image stream prepared for it on the work pool.
#pragma once

#include <QImage>
#include <QSize>

#include <memory>
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
    void HurryScale();
    const QImage& ScaleSource() const { return FScaleSource; }
    QSize ScaleSize() const { return FScaleSize; }

    // Starts compressing the final picture's stream on the shared pool (making a pending scaled
    // picture there too); nothing when one is prepared already or there is no picture. When the
    // work cannot be posted, nothing is prepared: the stream is then made when it is needed.
    void PrepareStream() { PostStream(false); }
    // The compressed stream of the current picture is made and waiting.
    bool StreamReady() const;
    // A compression of the current picture is still running or queued.
    bool StreamPending() const;
    // The compressed pixels of the current picture: prepared (waiting for them), or made now on
    // every core.
    std::shared_ptr<const std::string> CompressedPicture() const;

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

    void PostStream(bool first);
    void DropPreparedStream();
    void DropSourceStream();

    std::shared_ptr<TPreparedStream> FPrepared;
    // The recognition of the picture whose cache key is FTextKey: the picture itself, or the
    // source of its zoomed copies.
    std::shared_ptr<TPreparedText> FText;
    qint64 FTextKey = 0;
    // The scaled copy made from that picture, which has the same text.
    mutable qint64 FTextCopyKey = 0;
    // The stream of the picture a pending scale starts from, kept while that picture may come
    // back (a zoom returning to its start); FSourceKey is that picture's cache key.
    std::shared_ptr<TPreparedStream> FSourcePrepared;
    qint64 FSourceKey = 0;
    // Made on first read while FScaleSource is set: mutable so that reading can make it.
    mutable QImage FPicture;
    mutable QImage FScaleSource;
    QSize FScaleSize;
    // Shared with whoever took the picture while it was pending; gets the picture once made.
    mutable std::shared_ptr<TPendingScale> FScale;
};
