// velorix --tiff OUT.tif IMAGE... : every page into one multi-page TIFF, without a window. The
// images (PDFs included) are opened as --pdf opens them; the pages keep their pixels.
#include "app/cli/CommandLine.h"

#include "app/cli/CommandLineCommon.h"
#include "app/commands/SaveAll.h"
#include "app/window/MainWindow.h"

#include <QFileInfo>

#include <cstdio>

namespace velorix {

namespace {

const char kTiffUsage[] =
    "Utilisation : velorix --tiff [--] SORTIE.tif IMAGE...\n"
    "Écrit dans SORTIE.tif (TIFF de plusieurs pages, sans perte) une page par image, ouvertes\n"
    "comme --pdf les ouvre : chaque page d'un PDF donne une page.\n"
    "En cas d'erreur, aucun fichier n'est créé et un fichier existant reste intact.\n"
    "Options :\n"
    "  -h, --help     affiche cette aide\n"
    "  --             la suite ne nomme que des fichiers, même ceux dont le nom commence\n"
    "                 par un tiret\n";

} // namespace

int runTiffCommand(QStringList args) {
    if (const std::optional<int> done = HelpOrUnknownOption("--tiff", args, kTiffUsage))
        return *done;
    if (args.size() < 2) {
        PrintCommandError("--tiff", args.isEmpty()
                                        ? QStringLiteral("il manque le fichier TIFF et les images.")
                                        : QStringLiteral("il manque au moins une image."));
        std::fputs(kTiffUsage, stderr);
        return 2;
    }
    const QString output = QFileInfo(args.first()).absoluteFilePath();
    const QString suffix = QFileInfo(output).suffix().toLower();
    if (suffix != QLatin1String("tif") && suffix != QLatin1String("tiff")) {
        PrintCommandError("--tiff", QStringLiteral("le fichier de sortie doit finir par .tif."));
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("VELORIX_SCAN_BACKEND"))
        qputenv("VELORIX_SCAN_BACKEND", "null");
    auto prompts = std::make_shared<CommandLinePrompts>();
    Services services = CommandLineServices(prompts);
    return RunCommand("--tiff", [&] {
        Tvelorix_2 window(services);
        OpenImagesAsPages(window, *prompts, args.mid(1));
        WriteAllPages(window, output);
        return 0;
    });
}

} // namespace velorix
