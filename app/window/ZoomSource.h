#pragma once
// The picture the zoom draws from: a page's picture as it was when the page received it or was
// last entered. A page left while zoomed holds an enlargement not made yet; its zoom source then
// stays pending too, so entering the page costs nothing, and it is made once, whoever reads it
// first (the page, or the zoom drawing from it).
#include "report/PReport.h"

#include <QImage>
#include <QPointer>
#include <QSize>

#include <memory>

namespace velorix {

class TZoomSource {
public:
    TZoomSource() = default;
    // The picture as it stands.
    explicit TZoomSource(const QImage& picture) : picture_(picture) {}
    // The image's picture, left pending when it is a scale not made yet; none for no image.
    static TZoomSource Of(TPRImage* image);

    bool isNull() const { return pending_ == nullptr && picture_.isNull(); }
    QSize size() const { return pending_ != nullptr ? pending_->size : picture_.size(); }
    int width() const { return size().width(); }
    int height() const { return size().height(); }
    // Its pixels are not made yet.
    bool Pending() const { return pending_ != nullptr && pending_->made.isNull(); }

    // The pixels, made here when still pending: by the page it was taken from when that page
    // still waits for the same picture (which then has it too), else from the scale's source.
    const QImage& Image() const;
    // Gives image this picture at its own size: a pending one stays pending.
    void GiveBackTo(TPRImage* image) const;

private:
    mutable QImage picture_;
    mutable std::shared_ptr<TPendingScale> pending_;
    QPointer<TPRImage> page_;
};

} // namespace velorix
