// "Enregistrer toutes les pages...": every visible page into one TIFF or one PDF.
#include "app/commands/SaveAll.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "imaging/ImageEngine.h"
#include "report/PReport.h"

#include <QFileInfo>

#include <stdexcept>

namespace velorix {

namespace {

const QString kReplace = QStringLiteral("Le fichier existe déjà. Voulez-vous le remplacer?");

bool IsTiff(const QString& suffix) {
    return suffix == QLatin1String("tif") || suffix == QLatin1String("tiff");
}

// The report's file is the shared PDF for every other export: put back whatever happens.
class ReportFileName {
public:
    ReportFileName(TPReport& report, const QString& name)
        : report_(report), old_(report.FileName()) {
        report_.SetFileName(name);
    }
    ~ReportFileName() { report_.SetFileName(old_); }
    ReportFileName(const ReportFileName&) = delete;
    ReportFileName& operator=(const ReportFileName&) = delete;

private:
    TPReport& report_;
    QString old_;
};

} // namespace

bool WriteAllPages(Tvelorix_2& window, const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (!IsTiff(suffix) && suffix != QLatin1String("pdf"))
        throw std::runtime_error(
            QStringLiteral("Impossible d'enregistrer les pages dans « %1 » : choisissez un nom "
                           "en .tif ou en .pdf.")
                .arg(fileName)
                .toStdString());
    const std::vector<TPRPage*> pages = PdfPages(window);
    if (pages.empty())
        throw std::runtime_error("Aucune page à enregistrer.");
    if (suffix == QLatin1String("pdf")) {
        const ReportFileName into(*window.PReport1, fileName);
        return WritePagesToPdf(window);
    }
    std::vector<QImage> pictures;
    for (TPRPage* page : pages)
        if (const auto* image = page->findChild<TPRImage*>())
            pictures.push_back(image->Picture());
    imaging::SaveMultiPageTiff(pictures, fileName);
    return true;
}

void Tvelorix_2::EnregistrerToutes1Click(QObject*) {
    if (PdfPages(*this).empty())
        return; // every tab hidden: nothing to save
    QString fileName =
        prompts().saveFileName(QStringLiteral("Enregistrer toutes les pages"),
                               QStringLiteral("Image TIFF multipage (*.tif *.tiff);;PDF (*.pdf)"));
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".tif");
    const QFileInfo existing(fileName);
    if (existing.exists() && !existing.isDir() && !prompts().confirm(kReplace))
        return;
    WriteAllPages(*this, fileName);
}

} // namespace velorix
