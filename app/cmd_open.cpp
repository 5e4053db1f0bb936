// Open image command.
#include "app/scannervelorix.h"

namespace velorix {

void Tvelorix_2::ouvririmageClick(QObject*) {}

} // namespace velorix
