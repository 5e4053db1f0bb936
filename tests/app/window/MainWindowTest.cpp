// The window as built: names, places, captions, hints and initial states of every control and
// menu entry, and the commands that this window carries out itself.
#include "tests/app/ScriptedPrompts.h"

#include "app/window/CommandGuard.h"
#include "app/window/HelpWindow.h"
#include "app/window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <stdexcept>

using velorix::Tvelorix_2;

class WindowTest : public QObject {
    Q_OBJECT

    TestServices doubles;
    std::unique_ptr<Tvelorix_2> window;

private slots:
    void init() {
        doubles = TestServices();
        window = std::make_unique<Tvelorix_2>(doubles.services());
    }
    void cleanup() { window.reset(); }

    void controls_data();
    void controls();
    void menuEntries_data();
    void menuEntries();
    void panelsAndColours();
    void resolutionsAndContrast();
    void pageOneOfTheWindow();
    void guardTurnsExceptionsIntoErrorBoxes();
    void quitClosesAndWritesSettings();
    void aboutAndWebSite();
    void helpWindowRemembersItsTab();
    void contextMenuReachesThePages();
    void progressWindowShowsThePageAndCancels();
};

void WindowTest::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QRect>("place"); // width or height -1: not fixed by the form
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char* name, const char* cls, QRect place, const QString& text,
                  const QString& tip, bool enabled) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls) << place
                            << text << tip << enabled;
    };
    const QString none;
    // Top panel
    row("Zoom1", "QScrollBar", {16, 17, 169, 12}, none, "Zoom", false);
    row("moins90", "QToolButton", {206, 10, 25, 25}, none, "-90°", false);
    row("plus90", "QToolButton", {232, 10, 25, 25}, none, "+90°", false);
    row("plus180", "QToolButton", {258, 10, 25, 25}, none, "Retournement", false);
    row("noiretblanc", "QToolButton", {314, 10, 23, 22}, none, "Noir et Gris", false);
    row("selection", "QToolButton", {360, 10, 23, 22}, none, "Selection image", false);
    row("selectionecran", "QToolButton", {384, 10, 23, 22}, none, "Capture bureau", true);
    row("effacer", "QToolButton", {432, 10, 23, 22}, none, "Tout effacer", false);
    row("multi", "QCheckBox", {480, 8, 125, 17}, "Plusieurs Documents",
        "Scanner Plusieurs Documents", true);
    row("auto", "QCheckBox", {527, 24, 78, 17}, "Pleine Page", none, true);
    row("cbDevice", "QComboBox", {640, 10, 215, 25}, none, "Choix Scanner", true);
    row("cbFormat", "QComboBox", {780, 40, 95, 25}, "Vitre entière", "Format", true);
    row("Label3", "QLabel", {16, 30, -1, -1}, "x 1", none, true);
    row("Label4", "QLabel", {166, 30, -1, -1}, "x 10", none, true);
    row("Label5", "QLabel", {88, 35, -1, -1}, "Zoom", none, true);
    row("Label6", "QLabel", {207, 35, -1, -1}, "Retournement", none, true);
    row("Label7", "QLabel", {313, 35, -1, -1}, "N&B", none, true);
    row("Label8", "QLabel", {358, 35, -1, -1}, "Selection", none, true);
    row("Label9", "QLabel", {416, 35, -1, -1}, "Tout effacer", none, true);
    // Right panel: scan settings
    row("cbGrayscale", "QCheckBox", {40, 0, 95, 17}, "Echelle de Gris", "Echelle de Gris", true);
    row("scanneractif", "QLabel", {166, 0, -1, -1}, "Scanner Actif", none, true);
    row("WIA", "QFrame", {242, 0, 12, 12}, none, none, true);
    row("res", "QComboBox", {40, 20, 55, 25}, "75", "Résolution", true);
    row("dpi", "QLabel", {100, 30, -1, -1}, "DPI", none, true);
    row("contrast", "QSlider", {152, 20, 110, 33}, none, "Contraste", true);
    row("Label2", "QLabel", {40, 50, -1, -1}, "Résolution", none, true);
    row("Label1", "QLabel", {184, 50, -1, -1}, "Contraste", none, true);
    row("Panneaulateralhaut", "QFrame", {13, 68, 258, 460}, none, none, true);
    row("Panneaufonbas", "QFrame", {13, 539, 257, 112}, none, none, true);
    // Right panel: command buttons, leading blanks kept
    row("scanner", "QToolButton", {0, 0, 257, 56}, "             SCANNER", none, true);
    row("scannerimprimer", "QToolButton", {0, 56, 257, 56}, "SCANNER-IMPRIMER", none, true);
    row("scannerenregistrer", "QToolButton", {0, 112, 257, 56}, "SCANNER-ENREGISTRER", none, true);
    row("scannerexporterpdf", "QToolButton", {0, 168, 257, 60}, "SCANNER VERS PDF", none, true);
    row("scannermailer", "QToolButton", {0, 228, 257, 60}, "SCANNER VERS MAIL", none, true);
    row("scannermodifier", "QToolButton", {0, 288, 257, 56}, "SCANNER-MODIFIER", none, true);
    row("enregistrerimage", "QToolButton", {0, 344, 257, 56}, "            ENREGISTRER L'IMAGE",
        none, false);
    row("imprimer", "QToolButton", {0, 400, 257, 60}, "             IMPRIMER L'IMAGE", none, false);
    row("ouvririmage", "QToolButton", {0, 0, 257, 56}, "              OUVRIR UNE IMAGE", none,
        true);
    row("mailer", "QToolButton", {0, 56, 257, 56}, "IMAGE VERS MAIL", none, false);
}

