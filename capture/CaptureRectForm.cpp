#include "capture/CaptureRectForm.h"

#include "capture/MarchingAnts.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace velorix::capture {

TCaptureRectForm::TCaptureRectForm(QImage snapshot, QRect screenGeometry, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      snapshot_(std::move(snapshot)), screenGeometry_(screenGeometry) {
    setObjectName(QStringLiteral("CaptureRectForm"));
    setWindowTitle(QStringLiteral("CaptureRectForm"));
    setCursor(Qt::CrossCursor);
    setModal(true);
    // Closing the overlay while the program's windows are hidden must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    // The snapshot covers every pixel: no background is painted first, so nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(screenGeometry);
    if (screenGeometry.width() > 0 && screenGeometry.height() > 0) {
        scaleX_ = double(snapshot_.width()) / screenGeometry.width();
        scaleY_ = double(snapshot_.height()) / screenGeometry.height();
    }

    ProgramAntsPhases().start = 0x80;
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TCaptureRectForm::Timer1Timer);
    Timer1->start();
}

TCaptureRectForm::~TCaptureRectForm() = default;

QRect TCaptureRectForm::ToDevice(const QRect& logical) const {
    const int left = int(std::lround(logical.left() * scaleX_));
    const int top = int(std::lround(logical.top() * scaleY_));
    const int right = int(std::lround((logical.left() + logical.width()) * scaleX_));
    const int bottom = int(std::lround((logical.top() + logical.height()) * scaleY_));
    return QRect(left, top, right - left, bottom - top);
}

QPoint TCaptureRectForm::OnScreen(QPointF at) const {
    const QPoint p = at.toPoint();
    return QPoint(std::clamp(p.x(), 0, screenGeometry_.width()),
                  std::clamp(p.y(), 0, screenGeometry_.height()));
}

void TCaptureRectForm::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawImage(r, snapshot_, ToDevice(r));
    if (!outlineShown_)
        return;
    AntsPhases& phases = ProgramAntsPhases();
    phases.pen = phases.start;
    QPolygon white;
    QPolygon red;
    for (const AntPixel& px : WalkOutline(p1_, p2_, phases.pen))
        (px.red ? red : white) << px.at;
    // One logical pixel each: a square of device pixels on a scaled screen.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255));
    for (const QPoint& p : white)
        painter.drawRect(QRect(p, QSize(1, 1)));
    painter.setBrush(QColor(255, 0, 0));
    for (const QPoint& p : red)
        painter.drawRect(QRect(p, QSize(1, 1)));
}

void TCaptureRectForm::EraseOutline() {
    // Only the band under the frame comes back from the snapshot.
    outlineShown_ = false;
    update(OutlineBand(p1_, p2_));
}

void TCaptureRectForm::DrawOutline() {
    outlineShown_ = true;
    update(OutlineBand(p1_, p2_));
}

void TCaptureRectForm::Timer1Timer() {
    AntsPhases& phases = ProgramAntsPhases();
    phases.start = NextStartPhase(phases.start);
    if (outlineShown_)
        update(OutlineBand(p1_, p2_));
}

void TCaptureRectForm::mousePressEvent(QMouseEvent* event) {
    // Any button starts the rectangle again where the mouse is.
    EraseOutline();
    p1_ = p2_ = OnScreen(event->position());
    selection_ = QRect(p1_, QSize(0, 0));
}

void TCaptureRectForm::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    EraseOutline();
    p2_ = OnScreen(event->position());
    DrawOutline();
    selection_.setRight(p2_.x() - 1);
    selection_.setBottom(p2_.y() - 1);
}

void TCaptureRectForm::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    selection_ = QRect(p1_, QSize(p2_.x() - p1_.x(), p2_.y() - p1_.y()));
    if (p1_.x() < p2_.x() && p1_.y() < p2_.y()) {
        EraseOutline();
        // The overlay shows the frozen screen: its pixels are the snapshot's.
        result_ = snapshot_.copy(ToDevice(selection_));
        result_.setDevicePixelRatio(1);
    }
    accept();
}

} // namespace velorix::capture
