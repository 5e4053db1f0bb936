#include "app/window/MainWindow.h"

#include "app/platform/FixedPlaces.h"
#include "app/window/Artwork.h"
#include "app/window/CommandGuard.h"
#include "app/window/HelpWindow.h"
#include "app/window/PageHistory.h"
#include "app/window/Recovery.h"
#include "report/PReport.h"
#include "waits/Waits.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace velorix {

namespace {

// The window's size and place as the form lays it out; also the minimum size.
constexpr int kDesignLeft = 318;
constexpr int kDesignTop = 133;
constexpr int kDesignWidth = 900;
constexpr int kDesignHeight = 760;

} // namespace

Tvelorix_2::Tvelorix_2(Services services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)),
      history_(std::make_unique<TPageHistory>()) {
    if (!services_.prompts)
        services_.prompts = std::make_shared<QtPrompts>(this);
    if (auto* qtPrompts = dynamic_cast<QtPrompts*>(services_.prompts.get());
        qtPrompts && !qtPrompts->owner())
        qtPrompts->setOwner(this);
    if (!services_.settings)
        services_.settings = std::make_shared<NullSettingsStore>();
    if (!services_.shell)
        services_.shell = std::make_shared<NullShell>();
    if (!services_.mail)
        services_.mail = std::make_shared<mail::NullMailPlatform>();
    if (!services_.clock)
        services_.clock = [] { return QDateTime::currentDateTime(); };

    BuildWidgets();
    BindHandlers();

    help_ = new Thelp(this);
    StartRecovery();

    setMinimumSize(kDesignWidth, kDesignHeight);
    move(kDesignLeft, kDesignTop);
    resize(kDesignWidth, kDesignHeight);
    FormCreate(this);
}

Tvelorix_2::~Tvelorix_2() {
    // The list arriving later would find no window: wait for the thread (its message is dropped).
    if (deviceLister_.joinable())
        deviceLister_.join();
    // The scanner platform may outlive the window; its progress windows came from this one.
    if (services_.scanner)
        services_.scanner->SetProgressWindows({});
}

bool Tvelorix_2::Guarded(const std::function<void()>& command) {
    const waits::CommandRun running;
    return runGuarded(*services_.prompts, command);
}
void Tvelorix_2::Bind(QToolButton* button, void (Tvelorix_2::*handler)(QObject*), bool recorded) {
    connect(button, &QToolButton::clicked, this, [this, button, handler, recorded] {
        const auto run = [&] { (this->*handler)(button); };
        recorded ? Recorded(run) : void(Guarded(run));
    });
}

void Tvelorix_2::Bind(QAction* action, void (Tvelorix_2::*handler)(QObject*), QObject* sender,
                      bool recorded) {
    QObject* from = sender ? sender : action;
    connect(action, &QAction::triggered, this, [this, from, handler, recorded] {
        const auto run = [&] { (this->*handler)(from); };
        recorded ? Recorded(run) : void(Guarded(run));
    });
}