void WindowTest::controls() {
    QFETCH(QString, name);
    QFETCH(QString, cls);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QFETCH(bool, enabled);

    const QList<QWidget*> found = window->findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* w = found.first();
    QVERIFY2(w->inherits(qPrintable(cls)), w->metaObject()->className());
    QCOMPARE(w->x(), place.x());
    QCOMPARE(w->y(), place.y());
    if (place.width() > 0) {
        QCOMPARE(w->width(), place.width());
        QCOMPARE(w->height(), place.height());
    }
    QString shown;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        shown = b->text();
    else if (auto* l = qobject_cast<QLabel*>(w))
        shown = l->text();
    else if (auto* c = qobject_cast<QComboBox*>(w))
        shown = c->currentText();
    QCOMPARE(shown, text);
    QCOMPARE(w->toolTip(), tip);
    QCOMPARE(w->isEnabled(), enabled);
    QVERIFY(!w->isHidden());
}

void WindowTest::menuEntries_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char* name, const char* menu, const QString& caption, int icon,
                  bool enabled) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(menu) << caption
                            << icon << enabled;
    };
    row("Scanner2", "Scanner1", "&SCANNER", 11, true);
    row("Scannerimprimer1", "Scanner1", "SCANNER ET IMPRIMER L'IMAGE", 1, true);
    row("scannerenregistrer1", "Scanner1", "SCANNER ET ENREGISTRER", 2, true);
    row("ScanneretExporterlimageauformatPDF1", "Scanner1",
        "SCANNER ET EXPORTER L'IMAGE AU FORMAT PDF", 6, true);
    row("ScanneretMailerlimageauformatPDF1", "Scanner1", "SCANNER ET MAILER L'IMAGE AU FORMAT PDF",
        5, true);
    row("SCANNERETMODIFIER1", "Scanner1", "SCANNER ET MODIFIER", 8, true);
    row("ENREGISTRERLIMAGE1", "Scanner1", "ENREGISTRER L'IMAGE", 0, false);
    row("EnregistrerToutes1", "Scanner1", "Enregistrer toutes les pages...", 0, false);
    row("N3", "Scanner1", "", -1, true);
    row("Ouvriruneimage1", "Scanner1", "OUVRIR UNE IMAGE", 8, true);
    row("Maileruneimage1", "Scanner1", "ENVOYER UNE IMAGE PAR MAIL", 10, false);
    row("N2", "Scanner1", "", -1, true);
    row("Configurerlimprimante1", "Scanner1", "CONFIGURER L'IMPRIMANTE", 3, true);
    row("Imprimerlimage1", "Scanner1", "IMPRIMER L'IMAGE", 3, false);
    row("N4", "Scanner1", "", -1, true);
    row("TexteCherchable1", "Scanner1", "Texte cherchable (OCR)", -1, true);
    row("Quitter1", "Scanner1", "QUITTER", 12, true);
    row("N901", "ROTATIONIMAGE1", "-90°", 12, true);
    row("N902", "ROTATIONIMAGE1", "+90°", 12, true);
    row("N1801", "ROTATIONIMAGE1", "180°", 12, true);
    row("N6", "OUTILS1", "", -1, true);
    row("NOIRBLANC1", "OUTILS1", "NOIR && BLANC", -1, true);
    row("N7", "OUTILS1", "", -1, true);
    row("SELECTIONIMAGE1", "OUTILS1", "SELECTION IMAGE", -1, true);
    row("CAPTUREDECRAN1", "OUTILS1", "CAPTURE D'ECRAN", -1, true);
    row("AIDE1", "N1", "AIDE", 14, true);
    row("APROPOS1", "N1", "A PROPOS", 14, true);
    row("MONSITE1", "N1", "MON SITE", 12, true);
    row("Effacer1", "PopupMenu1", "SUPPRIMER", -1, true);
    row("DeplacerGauche1", "PopupMenu1", "Déplacer à gauche", -1, true);
    row("DeplacerDroite1", "PopupMenu1", "Déplacer à droite", -1, true);
    row("Annuler1", "EDITION1", "Annuler", -1, false);
    row("Retablir1", "EDITION1", "Rétablir", -1, false);
}

