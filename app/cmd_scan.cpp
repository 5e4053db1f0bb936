// Scan commands and the scanner choice.
#include "app/scannervelorix.h"

namespace velorix {

void Tvelorix_2::btnScanClick(QObject*) {}
void Tvelorix_2::scannerimprimerClick(QObject*) {}
void Tvelorix_2::scannerenregistrerClick(QObject*) {}
void Tvelorix_2::scannermodifierClick(QObject*) {}
void Tvelorix_2::FormShow(QObject*) {}
void Tvelorix_2::cbDeviceChange(QObject*) {}

} // namespace velorix
