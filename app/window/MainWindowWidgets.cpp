// The main window's widgets, built as the form lays them out: the top panel, the working area,
// the right panel, the menus and the non-visual components.
#include "app/window/MainWindow.h"

#include "app/platform/FixedPlaces.h"
#include "app/window/Artwork.h"
#include "report/PReport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velorix {

namespace {

const QColor clGray(128, 128, 128);
const QColor clSilver(192, 192, 192);

// The form's Windows fonts first; where they are missing, fonts of the same widths (Arial
// metrics) so that captions fit their places, then whatever sans font there is.
QFont designFont(const QString& family, int pixelSize) {
    QFont f;
    f.setFamilies({family, QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    return f;
}

QFont emojiFont(int pixelSize) {
    return designFont(QStringLiteral("Segoe UI Emoji"), pixelSize);
}

void paint(QWidget* w, const QColor& background, const QColor& text = QColor()) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, background);
    if (text.isValid()) {
        pal.setColor(QPalette::WindowText, text);
        pal.setColor(QPalette::ButtonText, text);
    }
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QFrame* panel(QWidget* parent, const char* name, const QColor& colour) {
    auto* f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    paint(f, colour);
    return f;
}

// A plain label at its place on the form; white form font unless told otherwise.
QLabel* label(QWidget* parent, const QString& name, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setFont(emojiFont(11));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    l->setPalette(pal);
    l->adjustSize();
    l->move(x, y);
    return l;
}

QToolButton* speedButton(QWidget* parent, const char* name, const QRect& place, const QString& hint,
                         const QIcon& icon, bool enabled) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoRaise(true);
    b->setGeometry(place);
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setIconSize(QSize(16, 16));
    b->setEnabled(enabled);
    return b;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, const QRect& place,
                    bool textLeft) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QLatin1String(name));
    c->setGeometry(place);
    if (textLeft)
        c->setLayoutDirection(Qt::RightToLeft);
    return c;
}

QComboBox* whiteCombo(QWidget* parent, const char* name, const QRect& place, bool editable) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(editable);
    c->setGeometry(place);
    c->setFont(emojiFont(13));
    QPalette pal = c->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::ButtonText, Qt::black);
    c->setPalette(pal);
    return c;
}

} // namespace

void Tvelorix_2::BuildWidgets() {
    setObjectName(QStringLiteral("velorix_2"));
    setWindowTitle(QStringLiteral("VELORIX! 2"));
    setWindowIcon(artwork::windowIcon());
    setFont(designFont(QStringLiteral("MS Sans Serif"), 11));
    paint(this, clGray);
    ImageList1 = artwork::imageList();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    BuildTopPanel();
    column->addWidget(Panneauhaut);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    column->addLayout(row, 1);
    BuildWorkingArea();
    BuildRightPanel();
    row->addWidget(Panneaufond, 1);
    row->addWidget(Panneaulateral);
    BuildMenus();
    BuildComponents();
}