void WindowTest::menuEntries() {
    QFETCH(QString, name);
    QFETCH(QString, menu);
    QFETCH(QString, caption);
    QFETCH(int, icon);
    QFETCH(bool, enabled);

    const QList<QAction*> found = window->findChildren<QAction*>(name);
    QCOMPARE(found.size(), 1);
    QAction* a = found.first();
    auto* owner = window->findChild<QMenu*>(menu);
    QVERIFY(owner);
    QVERIFY(owner->actions().contains(a));
    QCOMPARE(a->isSeparator(), caption.isEmpty());
    QCOMPARE(a->text(), caption);
    QCOMPARE(a->isEnabled(), enabled);
    if (icon >= 0)
        QCOMPARE(a->icon().cacheKey(), window->ImageList1.at(icon).cacheKey());
    else
        QVERIFY(a->icon().isNull());
}

void WindowTest::panelsAndColours() {
    QCOMPARE(window->windowTitle(), QStringLiteral("VELORIX! 2"));
    QCOMPARE(window->ImageList1.size(), 15);
    for (const QIcon& icon : window->ImageList1)
        QVERIFY(!icon.pixmap(16, 16).isNull());

    // Menu headings, in order, with "&OUTILS" disabled until a page holds a picture.
    const QList<QAction*> headings = window->MainMenu1->actions();
    QCOMPARE(headings.size(), 4);
    QCOMPARE(headings[0]->text(), QStringLiteral("&ACTION"));
    QCOMPARE(headings[1]->text(), QStringLiteral("&EDITION"));
    QCOMPARE(headings[2]->text(), QStringLiteral("&OUTILS"));
    QCOMPARE(headings[3]->text(), QStringLiteral("?"));
    QVERIFY(headings[0]->isEnabled());
    QVERIFY(headings[1]->isEnabled());
    QVERIFY(!headings[2]->isEnabled());
    QVERIFY(headings[3]->isEnabled());

    // The status lamp is grey until the window's first showing colours it.
    QCOMPARE(window->WIA->palette().color(QPalette::Window), QColor(128, 128, 128));

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->Panneauhaut->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(window->Panneauhaut->height(), 70);
    QCOMPARE(window->Panneauhaut->width(), window->centralWidget()->width());
    QCOMPARE(window->Panneaulateral->width(), 286);
    QCOMPARE(window->Panneaulateral->geometry().right(), window->centralWidget()->width() - 1);
    QCOMPARE(window->Panneaufond->geometry().right() + 1, window->Panneaulateral->x());
    // The paper's combos show their longest captions whole, within the least width, and the
    // right panel's last button stays on screen.
    window->SetScannerSources({{velorix::scan::SourceKind::Flatbed, "Flatbed"},
                               {velorix::scan::SourceKind::Duplex, "ADF Duplex"}});
    for (QComboBox* combo : {window->cbSource, window->cbFormat}) {
        QVERIFY(combo->isVisible());
        QVERIFY2(combo->sizeHint().width() <= combo->width(), qPrintable(combo->objectName()));
        QVERIFY(combo->geometry().right() < window->Panneauhaut->width());
    }
    QVERIFY(window->Panneaufonbas->mapTo(window.get(), QPoint(0, 0)).y() +
                window->Panneaufonbas->height() <=
            window->height());

    auto colour = [](QWidget* w) { return w->palette().color(QPalette::Window); };
    QCOMPARE(colour(window.get()), QColor(128, 128, 128));
    QCOMPARE(colour(window->Panneauhaut), QColor(192, 192, 192));
    QCOMPARE(colour(window->Panneaulateralhaut), QColor(128, 128, 255));
    QCOMPARE(colour(window->Panneaufonbas), QColor(255, 128, 64));
    QCOMPARE(window->cbDevice->palette().color(QPalette::Base), QColor(Qt::white));
    QCOMPARE(window->scanner->font().pixelSize(), 13);
    QCOMPARE(window->Label1->font().pixelSize(), 11);
    QCOMPARE(window->Label1->palette().color(QPalette::WindowText), QColor(Qt::white));
}

