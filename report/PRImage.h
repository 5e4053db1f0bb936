// The picture control of a report page: shows its picture and prints it as a PDF image.
#pragma once

#include "report/PRControls.h"
#include "report/PreparedPicture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <random>
#include <string>

// A picture on a report page. The picture is always a bitmap.
class TPRImage : public TPRItem {
    Q_OBJECT
public:
    explicit TPRImage(QWidget* parent = nullptr);
    ~TPRImage() override;

    // The picture. One asked for by SetScaledPicture is made here, on the first read.
    const QImage& Picture() const { return FState.Picture(); }
    // A null image empties the picture. The picture is shared, not copied (QImage copies
    // on write).
    void SetPicture(const QImage& value);
    // The picture becomes source smoothly scaled to size (SmoothScaled), made only when
    // something reads it; until then painting draws just the visible part, from source. The same
    // size gives source itself, as SetPicture does. source is shared, never written.
    void SetScaledPicture(const QImage& source, QSize size);
    // A scaled picture is asked for and not made yet.
    bool ScalePending() const { return FState.ScalePending(); }
    // That scale, shared with whoever takes the picture before it is made; null when none.
    const std::shared_ptr<TPendingScale>& PendingScale() const { return FState.PendingScale(); }
    // The picture becomes that scale: its picture once made, else pending again (made once for
    // every holder).
    void SetPendingScale(const std::shared_ptr<TPendingScale>& scale);
    // A pending scaled picture is made on the pool ahead of the tasks queued there.
    void HurryScale() { FState.HurryScale(FQuality, DrawnSize()); }
    // Takes a picture as encoded file data: only a Windows bitmap (BMP) is accepted.
    void SetPictureData(const QByteArray& bytes);

    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool SharedImage() const { return FSharedImage; }
    void SetSharedImage(bool value) { FSharedImage = value; }

    // Draws the picture into ARect (page coordinates) of the PDF page being printed.
    void Print(TPRCanvas* ACanvas, const QRect& ARect) override;

    // Starts encoding the picture's image data in its PDF quality on the shared pool, for a
    // picture that is final; a pending scaled picture is made there too. Print takes the result
    // (waiting if it is still being made); a new picture drops it.
    void PrepareStream() {
        FState.PrepareStream(FQuality, DrawnSize());
        if (const auto spare = SpareQuality(FQuality)) {
            FState.PrepareStream(*spare, DrawnSize());
        }
        if (FRecogniseText) {
            FState.PrepareText();
        }
    }
    // The same in another quality, kept beside the picture's own until the picture or its
    // quality changes (an export in another quality than the chosen one).
    void PrepareStream(TPdfQuality quality) { FState.PrepareStream(quality, DrawnSize()); }
    // The quality PrepareStream prepares; what was prepared in another one is dropped.
    TPdfQuality PdfQuality() const { return FQuality; }
    void SetPdfQuality(TPdfQuality value) {
        FQuality = value;
        FState.KeepOnly(value, SpareQuality(value));
    }
    // What PrepareStream prepares beside quality: a lossless mail too large for mail servers is
    // offered in the compact quality, and the answer must not wait for its encoding (about a
    // tenth of the lossless one's work).
    static std::optional<TPdfQuality> SpareQuality(TPdfQuality quality) {
        return quality == TPdfQuality::Lossless ? std::optional(TPdfQuality::Compact)
                                                : std::nullopt;
    }
    // The size in points the picture is drawn at on its page.
    QSizeF DrawnSize() const;
    // PrepareStream starts the text's recognition too (PrepareText).
    bool RecogniseText() const { return FRecogniseText; }
    void SetRecogniseText(bool value) { FRecogniseText = value; }
    // The compressed stream of the current picture is made and waiting for Print.
    bool StreamReady() const { return FState.StreamReady(FQuality); }
    bool StreamReady(TPdfQuality quality) const { return FState.StreamReady(quality); }
    // A compression of the current picture is still running or queued.
    bool StreamPending() const { return FState.StreamPending(); }
    bool StreamPending(TPdfQuality quality) const { return FState.StreamPending(quality); }

    // Starts recognising the final picture's text on the shared pool, below compression. Print
    // writes it when the canvas asks for searchable text (waiting if it is still being made); a
    // new picture drops it, a zoom of the same picture keeps it.
    void PrepareText() { FState.PrepareText(); }
    bool TextPending() const { return FState.TextPending(); }
    // The recognised text (waiting for it); null when none was asked for or it failed, failure
    // then receiving the reason.
    std::shared_ptr<const ocr::TOcrPage> Text(std::string* failure = nullptr) const {
        return FState.Text(failure);
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string XObjectName(TPdfDoc& doc);

    TPreparedPicture FState;
    bool FStretch = true;
    bool FSharedImage = true;
    bool FRecogniseText = false;
    TPdfQuality FQuality = TPdfQuality::Lossless;
    std::minstd_rand FRandom;
};