void Tvelorix_2::BuildTopPanel() {
    Panneauhaut = panel(centralWidget(), "Panneauhaut", clSilver);
    // A second row under the scanner choice holds where the paper comes from and its size.
    Panneauhaut->setFixedHeight(70);
    QWidget* p = Panneauhaut;

    Zoom1 = new QScrollBar(Qt::Horizontal, p);
    Zoom1->setObjectName(QStringLiteral("Zoom1"));
    Zoom1->setGeometry(16, 17, 169, 12);
    Zoom1->setRange(0, 1000);
    Zoom1->setPageStep(0);
    Zoom1->setToolTip(QStringLiteral("Zoom"));
    Zoom1->setEnabled(false);
    label(p, QStringLiteral("Label3"), QStringLiteral("x 1"), 16, 30);
    label(p, QStringLiteral("Label4"), QStringLiteral("x 10"), 166, 30);
    label(p, QStringLiteral("Label5"), QStringLiteral("Zoom"), 88, 35);

    moins90 = speedButton(p, "moins90", {206, 10, 25, 25}, QStringLiteral("-90°"),
                          artwork::glyph(QStringLiteral("moins90")), false);
    plus90 = speedButton(p, "plus90", {232, 10, 25, 25}, QStringLiteral("+90°"),
                         artwork::glyph(QStringLiteral("plus90")), false);
    plus180 = speedButton(p, "plus180", {258, 10, 25, 25}, QStringLiteral("Retournement"),
                          artwork::glyph(QStringLiteral("plus180")), false);
    label(p, QStringLiteral("Label6"), QStringLiteral("Retournement"), 207, 35);
    noiretblanc = speedButton(p, "noiretblanc", {314, 10, 23, 22}, QStringLiteral("Noir et Gris"),
                              artwork::glyph(QStringLiteral("noiretblanc")), false);
    // A label shows "&&" as one ampersand: the caption "N&&B" reads N&B.
    label(p, QStringLiteral("Label7"), QStringLiteral("N&B"), 313, 35);
    selection = speedButton(p, "selection", {360, 10, 23, 22}, QStringLiteral("Selection image"),
                            artwork::glyph(QStringLiteral("selection")), false);
    label(p, QStringLiteral("Label8"), QStringLiteral("Selection"), 358, 35);
    selectionecran =
        speedButton(p, "selectionecran", {384, 10, 23, 22}, QStringLiteral("Capture bureau"),
                    artwork::glyph(QStringLiteral("selectionecran")), true);
    effacer = speedButton(p, "effacer", {432, 10, 23, 22}, QStringLiteral("Tout effacer"),
                          artwork::glyph(QStringLiteral("effacer")), false);
    label(p, QStringLiteral("Label9"), QStringLiteral("Tout effacer"), 416, 35);

    multi = checkBox(p, "multi", QStringLiteral("Plusieurs Documents"), {480, 8, 125, 17}, true);
    multi->setToolTip(QStringLiteral("Scanner Plusieurs Documents"));
    multi->setChecked(true);
    auto_ = checkBox(p, "auto", QStringLiteral("Pleine Page"), {527, 24, 78, 17}, true);
    auto_->setFont(designFont(QStringLiteral("Segoe UI"), 11));
    auto_->setChecked(false);
    auto_->setEnabled(true);

    cbDevice = whiteCombo(p, "cbDevice", {640, 10, 215, 25}, false);
    cbDevice->setToolTip(QStringLiteral("Choix Scanner"));
    // Scanner names are long ("HP ... MFP (airscan:e0:...)") and the combo is narrow: its open
    // list is as wide as the longest name, so that two scanners can be told apart.
    auto fitList = [c = cbDevice] {
        int widest = 0;
        for (int i = 0; i < c->count(); ++i)
            widest = std::max(widest, c->fontMetrics().horizontalAdvance(c->itemText(i)));
        QAbstractItemView* list = c->view();
        const int room =
            2 * list->frameWidth() + 16 + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        list->setMinimumWidth(std::max(c->width(), widest + room));
    };
    connect(cbDevice->model(), &QAbstractItemModel::rowsInserted, cbDevice, fitList);
    connect(cbDevice->model(), &QAbstractItemModel::dataChanged, cbDevice, fitList);
    connect(cbDevice->model(), &QAbstractItemModel::modelReset, cbDevice, fitList);
    // A smaller font than the scanner choice's, so that "Chargeur recto-verso" and "Vitre
    // entière" fit side by side under it at the window's least width.
    cbSource = whiteCombo(p, "cbSource", {640, 40, 135, 25}, false);
    cbSource->setFont(emojiFont(11));
    cbSource->setToolTip(QStringLiteral("Source"));
    cbSource->setVisible(false); // until a scanner with more than one source is connected
    cbFormat = whiteCombo(p, "cbFormat", {780, 40, 95, 25}, false);
    cbFormat->setFont(emojiFont(11));
    cbFormat->setToolTip(QStringLiteral("Format"));
}

