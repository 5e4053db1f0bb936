// Program entry: command-line commands first (no window), then the main window.
#include "app/cli/CommandLine.h"
#include "app/cli/DumpUi.h"
#include "app/window/MainWindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

const char kUsage[] =
    "Utilisation : velorix [option]\n"
    "  (sans option)      ouvre la fenêtre de Velorix! 2\n"
    "  --pdf ...          écrit un PDF à partir d'images, sans fenêtre\n"
    "  --scan-pdf ...     scanne vers un PDF, sans fenêtre\n"
    "  --dump-ui          affiche la fenêtre, écrit ses contrôles en JSON et la ferme\n"
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
    const bool pdf = std::strcmp(first, "--pdf") == 0;
    const bool scanPdf = std::strcmp(first, "--scan-pdf") == 0;
    const bool dump = std::strcmp(first, "--dump-ui") == 0;
    if (first[0] == '-' && !pdf && !scanPdf && !dump) {
        std::fprintf(stderr, "Option inconnue : %s\n%s", first, kUsage);
        return 2;
    }
    if (pdf || scanPdf || (dump && !hasDisplay()))
        useOffscreenUnlessChosen();

    try {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Velorix! 2"));
        // The interface is French whatever the system's language: Qt's own texts too (Oui/Non
        // buttons of the questions, the file and printer dialogs).
        QTranslator qtFrench;
        if (qtFrench.load(QStringLiteral("qtbase_fr"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&qtFrench);
        if (pdf)
            return velorix::runPdfCommand(argumentsAfterFirst(argc, argv));
        if (scanPdf)
            return velorix::runScanPdfCommand(argumentsAfterFirst(argc, argv));

        velorix::Tvelorix_2 window(velorix::Services::platform());
        window.show();
        if (dump) {
            QApplication::processEvents();
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
