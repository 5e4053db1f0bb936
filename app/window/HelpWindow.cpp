#include "app/window/HelpWindow.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velorix {

namespace {

struct HelpTab {
    const char* caption;
    const char* text;
};

// The help texts. Kept here rather than in files so the program needs nothing beside itself.
const HelpTab kTabs[] = {
    {"Introduction",
     "Velorix! 2 sert à scanner un ou plusieurs documents en un seul clic pour les imprimer sur "
     "une autre imprimante, les envoyer par mail au format PDF, les modifier ou les enregistrer. "
     "Il sert aussi à ouvrir des images pour les envoyer par mail au format PDF.\n\n"
     "Il suffit de cliquer sur le bouton de son choix : le programme fait le reste.\n\n"
     "Les images ouvertes sont ajustées pour une impression au format A4. Pour retrouver leur "
     "taille d'origine, décochez la case \"Pleine Page\". Les boutons \"+90 -90 180°\" les font "
     "tourner.\n\n"
     "Une image en couleurs peut être convertie en niveaux de gris. On peut aussi capturer une "
     "zone de l'image, le bureau entier ou une zone du bureau.\n\n"
     "Plusieurs documents peuvent être scannés ou ouverts à la suite : la case \"Plusieurs "
     "Documents\" est cochée par défaut. Décochez-la pour un seul document.\n\n"
     "Une page scannée pèse environ 250 Ko une fois en PDF : au-delà de 5 documents à la fois, "
     "le mail risque de dépasser ce qu'acceptent la plupart des serveurs de messagerie.\n\n"
     "Velorix! 2 ne modifie pas les proportions des images : c'est avant tout un outil pour "
     "scanner et envoyer par mail rapidement."},
    {"Scanner",
     "Le bouton \"SCANNER\" lance la numérisation du document posé sur la vitre.\n\n"
     "Quand la case \"Plusieurs Documents\" (Scanner Plusieurs Documents) est cochée, le "
     "programme propose de scanner un autre document après chaque page : changez le document, "
     "confirmez, et la série continue jusqu'à ce que vous répondiez Non.\n\n"
     "Le scanner choisi dans la liste \"Choix Scanner\" est retenu pour le prochain démarrage.\n\n"
     "Le scan en série et l'ajustement pleine page sont actifs par défaut. L'ajustement n'a "
     "presque aucun effet sur les pages scannées, dont la résolution convient déjà au format "
     "A4.\n\n"
     "Vous pouvez choisir le contraste, la résolution (en DPI) et le mode couleur ou niveaux de "
     "gris (case \"Echelle de Gris\").\n\n"
     "Attention : un document en couleurs scanné à 200 DPI pèse environ 3,5 Mo une fois converti "
     "en PDF, ce qui est trop lourd pour en envoyer plus d'un par mail."},
    {"Scanner-Imprimer",
     "\"SCANNER-IMPRIMER\" scanne le document et l'imprime aussitôt, en série si la case "
     "\"Plusieurs Documents\" est cochée.\n\n"
     "C'est la fonction de base d'un télécopieur : choisissez d'abord l'imprimante de sortie dans "
     "le menu \"Action-Configurer l'imprimante\", par exemple pour imprimer sur une imprimante "
     "laser ou réseau plutôt que sur une imprimante multifonction à jet d'encre."},
    {"Scanner-Enregistrer",
     "\"SCANNER-ENREGISTRER\" est le scan classique suivi de l'enregistrement du document dans "
     "un fichier image, en série si la case \"Plusieurs Documents\" est cochée : un nom de "
     "fichier est demandé pour chaque page."},
    {"Scanner vers PDF",
     "\"SCANNER VERS PDF\" scanne les documents, en série si la case est cochée, et les "
     "enregistre dans un fichier PDF compressé pour un usage ultérieur. Le fichier s'ouvre "
     "ensuite dans votre lecteur de PDF."},
    {"Scanner vers Mail",
     "\"SCANNER VERS MAIL\" scanne les documents, en série si la case est cochée, les réunit "
     "dans un seul PDF et joint ce PDF à un nouveau mail.\n\n"
     "Votre logiciel de messagerie habituel s'ouvre tout seul : il ne reste qu'à saisir le "
     "destinataire et à envoyer. Plus besoin d'enregistrer le fichier puis de le joindre à la "
     "main."},
    {"Scanner-Modifier",
     "\"SCANNER-MODIFIER\" scanne les documents, en série si la case est cochée, puis les ouvre "
     "dans votre éditeur d'images habituel pour les retoucher."},
    {"Enregistrer l'image",
     "\"ENREGISTRER L'IMAGE\" enregistre le document scanné, par exemple au format JPEG, pour "
     "le modifier, l'imprimer ou l'envoyer par mail plus tard."},
    {"Imprimer l'image",
     "\"IMPRIMER L'IMAGE\" imprime après coup l'image scannée affichée, y compris après un scan "
     "en série lorsque la case \"Scanner Plusieurs Documents\" est cochée."},
    {"Ouvrir une image",
     "\"OUVRIR UNE IMAGE\" ouvre des images BMP ou JPEG, en série si la case \"Plusieurs "
     "Documents\" est cochée, par exemple pour les envoyer par mail dans un seul PDF ou pour les "
     "imprimer.\n\n"
     "Avant l'envoi, vous pouvez retirer une image : clic droit sur son onglet puis "
     "\"Supprimer\" dans le menu qui s'affiche."},
    {"Image vers Mail",
     "\"IMAGE VERS MAIL\" réunit les images ouvertes ou les documents scannés dans un seul PDF "
     "et le joint à un nouveau mail.\n\n"
     "Pour retirer des images avant l'envoi, faites un clic droit sur l'onglet et choisissez "
     "\"Supprimer\"."},
};

} // namespace