void Tvelorix_2::BindHandlers() {
    // Commands that change the page set are recorded for "Annuler"; the others are not.
    constexpr bool kRecorded = true;
    // Right panel
    Bind(scanner, &Tvelorix_2::btnScanClick, kRecorded);
    Bind(scannerimprimer, &Tvelorix_2::scannerimprimerClick, kRecorded);
    Bind(scannerenregistrer, &Tvelorix_2::scannerenregistrerClick, kRecorded);
    Bind(scannerexporterpdf, &Tvelorix_2::pdfClick, kRecorded);
    Bind(scannermailer, &Tvelorix_2::mailClick, kRecorded);
    Bind(scannermodifier, &Tvelorix_2::scannermodifierClick, kRecorded);
    Bind(enregistrerimage, &Tvelorix_2::enregistrerimageClick);
    Bind(imprimer, &Tvelorix_2::imprimerClick);
    Bind(ouvririmage, &Tvelorix_2::ouvririmageClick, kRecorded);
    Bind(mailer, &Tvelorix_2::mailerClick);
    // Top panel
    Bind(moins90, &Tvelorix_2::N901Click, kRecorded);
    Bind(plus90, &Tvelorix_2::N902Click, kRecorded);
    Bind(plus180, &Tvelorix_2::N1801Click, kRecorded);
    Bind(noiretblanc, &Tvelorix_2::noiretblancClick, kRecorded);
    Bind(selection, &Tvelorix_2::selectionClick, kRecorded);
    Bind(selectionecran, &Tvelorix_2::selectionClick, kRecorded);
    Bind(effacer, &Tvelorix_2::effacerClick, kRecorded);
    connect(Zoom1, &QScrollBar::valueChanged, this,
            [this] { Guarded([this] { zoom1Change(Zoom1); }); });
    connect(auto_, &QCheckBox::toggled, this, [this] { Guarded([this] { autoClick(auto_); }); });
    connect(cbDevice, &QComboBox::activated, this,
            [this] { Guarded([this] { cbDeviceChange(cbDevice); }); });
    connect(PageControl1, &QTabWidget::currentChanged, this,
            &Tvelorix_2::PageControlCurrentChanged);
    connect(PageControl1->tabBar(), &QTabBar::tabMoved, this,
            [this](int from, int to) { Guarded([&] { PageTabMoved(from, to); }); });
    connect(PageControl1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(PageControl1->mapToGlobal(at)); });
    // Main menu
    Bind(Scanner2, &Tvelorix_2::btnScanClick, nullptr, kRecorded);
    Bind(Scannerimprimer1, &Tvelorix_2::scannerimprimerClick, nullptr, kRecorded);
    Bind(scannerenregistrer1, &Tvelorix_2::scannerenregistrerClick, nullptr, kRecorded);
    Bind(ScanneretExporterlimageauformatPDF1, &Tvelorix_2::pdfClick, nullptr, kRecorded);
    Bind(ScanneretMailerlimageauformatPDF1, &Tvelorix_2::mailClick, nullptr, kRecorded);
    Bind(SCANNERETMODIFIER1, &Tvelorix_2::scannermodifierClick, nullptr, kRecorded);
    // These two entries follow the page commands' state; they run the commands of the
    // buttons they mirror rather than doing nothing while enabled.
    Bind(ENREGISTRERLIMAGE1, &Tvelorix_2::enregistrerimageClick);
    Bind(EnregistrerToutes1, &Tvelorix_2::EnregistrerToutes1Click);
    Bind(Imprimerlimage1, &Tvelorix_2::imprimerClick);
    Bind(Ouvriruneimage1, &Tvelorix_2::ouvririmageClick, nullptr, kRecorded);
    Bind(Maileruneimage1, &Tvelorix_2::mailerClick);
    Bind(Configurerlimprimante1, &Tvelorix_2::Configurerlimprimante1Click);
    Bind(Quitter1, &Tvelorix_2::Quitter1Click);
    Bind(TexteCherchable1, &Tvelorix_2::TexteCherchable1Click);
    for (QAction* quality : {SansPerte1, Compacte1, TexteTresCompacte1})
        Bind(quality, &Tvelorix_2::QualitePDF1Click, quality);
    Bind(Annuler1, &Tvelorix_2::Annuler1Click);
    Bind(Retablir1, &Tvelorix_2::Retablir1Click);
    Bind(N901, &Tvelorix_2::N901Click, nullptr, kRecorded);
    Bind(N902, &Tvelorix_2::N902Click, nullptr, kRecorded);
    Bind(N1801, &Tvelorix_2::N1801Click, nullptr, kRecorded);
    Bind(NOIRBLANC1, &Tvelorix_2::noiretblancClick, nullptr, kRecorded);
    Bind(SELECTIONIMAGE1, &Tvelorix_2::selectionClick, nullptr, kRecorded);
    // "CAPTURE D'ECRAN" captures the desktop, as the button "Capture bureau" does.
    Bind(CAPTUREDECRAN1, &Tvelorix_2::selectionClick, selectionecran, kRecorded);
    Bind(AIDE1, &Tvelorix_2::AIDE1Click);
    Bind(APROPOS1, &Tvelorix_2::APROPOS1Click);
    Bind(MONSITE1, &Tvelorix_2::MONSITE1Click);
    Bind(Effacer1, &Tvelorix_2::Effacer1Click, nullptr, kRecorded);
    Bind(DeplacerGauche1, &Tvelorix_2::DeplacerGauche1Click, nullptr, kRecorded);
    Bind(DeplacerDroite1, &Tvelorix_2::DeplacerDroite1Click, nullptr, kRecorded);
}