void Tvelorix_2::BuildRightPanel() {
    Panneaulateral = panel(centralWidget(), "Panneaulateral", clSilver);
    Panneaulateral->setFixedWidth(286);
    auto* fill = new QVBoxLayout(Panneaulateral);
    fill->setContentsMargins(0, 0, 0, 0);
    Panneaufondlateral = panel(Panneaulateral, "Panneaufondlateral", clSilver);
    fill->addWidget(Panneaufondlateral);
    auto* fill2 = new QVBoxLayout(Panneaufondlateral);
    fill2->setContentsMargins(0, 0, 0, 0);
    panneauboutons = panel(Panneaufondlateral, "panneauboutons", clSilver);
    fill2->addWidget(panneauboutons);
    QWidget* p = panneauboutons;

    cbGrayscale =
        checkBox(p, "cbGrayscale", QStringLiteral("Echelle de Gris"), {40, 0, 95, 17}, false);
    cbGrayscale->setToolTip(QStringLiteral("Echelle de Gris"));
    scanneractif =
        label(p, QStringLiteral("scanneractif"), QStringLiteral("Scanner Actif"), 166, 0);
    WIA = new QFrame(p);
    WIA->setObjectName(QStringLiteral("WIA"));
    WIA->setFrameShape(QFrame::Box);
    WIA->setLineWidth(1);
    WIA->setGeometry(242, 0, 12, 12);
    paint(WIA, clGray);

    res = whiteCombo(p, "res", {40, 20, 55, 25}, true);
    res->setToolTip(QStringLiteral("Résolution"));
    res->addItems({QStringLiteral("75"), QStringLiteral("100"), QStringLiteral("200"),
                   QStringLiteral("300"), QStringLiteral("400"), QStringLiteral("1200"),
                   QStringLiteral("2400")});
    res->setCurrentIndex(0);
    dpi = label(p, QStringLiteral("dpi"), QStringLiteral("DPI"), 100, 30);

    contrast = new QSlider(Qt::Horizontal, p);
    contrast->setObjectName(QStringLiteral("contrast"));
    contrast->setGeometry(152, 20, 110, 33);
    contrast->setRange(-110, 100);
    contrast->setTickInterval(10);
    contrast->setTickPosition(QSlider::TicksBelow);
    contrast->setValue(0);
    contrast->setToolTip(QStringLiteral("Contraste"));
    Label2 = label(p, QStringLiteral("Label2"), QStringLiteral("Résolution"), 40, 50);
    Label1 = label(p, QStringLiteral("Label1"), QStringLiteral("Contraste"), 184, 50);

    Panneaulateralhaut = panel(p, "Panneaulateralhaut", QColor(128, 128, 255));
    Panneaulateralhaut->setGeometry(13, 68, 258, 460);
    Panneaufonbas = panel(p, "Panneaufonbas", QColor(255, 128, 64));
    Panneaufonbas->setGeometry(13, 539, 257, 112);

    auto big = [](QWidget* parent, const char* name, int top, int height, const QString& caption,
                  const QString& glyphName, bool enabled) {
        auto* b = new QToolButton(parent);
        b->setObjectName(QLatin1String(name));
        b->setAutoRaise(true);
        b->setGeometry(0, top, 257, height);
        b->setText(caption);
        b->setIcon(artwork::glyph(glyphName));
        b->setIconSize(QSize(32, 32));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setFont(emojiFont(13));
        // Glyph at the left with a margin of 4, white text.
        b->setStyleSheet(QStringLiteral("QToolButton { color: white; padding-left: 4px; "
                                        "text-align: left; border: none; }"
                                        "QToolButton:disabled { color: rgb(220, 220, 220); }"
                                        "QToolButton:hover { background: rgba(255,255,255,40); }"));
        b->setEnabled(enabled);
        return b;
    };
    QWidget* up = Panneaulateralhaut;
    scanner = big(up, "scanner", 0, 56, QStringLiteral("             SCANNER"),
                  QStringLiteral("scanner"), true);
    scannerimprimer = big(up, "scannerimprimer", 56, 56, QStringLiteral("SCANNER-IMPRIMER"),
                          QStringLiteral("imprimer"), true);
    scannerenregistrer =
        big(up, "scannerenregistrer", 112, 56, QStringLiteral("SCANNER-ENREGISTRER"),
            QStringLiteral("enregistrer"), true);
    scannerexporterpdf = big(up, "scannerexporterpdf", 168, 60, QStringLiteral("SCANNER VERS PDF"),
                             QStringLiteral("pdf"), true);
    scannermailer = big(up, "scannermailer", 228, 60, QStringLiteral("SCANNER VERS MAIL"),
                        QStringLiteral("mail"), true);
    scannermodifier = big(up, "scannermodifier", 288, 56, QStringLiteral("SCANNER-MODIFIER"),
                          QStringLiteral("modifier"), true);
    enregistrerimage =
        big(up, "enregistrerimage", 344, 56, QStringLiteral("            ENREGISTRER L'IMAGE"),
            QStringLiteral("enregistrer"), false);
    imprimer = big(up, "imprimer", 400, 60, QStringLiteral("             IMPRIMER L'IMAGE"),
                   QStringLiteral("imprimer"), false);
    QWidget* low = Panneaufonbas;
    ouvririmage = big(low, "ouvririmage", 0, 56, QStringLiteral("              OUVRIR UNE IMAGE"),
                      QStringLiteral("ouvrir"), true);
    mailer = big(low, "mailer", 56, 56, QStringLiteral("IMAGE VERS MAIL"), QStringLiteral("mail"),
                 false);
}

