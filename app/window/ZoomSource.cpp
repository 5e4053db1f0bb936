#include "app/window/ZoomSource.h"

#include "imaging/SmoothScale.h"

namespace velorix {

TZoomSource TZoomSource::Of(TPRImage* image) {
    TZoomSource source;
    if (image == nullptr)
        return source;
    if (image->ScalePending() && image->PendingScale() != nullptr) {
        source.pending_ = image->PendingScale();
        source.page_ = image;
        return source;
    }
    // Shared with the page: zooming makes new pictures and never writes into this one.
    source.picture_ = image->Picture();
    return source;
}

const QImage& TZoomSource::Image() const {
    if (pending_ != nullptr) {
        if (pending_->made.isNull()) {
            if (page_ && page_->PendingScale() == pending_)
                page_->Picture(); // hands the picture to every holder of the scale
            else
                pending_->made = SmoothScaled(pending_->source, pending_->size);
        }
        picture_ = pending_->made;
        pending_.reset();
    }
    return picture_;
}

void TZoomSource::GiveBackTo(TPRImage* image) const {
    if (Pending())
        image->SetPendingScale(pending_);
    else
        image->SetPicture(Image());
}

} // namespace velorix
