// velorix --mail IMAGE... : image files to the shared capture.pdf, handed to the mail client as
// "IMAGE VERS MAIL" does. Each image is opened as `--pdf` opens it. No window is shown.
#include "app/cli/CommandLine.h"

#include "app/cli/CommandLineCommon.h"
#include "app/commands/PdfMail.h"
#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "mail/MailTexts.h"
#include "report/PReport.h"

#include <cstdio>

namespace velorix {

namespace {

const char kMailUsage[] =
    "Utilisation : velorix --mail [--ocr] [--quality Q] [--] IMAGE...\n"
    "Écrit le PDF partagé capture.pdf (dossier Documents) avec une page par image, comme\n"
    "« IMAGE VERS MAIL », et le remet au client de messagerie, en pièce jointe d'un nouveau\n"
    "message. Les images sont lues comme par --pdf. Un PDF sans perte de plus de 20 Mo fait\n"
    "écrire sur la sortie d'erreur la taille qu'il aurait en qualité compacte ; le PDF envoyé\n"
    "reste celui de --quality.\n"
    "Code de sortie : 0 quand le client de messagerie a reçu le message, 1 sinon\n"
    "(« Erreur d'envoi du mail » et la raison sur la sortie d'erreur), 2 en cas de mauvais usage.\n"
    "Options :\n"
    "  --ocr          met le texte reconnu des pages, invisible et cherchable, dans le "
    "PDF\n" VELORIX_QUALITY_USAGE "  -h, --help     affiche cette aide\n"
    "  --             la suite ne nomme que des fichiers, même ceux dont le nom commence\n"
    "                 par un tiret\n";

void fail(const QString& message) {
    PrintCommandError("--mail", message);
}

} // namespace

int runMailCommand(QStringList args) {
    const bool searchable = TakeOption(args, QStringLiteral("--ocr"));
    TPdfQuality quality = TPdfQuality::Lossless;
    if (!TakeQuality(args, "--mail", quality))
        return 2;
    if (const std::optional<int> done = HelpOrUnknownOption("--mail", args, kMailUsage))
        return *done;
    if (args.isEmpty()) {
        fail(QStringLiteral("il manque au moins une image."));
        std::fputs(kMailUsage, stderr);
        return 2;
    }

    // The command never scans: keep the scanner layer from looking for devices.
    if (qEnvironmentVariableIsEmpty("VELORIX_SCAN_BACKEND"))
        qputenv("VELORIX_SCAN_BACKEND", "null");

    auto prompts = std::make_shared<CommandLinePrompts>();
    Services services = CommandLineServices(prompts);
    services.mail = mail::loadMailPlatform();

    return RunCommand("--mail", [&] {
        Tvelorix_2 window(services);
        window.SetSearchableText(searchable);
        window.SetPdfQuality(quality);
        OpenImagesAsPages(window, *prompts, args);
        WriteCommandPdf(window, *prompts, "--mail");
        // Too large a lossless PDF: the question is printed, and the PDF asked for is sent.
        prompts->questionsOf = "--mail";
        if (!OfferCompactMail(window, window.PReport1->FileName()))
            return 1;
        const mail::HandOverResult result = MailPdf(services, window.PReport1->FileName(), 0);
        if (result.ok)
            return 0;
        fail(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(mail::kMailErrorText), result.reason));
        return 1;
    });
}

} // namespace velorix
