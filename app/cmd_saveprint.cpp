// Save and print the active page's image; printer setup.
#include "app/scannervelorix.h"

namespace velorix {

void Tvelorix_2::enregistrerimageClick(QObject*) {}
void Tvelorix_2::imprimerClick(QObject*) {}
void Tvelorix_2::Configurerlimprimante1Click(QObject*) {}
void Tvelorix_2::SavePageImage(TPRImage*, const QString&) {}
void Tvelorix_2::PrintPageImage(TPRImage*) {}

} // namespace velorix
