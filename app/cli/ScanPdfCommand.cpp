// velorix --scan-pdf OUT.pdf [--device NAME] [--resolution DPI] [--gray] [--pages N|all]
//                  [--source flatbed|feeder|duplex] [--paper a4|a5|letter|legal|bed]
//                  [--skip-blank] [--ocr] [--quality Q]
// Scans N pages as the scan command does in a fresh window with "Plusieurs Documents"
// unchecked (the first scan fills page 1, the next ones add pages), with the source, format
// and blank-side choices of the window, then writes OUT.pdf as --pdf does. No window is shown;
// the transfer's progress window appears only on a display.
#include "app/cli/CommandLine.h"

#include "app/cli/CommandLineCommon.h"
#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "scan/ScannerComponent.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>

#include <cstdio>

namespace velorix {

namespace {

const char kScanPdfUsage[] =
    "Utilisation : velorix --scan-pdf SORTIE.pdf [--device NOM] [--resolution DPI] [--gray]\n"
    "                      [--source flatbed|feeder|duplex] [--paper a4|a5|letter|legal|bed]\n"
    "                      [--skip-blank] [--pages N|all] [--ocr] [--quality Q]\n"
    "       velorix --scan-pdf [OPTION...] -- SORTIE.pdf\n"
    "Scanne N pages (1 par défaut ; avec le chargeur, toute la pile, chaque face une page)\n"
    "et les écrit dans SORTIE.pdf comme le fait --pdf.\n"
    "  --device NOM       le scanner, par son nom dans la liste ou son nom SANE\n"
    "                     (par défaut le premier de la liste)\n"
    "  --resolution DPI   résolution en points par pouce (75 par défaut)\n"
    "  --gray             en niveaux de gris (en couleur par défaut)\n"
    "  --source SOURCE    flatbed (la vitre), feeder (le chargeur) ou duplex (le chargeur,\n"
    "                     recto et verso) ; par défaut celle que le scanner propose d'abord\n"
    "  --paper FORMAT     a4, a5, letter, legal, ou bed (toute la vitre, par défaut)\n"
    "  --skip-blank       les pages blanches ne sont pas gardées\n"
    "  --pages N|all      nombre de pages à scanner ; avec le chargeur, all (par défaut) le\n"
    "                     vide entièrement\n"
    "  --ocr              reconnaît le texte des pages et le met, invisible et cherchable,\n"
    "                     sous chaque image (données de langue tesseract-ocr-fra, -eng)\n"
    "  --quality Q        qualité du PDF : lossless (sans perte, par défaut), compact\n"
    "                     (images JPEG, 300 dpi au plus), text (très compacte : le texte net\n"
    "                     sur un fond allégé à 100 dpi)\n"
    "  --                 la suite ne nomme que le fichier, même s'il commence par un tiret\n"
    "En cas d'erreur (chargeur vide, bourrage, capot ouvert...), aucun fichier n'est créé\n"
    "et un fichier existant reste intact.\n";

void fail(const QString& message) {
    PrintCommandError("--scan-pdf", message);
}

int badUse(const QString& message) {
    fail(message);
    std::fputs(kScanPdfUsage, stderr);
    return 2;
}

struct Options {
    QString output;
    QString device;
    QString resolution = QStringLiteral("75");
    bool gray = false;
    bool searchable = false;
    TPdfQuality quality = TPdfQuality::Lossless;
    bool skipBlank = false;
    std::optional<scan::SourceKind> source;
    scan::PaperSize paper = scan::PaperSize::Bed;
    int pages = 0; // 0: not said (all with a feeder, 1 on the flatbed)
    bool allPages = false;
};

// The listed name, or the listed name whose SANE device name is given: "<vendor> <model> (name)".
int findDevice(const std::vector<std::string>& devices, const QString& wanted) {
    if (wanted.isEmpty())
        return devices.empty() ? -1 : 0;
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (QString::fromStdString(devices[i]) == wanted)
            return static_cast<int>(i);
    const QString suffix = QStringLiteral(" (") + wanted + QLatin1Char(')');
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (QString::fromStdString(devices[i]).endsWith(suffix))
            return static_cast<int>(i);
    return -1;
}

} // namespace

int runScanPdfCommand(const QStringList& args) {
    const QStringList options = OptionArguments(args);
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        std::fputs(kScanPdfUsage, stdout);
        return 0;
    }
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i >= options.size()) { // a file name, whatever it looks like
            if (i == options.size())
                continue; // the "--" itself
            if (!o.output.isEmpty())
                return badUse(QStringLiteral("argument en trop : %1").arg(a));
            o.output = QFileInfo(a).absoluteFilePath();
            continue;
        }
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= options.size())
                return std::nullopt;
            return args[++i];
        };
        if (a == QLatin1String("--device") || a == QLatin1String("--resolution") ||
            a == QLatin1String("--pages") || a == QLatin1String("--quality") ||
            a == QLatin1String("--source") || a == QLatin1String("--paper")) {
            const auto v = value();
            if (!v)
                return badUse(QStringLiteral("il manque la valeur de %1.").arg(a));
            if (a == QLatin1String("--device")) {
                o.device = *v;
            } else if (a == QLatin1String("--quality")) {
                const std::optional<TPdfQuality> q = PdfQualityFromWord(v->toStdString());
                if (!q)
                    return badUse(
                        QStringLiteral("qualité inconnue : %1 (lossless, compact ou text)")
                            .arg(*v));
                o.quality = *q;
            } else if (a == QLatin1String("--resolution")) {
                o.resolution = *v; // checked as the resolution box checks it
            } else if (a == QLatin1String("--source")) {
                o.source = scan::SourceFromWord(v->toStdString());
                if (!o.source)
                    return badUse(QStringLiteral("source inconnue : %1").arg(*v));
            } else if (a == QLatin1String("--paper")) {
                const auto paper = scan::PaperFromWord(v->toStdString());
                if (!paper)
                    return badUse(QStringLiteral("format inconnu : %1").arg(*v));
                o.paper = *paper;
            } else if (*v == QLatin1String("all")) {
                o.allPages = true;
            } else {
                bool ok = false;
                o.pages = v->toInt(&ok, 10);
                if (!ok || o.pages < 1)
                    return badUse(QStringLiteral("nombre de pages non valide : %1").arg(*v));
            }
        } else if (a == QLatin1String("--gray")) {
            o.gray = true;
        } else if (a == QLatin1String("--ocr")) {
            o.searchable = true;
        } else if (a == QLatin1String("--skip-blank")) {
            o.skipBlank = true;
        } else if (a.startsWith(QLatin1Char('-'))) {
            return badUse(QStringLiteral("option inconnue : %1").arg(a));
        } else if (o.output.isEmpty()) {
            o.output = QFileInfo(a).absoluteFilePath();
        } else {
            return badUse(QStringLiteral("argument en trop : %1").arg(a));
        }
    }
    if (o.output.isEmpty())
        return badUse(QStringLiteral("il manque le fichier PDF."));
    const bool feeder = o.source && scan::IsFeeder(*o.source);
    if (o.allPages && !feeder)
        return badUse(QStringLiteral("--pages all ne vaut qu'avec --source feeder ou duplex."));

    auto prompts = std::make_shared<CommandLinePrompts>();
    Services services = CommandLineServices(prompts);
    services.scanner = scan::LoadScanPlatform();

    return RunCommand("--scan-pdf", [&] {
        Tvelorix_2 window(services);
        const std::vector<std::string>& devices = window.WIAScan->Devices();
        if (window.WIAScan->WIAPresent() != wpYes || devices.empty()) {
            fail(QStringLiteral("aucun scanner trouvé."));
            return 1;
        }
        const int index = findDevice(devices, o.device);
        if (index < 0) {
            fail(QStringLiteral("scanner introuvable : %1").arg(o.device));
            return 1;
        }
        window.cbDevice->clear();
        for (const std::string& name : devices)
            window.cbDevice->addItem(QString::fromStdString(name));
        window.cbDevice->setCurrentIndex(index);
        // As the user's pick in the list: the scanner is connected before the first scan.
        window.cbDeviceChange(window.cbDevice);
        window.res->setEditText(o.resolution);
        window.cbGrayscale->setChecked(o.gray);
        window.multi->setChecked(false);
        window.SetSearchableText(o.searchable);
        window.SetPdfQuality(o.quality);
        window.ChoosePaper(o.paper);
        window.SetSkipBlankPages(o.skipBlank);
        // A scanner that names no sources has its one bed.
        if (o.source && !window.ChooseSource(*o.source) &&
            (feeder || window.ChosenSource().has_value())) {
            fail(QStringLiteral("ce scanner ne propose pas « %1 ».")
                     .arg(QString::fromUtf8(scan::SourceCaption(*o.source))));
            return 1;
        }
        // The pages kept: page 1 once filled, then every page with a picture.
        auto kept = [&window] {
            int count = window.FirstPageFilled ? 1 : 0;
            for (int n = 2; n <= window.PageCount(); ++n)
                if (TPRImage* image = window.FindPageImage(n); image && !image->Picture().isNull())
                    ++count;
            return count;
        };
        const QString blank = QStringLiteral("Page blanche ignorée.");
        auto onlyBlanks = [&] {
            for (const QString& m : prompts->messages)
                if (m != blank && !m.endsWith(QStringLiteral(" pages blanches ignorées.")))
                    return false;
            return true;
        };
        if (feeder) {
            // One command feeds the whole stack, as the window's one click does.
            window.FeederPages = o.allPages || o.pages == 0 ? 0 : o.pages;
            prompts->messages.clear();
            const bool ran = window.Guarded([&] { window.btnScanClick(nullptr); });
            if (!ran || !onlyBlanks()) {
                fail(prompts->messages.isEmpty() ? QStringLiteral("aucune image reçue")
                                                 : prompts->messages.join(QLatin1Char(' ')));
                return 1;
            }
        }
        if (o.pages == 0)
            o.pages = 1;
        for (int page = 1; !feeder && page <= o.pages; ++page) {
            prompts->messages.clear();
            const int before = kept();
            const bool ran = window.Guarded([&] { window.btnScanClick(nullptr); });
            if (ran && prompts->messages == QStringList{blank})
                continue; // a blank side, left out as asked
            if (!ran || kept() != before + 1 || !prompts->messages.isEmpty()) {
                const QString why = prompts->messages.isEmpty()
                                        ? QStringLiteral("aucune image reçue")
                                        : prompts->messages.join(QLatin1Char(' '));
                fail(QStringLiteral("page %1 : %2").arg(page).arg(why));
                return 1;
            }
        }
        if (kept() == 0) {
            fail(QStringLiteral("toutes les pages scannées sont blanches : aucun fichier "
                                "écrit."));
            return 1;
        }
        prompts->messages.clear();
        WriteCommandPdf(window, *prompts, "--scan-pdf", o.output);
        return 0;
    });
}

} // namespace velorix
