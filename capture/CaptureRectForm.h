#pragma once
// The capture overlay: a frameless, stay-on-top, full-screen window showing a frozen picture of
// one screen, on which the user drags a rectangle outlined by marching ants. A desktop of several
// screens has one overlay on each.
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QRect>

class QTimer;

namespace velorix::capture {

class TCaptureRectForm : public QDialog {
    Q_OBJECT
public:
    // snapshot: the whole screen in device pixels; screenGeometry: the same screen in logical
    // pixels, where the overlay is placed. A scaled screen gives a snapshot larger than the
    // geometry: it is shown at logical size and cut at device pixels.
    TCaptureRectForm(QImage snapshot, QRect screenGeometry, QWidget* parent = nullptr);
    ~TCaptureRectForm() override;

    // The pixels of the selected rectangle, taken at the left-button release; null when the
    // release did not follow a drag towards the lower right, or before any release.
    const QImage& Result() const { return result_; }
    // The rectangle taken at the release: left x1, top y1, right x2, bottom y2 (logical).
    QRect Selection() const { return selection_; }
    QPoint StartPoint() const { return p1_; }
    QPoint EndPoint() const { return p2_; }
    const QImage& Snapshot() const { return snapshot_; }
    // The screen this overlay covers, in logical pixels of the desktop.
    QRect ScreenGeometry() const { return screenGeometry_; }

    // Marching: moves the start phase on and draws the frame again. Runs every 100 ms.
    QTimer* Timer1 = nullptr;
    void Timer1Timer();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void EraseOutline();
    void DrawOutline();
    // Logical rectangle to device pixels of the snapshot.
    QRect ToDevice(const QRect& logical) const;
    // A mouse position kept on this overlay's screen (a drag may run on past its edge).
    QPoint OnScreen(QPointF at) const;

    QImage snapshot_;
    QRect screenGeometry_;
    QImage result_;
    QRect selection_;
    QPoint p1_;
    QPoint p2_;
    // Device pixels of the snapshot per logical pixel, per axis: a desktop picture need not keep
    // the screen's proportions, and fractional scales must not be rounded.
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    bool outlineShown_ = false;
};

} // namespace velorix::capture
