#include "app/cli.h"

#include <cstdio>

namespace velorix {

int runScanPdfCommand(const QStringList&) {
    std::fputs("velorix --scan-pdf : commande non disponible.\n", stderr);
    return 2;
}

} // namespace velorix