void WindowTest::resolutionsAndContrast() {
    QCOMPARE(window->multi->isChecked(), true);
    QCOMPARE(window->auto_->objectName(), QStringLiteral("auto"));
    QCOMPARE(window->auto_->isChecked(), false);
    QCOMPARE(window->cbGrayscale->isChecked(), false);
    QCOMPARE(window->cbDevice->count(), 0);
    QVERIFY(!window->cbDevice->isEditable());
    QVERIFY(window->res->isEditable());
    QStringList items;
    for (int i = 0; i < window->res->count(); ++i)
        items << window->res->itemText(i);
    QCOMPARE(items, QStringList({"75", "100", "200", "300", "400", "1200", "2400"}));
    QCOMPARE(window->res->currentIndex(), 0);
    QCOMPARE(window->contrast->minimum(), -110);
    QCOMPARE(window->contrast->maximum(), 100);
    QCOMPARE(window->contrast->tickInterval(), 10);
    QCOMPARE(window->contrast->value(), 0);
    QCOMPARE(window->Zoom1->minimum(), 0);
    QCOMPARE(window->Zoom1->maximum(), 1000);
    QCOMPARE(window->Zoom1->pageStep(), 0);
    QCOMPARE(window->Zoom1->value(), 0);
}

void WindowTest::pageOneOfTheWindow() {
    QCOMPARE(window->PageControl1->count(), 1);
    QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("1"));
    QCOMPARE(window->PageControl1->tabIcon(0).cacheKey(), window->ImageList1.at(11).cacheKey());
    QCOMPARE(window->TabSheet1->objectName(), QStringLiteral("TabSheet1"));
    QCOMPARE(window->ScrollBox1->objectName(), QStringLiteral("ScrollBox1"));
    QCOMPARE(window->PRPage1->geometry(), QRect(0, 0, 600, 800));
    QCOMPARE(window->PRPage1->MarginTop(), 0);
    QCOMPARE(window->PRPage1->MarginLeft(), 0);
    QCOMPARE(window->PRPage1->MarginRight(), 0);
    QCOMPARE(window->PRPage1->MarginBottom(), 0);
    QVERIFY(window->PRPage1->OnPrintPage());
    QVERIFY(!window->PRPage1->isHidden());
    QCOMPARE(window->PRLayoutPanel1->geometry(), QRect(1, 1, 598, 798));
    QCOMPARE(window->PRImage1->Stretch(), true);
    const QImage placeholder = window->PRImage1->Picture();
    QCOMPARE(placeholder.size(), QSize(598, 798));
    QCOMPARE(placeholder.depth(), 24);
    QCOMPARE(placeholder.pixelColor(5, 5), QColor(128, 128, 128));
    QVERIFY(placeholder.pixelColor(299, 399) != QColor(128, 128, 128)); // the pictogram
    QCOMPARE(window->ZoomSource.Image(), placeholder);
    QCOMPARE(window->FirstPageFilled, false);

    QVERIFY(window->PReport1);
    QCOMPARE(window->PReport1->objectName(), QStringLiteral("PReport1"));
    QVERIFY(window->PReport1->FileName().endsWith(QStringLiteral("/capture.pdf")));
    QCOMPARE(window->PReport1->UseOutlines(), false);
    QCOMPARE(window->PReport1->CreationDate(), 42662.7573937963);
}

void WindowTest::guardTurnsExceptionsIntoErrorBoxes() {
    QVERIFY(!window->Guarded([] { throw std::runtime_error("Aucun périphérique sélectionné."); }));
    QVERIFY(!window->Guarded([] { throw 42; }));
    QVERIFY(window->Guarded([] {}));
    QCOMPARE(doubles.prompts->texts(ScriptedPrompts::Kind::Error),
             QStringList({"Aucun périphérique sélectionné.", "Erreur inattendue."}));

    // A box that itself fails must not let the exception out either.
    struct Throwing : ScriptedPrompts {
        void error(const QString&) override { throw std::runtime_error("box"); }
    } throwing;
    QVERIFY(!velorix::runGuarded(throwing, [] { throw std::runtime_error("x"); }));
}