void Tvelorix_2::BuildWorkingArea() {
    Panneaufond = panel(centralWidget(), "Panneaufond", clGray);
    auto* fill = new QVBoxLayout(Panneaufond);
    fill->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(Panneaufond);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setIconSize(QSize(16, 16));
    PageControl1->setContextMenuPolicy(Qt::CustomContextMenu);
    PageControl1->setMovable(true); // a tab dragged elsewhere moves its page
    fill->addWidget(PageControl1);

    // The window's own page 1: full-page, showing the placeholder, with the open-at-page handler.
    ImagePage first;
    MakePageControls(1, PageKind::Scanned, first, true);
    TabSheet1 = first.tabSheet;
    ScrollBox1 = first.scrollBox;
    PRPage1 = first.page;
    PRLayoutPanel1 = first.layoutPanel;
    PRImage1 = first.image;
    PRPage1->SetOnPrintPage(
        [this](TPRPage* sender, TPRCanvas* canvas) { PRPage1PrintPage(sender, canvas); });
    PRImage1->SetPicture(artwork::placeholderPicture());
    PRPage1->show();
}

void Tvelorix_2::BuildMenus() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);

    auto entry = [this](QMenu* menu, const char* name, const QString& caption, int iconIndex,
                        bool enabled) {
        auto* a = new QAction(caption, menu);
        a->setObjectName(QLatin1String(name));
        if (iconIndex >= 0)
            a->setIcon(ImageList1.value(iconIndex));
        a->setEnabled(enabled);
        menu->addAction(a);
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        QAction* a = menu->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto heading = [this](QWidget* parent, const char* name, const QString& caption) {
        auto* m = new QMenu(caption, parent);
        m->setObjectName(QLatin1String(name));
        return m;
    };

    // Entries added to the window's own come after them, each of those keeping its place.
    Scanner1 = heading(MainMenu1, "Scanner1", QStringLiteral("&ACTION"));
    MainMenu1->addMenu(Scanner1);
    Scanner2 = entry(Scanner1, "Scanner2", QStringLiteral("&SCANNER"), 11, true);
    Scannerimprimer1 =
        entry(Scanner1, "Scannerimprimer1", QStringLiteral("SCANNER ET IMPRIMER L'IMAGE"), 1, true);
    scannerenregistrer1 =
        entry(Scanner1, "scannerenregistrer1", QStringLiteral("SCANNER ET ENREGISTRER"), 2, true);
    ScanneretExporterlimageauformatPDF1 =
        entry(Scanner1, "ScanneretExporterlimageauformatPDF1",
              QStringLiteral("SCANNER ET EXPORTER L'IMAGE AU FORMAT PDF"), 6, true);
    ScanneretMailerlimageauformatPDF1 =
        entry(Scanner1, "ScanneretMailerlimageauformatPDF1",
              QStringLiteral("SCANNER ET MAILER L'IMAGE AU FORMAT PDF"), 5, true);
    SCANNERETMODIFIER1 =
        entry(Scanner1, "SCANNERETMODIFIER1", QStringLiteral("SCANNER ET MODIFIER"), 8, true);
    ENREGISTRERLIMAGE1 =
        entry(Scanner1, "ENREGISTRERLIMAGE1", QStringLiteral("ENREGISTRER L'IMAGE"), 0, false);
    N3 = separator(Scanner1, "N3");
    Ouvriruneimage1 =
        entry(Scanner1, "Ouvriruneimage1", QStringLiteral("OUVRIR UNE IMAGE"), 8, true);
    Maileruneimage1 =
        entry(Scanner1, "Maileruneimage1", QStringLiteral("ENVOYER UNE IMAGE PAR MAIL"), 10, false);
    EnregistrerToutes1 = entry(Scanner1, "EnregistrerToutes1",
                               QStringLiteral("Enregistrer toutes les pages..."), 0, false);
    N2 = separator(Scanner1, "N2");
    Configurerlimprimante1 = entry(Scanner1, "Configurerlimprimante1",
                                   QStringLiteral("CONFIGURER L'IMPRIMANTE"), 3, true);
    Imprimerlimage1 =
        entry(Scanner1, "Imprimerlimage1", QStringLiteral("IMPRIMER L'IMAGE"), 3, false);
    N4 = separator(Scanner1, "N4");
    TexteCherchable1 =
        entry(Scanner1, "TexteCherchable1", QStringLiteral("Texte cherchable (OCR)"), -1, true);
    TexteCherchable1->setCheckable(true);
    QualitePDF1 = heading(Scanner1, "QualitePDF1", QStringLiteral("Qualité du PDF"));
    Scanner1->addMenu(QualitePDF1);
    auto* qualities = new QActionGroup(QualitePDF1);
    qualities->setExclusive(true);
    SansPerte1 = entry(QualitePDF1, "SansPerte1", QStringLiteral("Sans perte"), -1, true);
    Compacte1 = entry(QualitePDF1, "Compacte1", QStringLiteral("Compacte"), -1, true);
    TexteTresCompacte1 =
        entry(QualitePDF1, "TexteTresCompacte1", QStringLiteral("Texte (très compacte)"), -1, true);
    for (QAction* a : {SansPerte1, Compacte1, TexteTresCompacte1}) {
        a->setCheckable(true);
        qualities->addAction(a);
    }
    SansPerte1->setChecked(true);
    IgnorerPagesBlanches1 = entry(Scanner1, "IgnorerPagesBlanches1",
                                  QStringLiteral("Ignorer les pages blanches"), -1, true);
    IgnorerPagesBlanches1->setCheckable(true);
    RectoVersoManuel1 =
        entry(Scanner1, "RectoVersoManuel1", QStringLiteral("Recto-verso manuel"), 11, true);
    Quitter1 = entry(Scanner1, "Quitter1", QStringLiteral("QUITTER"), 12, true);

    EDITION1 = heading(MainMenu1, "EDITION1", QStringLiteral("&EDITION"));
    MainMenu1->addMenu(EDITION1);
    Annuler1 = entry(EDITION1, "Annuler1", QStringLiteral("Annuler"), -1, false);
    Annuler1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Retablir1 = entry(EDITION1, "Retablir1", QStringLiteral("Rétablir"), -1, false);
    Retablir1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});

    OUTILS1 = heading(MainMenu1, "OUTILS1", QStringLiteral("&OUTILS"));
    MainMenu1->addMenu(OUTILS1);
    OUTILS1->menuAction()->setEnabled(false);
    ROTATIONIMAGE1 = heading(OUTILS1, "ROTATIONIMAGE1", QStringLiteral("ROTATION IMAGE"));
    OUTILS1->addMenu(ROTATIONIMAGE1);
    N901 = entry(ROTATIONIMAGE1, "N901", QStringLiteral("-90°"), 12, true);
    N902 = entry(ROTATIONIMAGE1, "N902", QStringLiteral("+90°"), 12, true);
    N1801 = entry(ROTATIONIMAGE1, "N1801", QStringLiteral("180°"), 12, true);
    N6 = separator(OUTILS1, "N6");
    NOIRBLANC1 = entry(OUTILS1, "NOIRBLANC1", QStringLiteral("NOIR && BLANC"), -1, true);
    N7 = separator(OUTILS1, "N7");
    SELECTIONIMAGE1 =
        entry(OUTILS1, "SELECTIONIMAGE1", QStringLiteral("SELECTION IMAGE"), -1, true);
    CAPTUREDECRAN1 = entry(OUTILS1, "CAPTUREDECRAN1", QStringLiteral("CAPTURE D'ECRAN"), -1, true);

    N1 = heading(MainMenu1, "N1", QStringLiteral("?"));
    MainMenu1->addMenu(N1);
    AIDE1 = entry(N1, "AIDE1", QStringLiteral("AIDE"), 14, true);
    APROPOS1 = entry(N1, "APROPOS1", QStringLiteral("A PROPOS"), 14, true);
    MONSITE1 = entry(N1, "MONSITE1", QStringLiteral("MON SITE"), 12, true);

    PopupMenu1 = heading(this, "PopupMenu1", QString());
    Effacer1 = entry(PopupMenu1, "Effacer1", QStringLiteral("SUPPRIMER"), -1, true);
    DeplacerGauche1 =
        entry(PopupMenu1, "DeplacerGauche1", QStringLiteral("Déplacer à gauche"), -1, true);
    DeplacerGauche1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageUp));
    DeplacerDroite1 =
        entry(PopupMenu1, "DeplacerDroite1", QStringLiteral("Déplacer à droite"), -1, true);
    DeplacerDroite1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageDown));
    // The context menu is not always open: its shortcuts belong to the window.
    addActions({DeplacerGauche1, DeplacerDroite1});
}

void Tvelorix_2::BuildComponents() {
    PReport1 = new TPReport(this);
    PReport1->setObjectName(QStringLiteral("PReport1"));
    PReport1->SetFileName(SharedPdfPath());
    PReport1->SetUseOutlines(false);
    PReport1->SetViewerPreference({});
    PReport1->SetPageMode(pmUseNone);
    PReport1->SetPageLayout(plSinglePage);
    PReport1->SetNonFullScreenPageMode(pmUseNone);
    PReport1->SetCompressionMethod(cmFlateDecode);
    // As stored with the window; the file's own dates are the moments of writing.
    PReport1->SetCreationDate(42662.7573937963);
    PReport1->SetModDate(0);
    PReport1->SetClock([clock = services_.clock] {
        const QDateTime now = clock();
        std::tm t{};
        t.tm_year = now.date().year() - 1900;
        t.tm_mon = now.date().month() - 1;
        t.tm_mday = now.date().day();
        t.tm_hour = now.time().hour();
        t.tm_min = now.time().minute();
        t.tm_sec = now.time().second();
        t.tm_isdst = -1;
        return t;
    });
    BuildScanner();
    BuildCapture();
    BuildPaperChoice();
}

} // namespace velorix
