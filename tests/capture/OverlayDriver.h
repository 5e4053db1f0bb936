#pragma once
// Mouse input for the capture overlay, and pictures whose every pixel can be told apart.
#include "capture/CaptureRectForm.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

namespace overlay {

inline void send(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                 Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}
inline void press(QWidget& w, QPoint at, Qt::MouseButton b = Qt::LeftButton,
                  Qt::MouseButtons held = Qt::NoButton) {
    send(w, QEvent::MouseButtonPress, at, b, held | b);
}
inline void move(QWidget& w, QPoint at, Qt::MouseButtons held = Qt::LeftButton) {
    send(w, QEvent::MouseMove, at, Qt::NoButton, held);
}
inline void release(QWidget& w, QPoint at, Qt::MouseButton b = Qt::LeftButton,
                    Qt::MouseButtons held = Qt::NoButton) {
    send(w, QEvent::MouseButtonRelease, at, b, held);
}
inline void drag(QWidget& w, QPoint from, QPoint to) {
    press(w, from);
    move(w, (from + to) / 2);
    move(w, to);
    release(w, to);
}

// Channels below 200, so that no pixel is mistaken for the frame's white or red.
inline QRgb distinct(int x, int y) {
    return qRgb(x % 200, y % 200, 20 + 10 * (x / 200) + (y / 200));
}
inline QImage distinctPicture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, distinct(x, y));
    return img;
}

// What the overlay's window holds on screen now, as painted so far.
inline QImage onScreen(QWidget& w) {
    QCoreApplication::processEvents();
    return w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace overlay