// ---- Lifecycle and settings ---------------------------------------------------------------

void Tvelorix_2::FormCreate(QObject*) {
    const SettingsStore& store = *services_.settings;
    if (store.keyExists()) {
        int top = y(), left = x(), width = this->width(), height = this->height();
        // A missing, empty or garbled value keeps the form's value.
        top = readIntSetting(store, QStringLiteral("Haut")).value_or(top);
        left = readIntSetting(store, QStringLiteral("Gauche")).value_or(left);
        width = readIntSetting(store, QStringLiteral("Largeur")).value_or(width);
        height = readIntSetting(store, QStringLiteral("Hauteur")).value_or(height);
        move(left, top);
        resize(width, height);
        if (auto index = readIntSetting(store, QStringLiteral("Scanner")))
            cbDevice->setCurrentIndex(*index); // the list is still empty: FormShow applies it
        PlaceOnScreen();
    } else {
        CentreOnPrimaryScreen();
    }
    SetSearchableText(readIntSetting(store, QStringLiteral("TexteCherchable")).value_or(0) == 1);
    // 0 lossless, 1 compact, 2 text; anything else keeps the lossless default.
    const int quality = readIntSetting(store, kPdfQualitySetting).value_or(0);
    SetPdfQuality(quality >= 0 && quality < kPdfQualityCount ? static_cast<TPdfQuality>(quality)
                                                             : TPdfQuality::Lossless);
    if (PRImage1)
        TakeZoomSource(PRImage1);
}

void Tvelorix_2::SetSearchableText(bool on) {
    searchableText_ = on;
    if (TexteCherchable1 && TexteCherchable1->isChecked() != on)
        TexteCherchable1->setChecked(on);
    for (TPRImage* image : findChildren<TPRImage*>()) {
        image->SetRecogniseText(on);
        // Only final pictures have their stream prepared: those are recognised now.
        if (on && (image->StreamPending() || image->StreamReady()))
            image->PrepareText();
    }
}

void Tvelorix_2::SetPdfQuality(TPdfQuality quality) {
    pdfQuality_ = quality;
    QAction* entry = quality == TPdfQuality::Compact ? Compacte1
                     : quality == TPdfQuality::Text  ? TexteTresCompacte1
                                                     : SansPerte1;
    if (entry && !entry->isChecked())
        entry->setChecked(true);
    for (TPRImage* image : findChildren<TPRImage*>()) {
        const bool final = image->StreamPending() || image->StreamReady();
        if (image->PdfQuality() == quality)
            continue;
        image->SetPdfQuality(quality);
        // Only final pictures have their data prepared: those are prepared again now.
        if (final)
            image->PrepareStream();
    }
}

void Tvelorix_2::QualitePDF1Click(QObject* Sender) {
    const TPdfQuality quality = Sender == Compacte1            ? TPdfQuality::Compact
                                : Sender == TexteTresCompacte1 ? TPdfQuality::Text
                                                               : TPdfQuality::Lossless;
    SetPdfQuality(quality);
    // Remembered at once, not only when the window closes.
    services_.settings->write(kPdfQualitySetting, QString::number(static_cast<int>(quality)));
    services_.settings->flush();
}

