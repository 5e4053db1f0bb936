#pragma once
// The picture operations behind the image tools, on 24-bit working copies whose rows hold the
// bytes blue, green, red of each pixel.
#include <QImage>

namespace velorix::imaging {

// The working form of every tool: 24 bits per pixel, bytes blue, green, red; a palette or an
// alpha channel is not kept.
inline constexpr QImage::Format kToolFormat = QImage::Format_BGR888;

// destination := source turned by angle degrees: 90 a quarter turn clockwise, -90 counter-
// clockwise, 180 upside down. Pixels keep their three bytes, so turns lose nothing. Source and
// destination may be the same picture. Any other angle leaves a 24-bit copy unturned.
void RotatePicture(int angle, const QImage& source, QImage& destination);

// A 24-bit copy in grey levels: each pixel's red, green and blue become (red + green + blue)
// div 3.
QImage GreyLevels(const QImage& source);

} // namespace velorix::imaging
