// PDF export and mail commands.
#include "app/window/MainWindow.h"

namespace velorix {

void Tvelorix_2::pdfClick(QObject*) {}
void Tvelorix_2::mailClick(QObject*) {}
void Tvelorix_2::mailerClick(QObject*) {}
void Tvelorix_2::PRPage1PrintPage(TPRPage*, TPRCanvas*) {}

} // namespace velorix
