#pragma once
// The control tree of a window as JSON: one object per named control, menu entry and action,
// with name, class, geometry relative to the parent, text, tool tip and states.
#include <QByteArray>

class QWidget;

namespace velorix {

QByteArray dumpUi(QWidget* window);

} // namespace velorix