QStringList Thelp::tabCaptions() {
    QStringList list;
    for (const HelpTab& t : kTabs)
        list << QString::fromUtf8(t.caption);
    return list;
}

Thelp::Thelp(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("help"));
    setWindowTitle(QStringLiteral("Aide"));
    setModal(true);
    setFixedSize(454, 741);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(PageControl1);

    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI Emoji"), QStringLiteral("Segoe UI"),
                      QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(12);

    int i = 0;
    for (const HelpTab& t : kTabs) {
        ++i;
        auto* memo = new QPlainTextEdit(PageControl1);
        memo->setObjectName(QStringLiteral("Memo%1").arg(i));
        memo->setReadOnly(true);
        memo->setFrameShape(QFrame::NoFrame);
        memo->setFont(font);
        QPalette pal = memo->palette();
        pal.setColor(QPalette::Text, Qt::black);
        memo->setPalette(pal);
        memo->setPlainText(QString::fromUtf8(t.text));
        // Only the first text is long enough to need a bar on purpose; the others get one
        // only if a smaller font substitute makes them overflow.
        memo->setVerticalScrollBarPolicy(i == 1 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        memo->setTextInteractionFlags(Qt::NoTextInteraction);
        memo->viewport()->installEventFilter(this);
        memo->setContextMenuPolicy(Qt::NoContextMenu);
        memos << memo;
        PageControl1->addTab(memo, QString::fromUtf8(t.caption));
    }
    // The first showing opens on "Scanner"; later ones keep the user's tab.
    PageControl1->setCurrentIndex(1);
}

void Thelp::showOver(QWidget* mainWindow) {
    if (mainWindow) {
        const QRect outer = mainWindow->frameGeometry();
        move(outer.center() - QPoint(width() / 2, height() / 2));
    }
    exec();
}

void Thelp::Memo1Click(QObject*) {
    accept();
}

bool Thelp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        for (QPlainTextEdit* memo : memos) {
            if (memo->viewport() == watched) {
                Memo1Click(memo);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace velorix
