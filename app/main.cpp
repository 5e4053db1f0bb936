// Program entry: command-line commands first (no window), then the main window.
#include "app/cli/CommandLine.h"
#include "app/cli/DumpUi.h"
#include "app/commands/OpenAtStart.h"
#include "app/window/MainWindow.h"
#include "ocr/TextRecognition.h"
#include "waits/Waits.h"
#include "workpool/WorkPool.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

const char kUsage[] =
    "Utilisation : velorix [option] | velorix [--dump-ui] [IMAGE...]\n"
    "  (sans option)      ouvre la fenêtre de Velorix! 2\n"
    "  IMAGE...           ouvre la fenêtre avec chaque image comme une page\n"
    "  --pdf ...          écrit un PDF à partir d'images, sans fenêtre\n"
    "  --tiff ...         écrit un TIFF de plusieurs pages à partir d'images, sans fenêtre\n"
    "  --scan-pdf ...     scanne vers un PDF, sans fenêtre\n"
    "  --mail IMAGE...    envoie des images par mail (PDF partagé en pièce jointe), sans fenêtre\n"
    "  --ocr              avec --pdf, --scan-pdf et --mail : le texte reconnu des pages,\n"
    "                     invisible et cherchable, dans le PDF\n"
    "  --dump-ui [IMAGE...]  affiche la fenêtre (avec les images), écrit ses contrôles en\n"
    "                     JSON et la ferme\n"
    "  --help             affiche cette aide\n"
    "  --version          affiche la version\n";

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void useOffscreenUnlessChosen() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

QStringList argumentsAfterFirst(int argc, char** argv) {
    QStringList args;
    for (int i = 2; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

// The images given to the window: every argument from `from` on; "--" ends the options, so that
// a file whose name starts with a dash can be named after it. Any other option is refused.
bool windowImages(int argc, char** argv, int from, QStringList& images) {
    bool options = true;
    for (int i = from; i < argc; ++i) {
        if (options && std::strcmp(argv[i], "--") == 0) {
            options = false;
            continue;
        }
        if (options && argv[i][0] == '-') {
            std::fprintf(stderr, "Option inconnue : %s\n%s", argv[i], kUsage);
            return false;
        }
        images << QString::fromLocal8Bit(argv[i]);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const char* first = argc > 1 ? argv[1] : "";
    if (std::strcmp(first, "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::printf("Velorix! 2 %s\n", VELORIX_VERSION);
        return 0;
    }
    // --tiff is a --pdf of another format: the same start, the same way out.
    const bool tiff = std::strcmp(first, "--tiff") == 0;
    const bool pdf = tiff || std::strcmp(first, "--pdf") == 0;
    const bool scanPdf = std::strcmp(first, "--scan-pdf") == 0;
    const bool mail = std::strcmp(first, "--mail") == 0;
    const bool dump = std::strcmp(first, "--dump-ui") == 0;
    QStringList images;
    if (!pdf && !scanPdf && !mail && !windowImages(argc, argv, dump ? 2 : 1, images))
        return 2;
    if (pdf || scanPdf || mail || (dump && !hasDisplay()))
        useOffscreenUnlessChosen();

    try {
        QApplication app(argc, argv);
        // Destroyed before app: the shared pool's last tasks end while Qt is still there. Text
        // recognitions still running or queued stop at once: nobody will see their pages.
        struct TStopPool {
            TStopPool() = default;
            TStopPool(const TStopPool&) = delete;
            TStopPool& operator=(const TStopPool&) = delete;
            ~TStopPool() {
                ocr::StopAllRecognition();
                pdfwork::TWorkPool::StopShared();
            }
        } stopPool;
        QApplication::setApplicationName(QStringLiteral("Velorix! 2"));
        // The interface is French whatever the system's language: Qt's own texts too (Oui/Non
        // buttons of the questions, the file and printer dialogs).
        QTranslator qtFrench;
        if (qtFrench.load(QStringLiteral("qtbase_fr"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&qtFrench);
        if (tiff)
            return velorix::runTiffCommand(argumentsAfterFirst(argc, argv));
        if (pdf)
            return velorix::runPdfCommand(argumentsAfterFirst(argc, argv));
        if (scanPdf)
            return velorix::runScanPdfCommand(argumentsAfterFirst(argc, argv));
        if (mail)
            return velorix::runMailCommand(argumentsAfterFirst(argc, argv));

        velorix::Services services = velorix::Services::platform();
        auto qtPrompts = std::make_shared<velorix::QtPrompts>();
        auto prompts = std::make_shared<velorix::StartupFilePrompts>(qtPrompts);
        services.prompts = prompts;
        velorix::Tvelorix_2 window(std::move(services));
        qtPrompts->setOwner(&window);
        window.show();
        if (!dump)
            velorix::OfferRecovery(window);
        if (!images.isEmpty())
            velorix::OpenStartupImages(window, *prompts, images);
        if (dump) {
            velorix::waits::Pending();
            const QByteArray json = velorix::dumpUi(&window);
            std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
            std::fflush(stdout);
            window.close();
            return 0;
        }
        return QApplication::exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
