// velorix --pdf OUT.pdf IMAGE... : image files to the PDF the window writes for the same pages.
// Each image is opened as the open command does it with "Plusieurs Documents" unchecked (the first
// fills page 1, the others add pages, each fitted to 600 x 800), then the pages go into OUT.pdf
// through the window's report component, in the export's page order. No window is shown.
#include "app/cli/CommandLine.h"

#include "app/cli/CommandLineCommon.h"
#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"

#include <QFileInfo>

#include <cstdio>

namespace velorix {

namespace {

const char kPdfUsage[] =
    "Utilisation : velorix --pdf [--ocr] [--quality Q] [--] SORTIE.pdf IMAGE...\n"
    "Écrit dans SORTIE.pdf une page par image, comme la fenêtre l'écrit pour les mêmes pages :\n"
    "la première image remplit la page 1, les suivantes ajoutent des pages, chacune mise au\n"
    "format de la page (600 x 800 pixels). Formats lus : ceux de la commande « OUVRIR UNE\n"
    "IMAGE » (TIFF, JPEG, PCX, BMP, ICO, CUR, PNG, WMF, Targa, PXM/PPM/PGM/PBM, JPEG 2000).\n"
    "En cas d'erreur, aucun fichier n'est créé et un fichier existant reste intact.\n"
    "Options :\n"
    "  --ocr          reconnaît le texte des pages et le met, invisible et cherchable,\n"
    "                 sous chaque image (données de langue tesseract-ocr-fra, "
    "-eng)\n" VELORIX_QUALITY_USAGE "  -h, --help     affiche cette aide\n"
    "  --             la suite ne nomme que des fichiers, même ceux dont le nom commence\n"
    "                 par un tiret\n";

void fail(const QString& message) {
    PrintCommandError("--pdf", message);
}

} // namespace

int runPdfCommand(QStringList args) {
    const bool searchable = TakeOption(args, QStringLiteral("--ocr"));
    TPdfQuality quality = TPdfQuality::Lossless;
    if (!TakeQuality(args, "--pdf", quality))
        return 2;
    if (const std::optional<int> done = HelpOrUnknownOption("--pdf", args, kPdfUsage))
        return *done;
    if (args.size() < 2) {
        fail(args.isEmpty() ? QStringLiteral("il manque le fichier PDF et les images.")
                            : QStringLiteral("il manque au moins une image."));
        std::fputs(kPdfUsage, stderr);
        return 2;
    }
    const QString output = QFileInfo(args.first()).absoluteFilePath();

    // The command never scans: keep the scanner layer from looking for devices.
    if (qEnvironmentVariableIsEmpty("VELORIX_SCAN_BACKEND"))
        qputenv("VELORIX_SCAN_BACKEND", "null");

    auto prompts = std::make_shared<CommandLinePrompts>();
    Services services = CommandLineServices(prompts);

    return RunCommand("--pdf", [&] {
        Tvelorix_2 window(services);
        window.SetSearchableText(searchable);
        window.SetPdfQuality(quality); // recognition starts as each page is opened
        OpenImagesAsPages(window, *prompts, args.mid(1));
        WriteCommandPdf(window, *prompts, "--pdf", output);
        return 0;
    });
}

} // namespace velorix
