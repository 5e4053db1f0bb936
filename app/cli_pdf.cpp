#include "app/cli.h"

#include <cstdio>

namespace velorix {

int runPdfCommand(const QStringList&) {
    std::fputs("velorix --pdf : commande non disponible.\n", stderr);
    return 2;
}

} // namespace velorix