void WindowTest::quitClosesAndWritesSettings() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->Quitter1->trigger();
    QVERIFY(!window->isVisible());
    QCOMPARE(doubles.settings->values.value("Scanner"), QStringLiteral("-1"));
    QCOMPARE(doubles.settings->values.value("Largeur"), QStringLiteral("900"));
    QVERIFY(window->ZoomSource.isNull());
}

void WindowTest::aboutAndWebSite() {
    window->APROPOS1->trigger();
    const QStringList about = doubles.prompts->texts(ScriptedPrompts::Kind::Inform);
    QCOMPARE(about.size(), 1);
    QVERIFY(about.first().contains(QStringLiteral("Velorix! 2")));

    window->MONSITE1->trigger();
    QCOMPARE(doubles.shell->opened.size(), 1);
    QVERIFY(doubles.shell->opened.first().isValid());
    QCOMPARE(doubles.shell->opened.first().scheme(), QStringLiteral("https"));
    // A shell that cannot open it says nothing.
    window->services().shell = std::make_shared<velorix::NullShell>();
    window->MONSITE1->trigger();
    QCOMPARE(doubles.prompts->seen.size(), 1);
}

void WindowTest::helpWindowRemembersItsTab() {
    velorix::Thelp* help = window->help();
    QCOMPARE(help->windowTitle(), QStringLiteral("Aide"));
    QCOMPARE(help->size(), QSize(454, 741));
    QVERIFY(!(help->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(help->PageControl1->count(), 11);
    QCOMPARE(velorix::Thelp::tabCaptions(),
             QStringList({"Introduction", "Scanner", "Scanner-Imprimer", "Scanner-Enregistrer",
                          "Scanner vers PDF", "Scanner vers Mail", "Scanner-Modifier",
                          "Enregistrer l'image", "Imprimer l'image", "Ouvrir une image",
                          "Image vers Mail"}));
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(help->PageControl1->tabText(i), velorix::Thelp::tabCaptions().at(i));
        QPlainTextEdit* memo = help->memos.at(i);
        QVERIFY(memo->isReadOnly());
        QVERIFY(!memo->toPlainText().trimmed().isEmpty());
    }
    QCOMPARE(help->memos.first()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    // First showing: "Scanner". The user picks "Image vers Mail" and clicks the text.
    int shownTab = -1;
    QTimer::singleShot(0, help, [&] {
        shownTab = help->PageControl1->currentIndex();
        help->PageControl1->setCurrentIndex(10);
        QTest::mouseClick(help->memos.at(10)->viewport(), Qt::LeftButton);
    });
    window->AIDE1->trigger(); // modal: returns once closed
    QCOMPARE(shownTab, 1);
    QVERIFY(!help->isVisible());

    QTimer::singleShot(0, help, [&] {
        shownTab = help->PageControl1->currentIndex();
        // Typing does not change the text; clicking closes at once.
        QTest::keyClicks(help->memos.at(10), QStringLiteral("abc"));
        QTest::mouseClick(help->memos.at(10)->viewport(), Qt::LeftButton);
    });
    const QString before = help->memos.at(10)->toPlainText();
    window->AIDE1->trigger();
    QCOMPARE(shownTab, 10);
    QCOMPARE(help->memos.at(10)->toPlainText(), before);
}

void WindowTest::contextMenuReachesThePages() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // A right click anywhere on a page (its image included) opens "SUPPRIMER".
    for (QWidget* target : {static_cast<QWidget*>(window->PRImage1.data()),
                            static_cast<QWidget*>(window->PageControl1)}) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
        QTRY_VERIFY(window->PopupMenu1->isVisible());
        window->PopupMenu1->hide();
    }
}

void WindowTest::progressWindowShowsThePageAndCancels() {
    window->show();
    velorix::QtPrompts prompts(window.get());
    const auto progress = prompts.progress(QStringLiteral("Création du PDF"), true);
    progress->setPage(2, 3);
    QVERIFY(window->findChild<QProgressDialog*>() != nullptr);
    QVERIFY(!window->findChild<QProgressDialog*>()->isVisible()); // until the command says so
    progress->show();
    auto* dialog = window->findChild<QProgressDialog*>();
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Création du PDF"));
    QCOMPARE(dialog->labelText(), QStringLiteral("Page 2 sur 3"));
    QCOMPARE(dialog->value(), 1);
    QVERIFY(!progress->cancelled());
    auto* cancel = dialog->findChild<QPushButton*>();
    QCOMPARE(cancel->text(), QStringLiteral("Annuler"));
    cancel->click();
    QVERIFY(progress->cancelled());
}

QTEST_MAIN(WindowTest)
#include "MainWindowTest.moc"