void Tvelorix_2::TexteCherchable1Click(QObject*) {
    SetSearchableText(TexteCherchable1->isChecked());
    // Remembered at once, not only when the window closes.
    services_.settings->write(QStringLiteral("TexteCherchable"),
                              searchableText_ ? QStringLiteral("1") : QStringLiteral("0"));
    services_.settings->flush();
}

void Tvelorix_2::PlaceOnScreen() {
    // The title bar must be reachable: the window's top strip must overlap some screen.
    const QRect strip(pos(), QSize(width(), 30));
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(strip);
        if (common.width() >= 40 && common.height() >= 10)
            return;
    }
    CentreOnPrimaryScreen();
}

void Tvelorix_2::CentreOnPrimaryScreen() {
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    const QRect area = primary->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void Tvelorix_2::FormCloseQuery(QObject*) {
    SettingsStore& store = *services_.settings;
    store.write(QStringLiteral("Haut"), QString::number(y()));
    store.write(QStringLiteral("Gauche"), QString::number(x()));
    store.write(QStringLiteral("Largeur"), QString::number(width()));
    store.write(QStringLiteral("Hauteur"), QString::number(height()));
    if (deviceListPending_) {
        // Closed before the scanner list came: the combo holds no place in it yet, so the
        // stored choice stays as it was.
        store.write(QStringLiteral("Scanner"),
                    store.read(QStringLiteral("Scanner")).value_or(QStringLiteral("-1")));
    } else {
        store.write(QStringLiteral("Scanner"), QString::number(cbDevice->currentIndex()));
        store.write(kScannerNameSetting,
                    cbDevice->currentIndex() >= 0 ? cbDevice->currentText() : QString());
    }
    store.write(QStringLiteral("TexteCherchable"),
                searchableText_ ? QStringLiteral("1") : QStringLiteral("0"));
    store.write(kPdfQualitySetting, QString::number(static_cast<int>(pdfQuality_)));
    store.flush();
    // A normal end: the pages kept for after a crash are not needed any more.
    if (recovery_)
        recovery_->Finish();
    ZoomSource = TZoomSource();
    zoomTarget_ = nullptr;
}

void Tvelorix_2::FormResize(QObject*) {
    if (height() < kDesignHeight)
        resize(width(), kDesignHeight);
    if (width() < kDesignWidth)
        resize(kDesignWidth, height());
}

void Tvelorix_2::closeEvent(QCloseEvent* event) {
    // The close always goes ahead, even when the settings cannot be written.
    Guarded([this] { FormCloseQuery(this); });
    event->accept();
}

void Tvelorix_2::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize(this);
}

void Tvelorix_2::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        // The show event comes before the window is on the screen, and FormShow may connect a
        // scanner, which waits on its driver: it runs once the window is up, so that the window
        // shows at once whatever the drivers do.
        QMetaObject::invokeMethod(
            this, [this] { Guarded([this] { FormShow(this); }); }, Qt::QueuedConnection);
    }
}

void Tvelorix_2::Quitter1Click(QObject*) {
    close();
}

// ---- Help, about, web site -----------------------------------------------------------------

void Tvelorix_2::AIDE1Click(QObject*) {
    help_->showOver(this);
}

void Tvelorix_2::APROPOS1Click(QObject*) {
    prompts().inform(QStringLiteral("Velorix! 2 version %1\n\n"
                                    "Scanner, imprimer, enregistrer, envoyer par mail en PDF : "
                                    "en un seul clic.")
                         .arg(QStringLiteral(VELORIX_VERSION)));
}

void Tvelorix_2::MONSITE1Click(QObject*) {
    // The result is not looked at: a site that cannot be opened fails silently.
    services_.shell->open(QUrl(QString::fromLatin1(kSiteAddress)));
}

} // namespace velorix
