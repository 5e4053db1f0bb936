// Save and print the active page's image; printer setup.
#include "app/window/MainWindow.h"

#include "imaging/printing/Printing.h"
#include "report/PReport.h"

#include <QFileInfo>

namespace velorix {

namespace {

const QString kReplace = QStringLiteral("Le fichier existe déjà. Voulez-vous le remplacer?");

printing::IPrinter& currentPrinter(Services& services) {
    if (!services.printer)
        services.printer = printing::makeNullPrinter();
    return *services.printer;
}

} // namespace

void Tvelorix_2::SavePageImage(TPRImage* image, const QString& fileName) {
    ImageEngine1.Assign(image->Picture());
    ImageEngine1.SaveToFile(fileName, SaveImageDialog1.Options);
}

void Tvelorix_2::enregistrerimageClick(QObject*) {
    TPRImage* image = ActivePageImage();
    if (!image)
        return; // every tab hidden: no page to save
    SaveImageDialog1.Picture = image->Picture();
    const bool confirmed = prompts().saveImage(SaveImageDialog1);
    SaveImageDialog1.Picture = QImage();
    if (!confirmed)
        return;
    const QString fileName = SaveImageDialog1.FileName;
    const QFileInfo existing(fileName);
    if (existing.exists() && !existing.isDir() && !prompts().confirm(kReplace))
        return;
    SavePageImage(image, fileName);
}

void Tvelorix_2::PrintPageImage(TPRImage* image) {
    // Factors against the window's own pixels per inch, as the picture was sized on screen.
    printing::PrintPicture(currentPrinter(services_), image->Picture(), logicalDpiX(),
                           logicalDpiY(), QStringLiteral("Velorix! 2"));
}

void Tvelorix_2::imprimerClick(QObject*) {
    if (TPRImage* image = ActivePageImage())
        PrintPageImage(image);
}

void Tvelorix_2::Configurerlimprimante1Click(QObject*) {
    prompts().printerSetup(currentPrinter(services_));
}

} // namespace velorix
