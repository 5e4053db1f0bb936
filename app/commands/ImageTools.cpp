// Image tools: rotations, grey levels, screen captures.
#include "app/window/MainWindow.h"

namespace velorix {

void Tvelorix_2::N901Click(QObject*) {}
void Tvelorix_2::N902Click(QObject*) {}
void Tvelorix_2::N1801Click(QObject*) {}
void Tvelorix_2::noiretblancClick(QObject*) {}
void Tvelorix_2::selectionClick(QObject*) {}

} // namespace velorix
