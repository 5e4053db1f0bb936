#pragma once
// The main window: every control, menu entry and handler, the window's settings and the page
// set. Command handlers live in app/commands/, one file per group of commands.
#include "app/platform/Services.h"
#include "app/window/ZoomSource.h"
#include "imaging/ImageDialogs.h"
#include "imaging/ImageEngine.h"
#include "report/PReport.h"
#include "scan/ScanSources.h"

#include <QIcon>
#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollArea;
class QScrollBar;
class QSlider;
class QTabWidget;
class QToolButton;
class TWakeUp;
class QWidget;
class TWIAScan;
namespace velorix::capture {
class TScreenCapture;
} // namespace velorix::capture

namespace velorix {

class Tchangerdoc;
class Thelp;
class TPageHistory;
class TRecovery;
struct RecoveredPage;
struct PageSetState;
struct TListedDevices;

// Marks a change of the tab control made by the window itself, not chosen by the user.
class QuietPageChanges {
public:
    explicit QuietPageChanges(int& counter) : counter_(counter) { ++counter_; }
    ~QuietPageChanges() { --counter_; }
    QuietPageChanges(const QuietPageChanges&) = delete;
    QuietPageChanges& operator=(const QuietPageChanges&) = delete;

private:
    int& counter_;
};

// The settings value beside "Scanner" (the chosen entry's place in the list): the chosen
// scanner's name as the list shows it, by which it is opened at start without the list.
inline const QString kScannerNameSetting = QStringLiteral("NomScanner");

// The quality of the PDFs: 0 lossless, 1 compact, 2 text.
inline const QString kPdfQualitySetting = QStringLiteral("QualitePDF");

// What created a page: decides its tab icon, its stretch and its page-print handler.
enum class PageKind { Scanned, Opened, Captured };

// The controls of one page added at run time.
struct ImagePage {
    QWidget* tabSheet = nullptr;
    QScrollArea* scrollBox = nullptr;
    TPRPage* page = nullptr;
    TPRLayoutPanel* layoutPanel = nullptr;
    TPRImage* image = nullptr;
};

// The main window: the program's one window, with its page set and every command.
class Tvelorix_2;
// At start: for each session of the recovery folder that did not end, asks whether to restore
// its pages; Oui puts them back, and either answer removes its folder.
void OfferRecovery(Tvelorix_2& window);

class Tvelorix_2 : public QMainWindow {
    Q_OBJECT
public:
    // Builds every control, then restores the stored position and size (FormCreate).
    explicit Tvelorix_2(Services services, QWidget* parent = nullptr);
    ~Tvelorix_2() override;

    Services& services() { return services_; }
    Prompts& prompts() { return *services_.prompts; }
    // Runs a command through the guard: an exception becomes an error box.
    bool Guarded(const std::function<void()>& command);

    // The help window, made once (owned by the window here).
    Thelp* help() const { return help_; }

    // ---- Page set ----------------------------------------------------------------------
    // Appends page n of the given kind: tab sheet, scroll box, hidden report page, layout
    // panel and report image. The active page stays active.
    ImagePage AddImagePage(int n, PageKind kind);
    // Takes the last page away again (a scanned side found blank), page 1 excepted.
    void RemoveLastPage();
    // Resets page 1's report page and sets PRImage1's stretch for the kind; returns PRImage1.
    // PRImage1 is no page after "Tout effacer": the result is then null.
    TPRImage* FillFirstPage(PageKind kind);
    // The report image of the active page, or null when no page is active.
    TPRImage* ActivePageImage() const;
    void EnablePageCommands();
    void DisablePageCommands();

    // Number of pages, hidden ones included.
    int PageCount() const;
    // The report image named "PRImage<n>", or null.
    TPRImage* FindPageImage(int n) const;
    // The report page named "Page<n>" (pages added at run time only), or null.
    TPRPage* FindReportPage(int n) const;
    // Makes a page active directly: the page-change handling does not run.
    void ActivatePage(int index);
    // Advances to the page after the active one, hidden ones counted, wrapping after the last;
    // runs the page-change handling as a user's tab choice does.
    void SelectNextPage();
    // ZoomSource := the image's picture (an enlargement not made yet stays pending, and is
    // hurried on the pool); the zoom then draws onto that image only.
    void TakeZoomSource(TPRImage* image);
    // Sets the zoom bar's position, running the zoom action when the position changes.
    void SetZoomPosition(int position);
    // Sets the "Pleine Page" box, running the full-page action when the state changes.
    void SetFullPageBox(bool checked);

    // ---- Page order and history (window/PageHistory.cpp) ----------------------------------
    // Moves the page at index `from` to index `to` and renames every page by its new place.
    void MovePage(int from, int to);
    // Names and captions by position: "TabeSheet"/"Page"/"PRLayoutPanel"/"PRImage" + n, the
    // window's own page keeping TabSheet1 and PRPage1 while it is first.
    void RenamePages();
    // Runs a command through the guard and keeps what it changed for "Annuler".
    void Recorded(const std::function<void()>& command);
    TPageHistory& History() { return *history_; }

    // ---- Recovery after a crash (window/RecoverySession.cpp) --------------------------------
    // The session's pages on disk; null when the services name no recovery folder.
    TRecovery* Recovery() const { return recovery_.get(); }
    // Hands the page set as it stands now to the recovery writer.
    void KeepForRecovery();
    // Appends the pages of a session that did not end, as they were: pixels, order, hidden state.
    void RestorePages(const std::vector<RecoveredPage>& pages);
    void DeplacerGauche1Click(QObject* Sender);
    void DeplacerDroite1Click(QObject* Sender);
    void Annuler1Click(QObject* Sender);
    void Retablir1Click(QObject* Sender);

    // "Texte cherchable (OCR)": pictures are recognised once final and PDFs carry their text.
    bool SearchableText() const { return searchableText_; }
    // Sets the switch and its menu entry; turning it on starts recognising the final pictures.
    void SetSearchableText(bool on);

    // "Qualité du PDF": the quality of every PDF the window writes, and of the data prepared
    // for it as pictures become final.
    TPdfQuality PdfQuality() const { return pdfQuality_; }
    // Sets the quality and checks its menu entry; the final pictures are prepared in it anew.
    void SetPdfQuality(TPdfQuality quality);

    bool FirstPageFilled = false;
    TZoomSource ZoomSource;

    // ---- Handlers of this window's own commands -------------------------------------------
    void zoom1Change(QObject* Sender);
    void autoClick(QObject* Sender);
    void PageControl1Change(QObject* Sender);
    void Effacer1Click(QObject* Sender);
    void TexteCherchable1Click(QObject* Sender);
    void QualitePDF1Click(QObject* Sender);
    void effacerClick(QObject* Sender);
    void Quitter1Click(QObject* Sender);
    void AIDE1Click(QObject* Sender);
    void APROPOS1Click(QObject* Sender);
    void MONSITE1Click(QObject* Sender);
    void FormCreate(QObject* Sender);
    void FormCloseQuery(QObject* Sender);
    void FormResize(QObject* Sender);

    // ---- Scans (commands/ScanCommands.cpp), scanner choice (commands/ScannerChoice.cpp) -----
    void btnScanClick(QObject* Sender);
    // Pages a feeder's stack makes, 0 for every sheet it holds (the window's own choice; the
    // command line may ask for fewer).
    int FeederPages = 0;
    // "Source" offers what the connected scanner has, after each connection.
    void ShowScannerSources();
    void scannerimprimerClick(QObject* Sender);
    void scannerenregistrerClick(QObject* Sender);
    void scannermodifierClick(QObject* Sender);
    void FormShow(QObject* Sender);
    void cbDeviceChange(QObject* Sender);
    // Returns once the scanner list made in the background (Services::listScannersInBackground)
    // is in the window, behind a progress window; at once when there is none, or while the
    // scanner of the last run, connected at start by its name, is the choice.
    void WaitForDeviceList();
    void wiascanScanAbort(QObject* Sender);
    void wiascanScanError(QObject* Sender);

    // ---- Paper: source, format, blank sides (commands/PaperChoice.cpp) ----------------------
    // The connected scanner's sources: "Source" offers them, hidden when there are fewer than
    // two, with the one last chosen for that scanner (its name in the list) selected.
    void SetScannerSources(const std::vector<scan::OfferedSource>& sources);
    // The chosen source, with the driver's name for it; nothing when the scanner offers none.
    std::optional<scan::OfferedSource> ChosenSource() const;
    // Selects the source of that kind; false when the scanner has none.
    bool ChooseSource(scan::SourceKind kind);
    scan::PaperSize ChosenPaper() const;
    void ChoosePaper(scan::PaperSize size);
    // "Ignorer les pages blanches": blank sides scanned are dropped.
    bool SkipBlankPages() const;
    void SetSkipBlankPages(bool on);
    void cbSourceChange(QObject* Sender);
    void cbFormatChange(QObject* Sender);
    void IgnorerPagesBlanches1Click(QObject* Sender);
    // "Recto-verso manuel": the scan command for the fronts, the stack turned over, the scan
    // command for the backs (last page first), then the two passes interleaved.
    void RectoVersoManuel1Click(QObject* Sender);
    // One click, the whole stack: sheet after sheet until the feeder is empty.
    void ScanFeederStack(scan::SourceKind source);

    // ---- Open image (commands/OpenCommand.cpp) --------------------------------------------------
    void ouvririmageClick(QObject* Sender);

    // ---- Save and print (commands/SavePrintCommands.cpp) ----------------------------------------
    void enregistrerimageClick(QObject* Sender);
    void imprimerClick(QObject* Sender);
    void Configurerlimprimante1Click(QObject* Sender);
    void SavePageImage(TPRImage* image, const QString& fileName);
    void PrintPageImage(TPRImage* image);

    // ---- Image tools (commands/ImageToolCommands.cpp) ------------------------------------------
    void N901Click(QObject* Sender);
    void N902Click(QObject* Sender);
    void N1801Click(QObject* Sender);
    void noiretblancClick(QObject* Sender);

    // ---- Screen capture (commands/CaptureCommand.cpp) -------------------------------------------
    void selectionClick(QObject* Sender);

    // ---- PDF export and mail (commands/PdfMailCommands.cpp) -------------------------------------
    void pdfClick(QObject* Sender);
    void mailClick(QObject* Sender);
    void mailerClick(QObject* Sender);
    void PRPage1PrintPage(TPRPage* Sender, TPRCanvas* ACanvas);

    // ---- Every page in one file (commands/SaveAllCommand.cpp) -------------------------------
    void EnregistrerToutes1Click(QObject* Sender);

    // ---- Controls, by the names they are given ---------------------------------------------
    // Top panel
    QFrame* Panneauhaut = nullptr;
    QScrollBar* Zoom1 = nullptr;
    QToolButton* moins90 = nullptr;
    QToolButton* plus90 = nullptr;
    QToolButton* plus180 = nullptr;
    QToolButton* noiretblanc = nullptr;
    QToolButton* selection = nullptr;
    QToolButton* selectionecran = nullptr;
    QToolButton* effacer = nullptr;
    QCheckBox* multi = nullptr;
    QCheckBox* auto_ = nullptr; // objectName "auto"
    QComboBox* cbDevice = nullptr;
    QComboBox* cbSource = nullptr; // "Source", under the scanner choice
    QComboBox* cbFormat = nullptr; // "Format"
    // Right panel
    QFrame* Panneaulateral = nullptr;
    QFrame* Panneaufondlateral = nullptr;
    QFrame* panneauboutons = nullptr;
    QCheckBox* cbGrayscale = nullptr;
    QLabel* scanneractif = nullptr;
    QFrame* WIA = nullptr;
    QComboBox* res = nullptr;
    QLabel* dpi = nullptr;
    QSlider* contrast = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* Panneaulateralhaut = nullptr;
    QFrame* Panneaufonbas = nullptr;
    QToolButton* scanner = nullptr;
    QToolButton* scannerimprimer = nullptr;
    QToolButton* scannerenregistrer = nullptr;
    QToolButton* scannerexporterpdf = nullptr;
    QToolButton* scannermailer = nullptr;
    QToolButton* scannermodifier = nullptr;
    QToolButton* enregistrerimage = nullptr;
    QToolButton* imprimer = nullptr;
    QToolButton* ouvririmage = nullptr;
    QToolButton* mailer = nullptr;
    // Working area and the window's own page 1
    QFrame* Panneaufond = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QPointer<QWidget> TabSheet1;
    QPointer<QScrollArea> ScrollBox1;
    QPointer<TPRPage> PRPage1;
    QPointer<TPRLayoutPanel> PRLayoutPanel1;
    QPointer<TPRImage> PRImage1;
    // Main menu
    QMenuBar* MainMenu1 = nullptr;
    QMenu* Scanner1 = nullptr;
    QAction* Scanner2 = nullptr;
    QAction* Scannerimprimer1 = nullptr;
    QAction* scannerenregistrer1 = nullptr;
    QAction* ScanneretExporterlimageauformatPDF1 = nullptr;
    QAction* ScanneretMailerlimageauformatPDF1 = nullptr;
    QAction* SCANNERETMODIFIER1 = nullptr;
    QAction* ENREGISTRERLIMAGE1 = nullptr;
    QAction* EnregistrerToutes1 = nullptr; // "Enregistrer toutes les pages..."
    QAction* N3 = nullptr;
    QAction* Ouvriruneimage1 = nullptr;
    QAction* Maileruneimage1 = nullptr;
    QAction* N2 = nullptr;
    QAction* Configurerlimprimante1 = nullptr;
    QAction* Imprimerlimage1 = nullptr;
    QAction* N4 = nullptr;
    QAction* TexteCherchable1 = nullptr;
    QMenu* QualitePDF1 = nullptr;
    QAction* SansPerte1 = nullptr;
    QAction* Compacte1 = nullptr;
    QAction* TexteTresCompacte1 = nullptr;
    QAction* IgnorerPagesBlanches1 = nullptr;
    QAction* RectoVersoManuel1 = nullptr;
    QAction* Quitter1 = nullptr;
    QMenu* EDITION1 = nullptr;
    QAction* Annuler1 = nullptr;
    QAction* Retablir1 = nullptr;
    QMenu* OUTILS1 = nullptr;
    QMenu* ROTATIONIMAGE1 = nullptr;
    QAction* N901 = nullptr;
    QAction* N902 = nullptr;
    QAction* N1801 = nullptr;
    QAction* N6 = nullptr;
    QAction* NOIRBLANC1 = nullptr;
    QAction* N7 = nullptr;
    QAction* SELECTIONIMAGE1 = nullptr;
    QAction* CAPTUREDECRAN1 = nullptr;
    QMenu* N1 = nullptr;
    QAction* AIDE1 = nullptr;
    QAction* APROPOS1 = nullptr;
    QAction* MONSITE1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Effacer1 = nullptr;
    QAction* DeplacerGauche1 = nullptr;
    QAction* DeplacerDroite1 = nullptr;
    // Non-visual components
    QList<QIcon> ImageList1; // fifteen 16 x 16 icons shared by the tabs and the menu
    TPReport* PReport1 = nullptr;
    std::shared_ptr<TWIAScan> WIAScan; // the scanner component, with its stored settings
    Tchangerdoc* changerdoc = nullptr; // the change-document prompt, hidden until needed
    // The capture component (owned by the window); its Minimize and Delay are set per capture.
    capture::TScreenCapture* ScreenCapture1 = nullptr;
    // Image engine workspace and its dialogs (commands/OpenCommand.cpp,
    // commands/SavePrintCommands.cpp)
    imaging::TImageEngine ImageEngine1;
    imaging::TOpenImageDialog OpenImageDialog1;
    imaging::TSaveImageDialog SaveImageDialog1;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The widgets and components of the form (MainWindowWidgets.cpp).
    void BuildWidgets();
    void BuildTopPanel();
    void BuildRightPanel();
    void BuildWorkingArea();
    void BuildMenus();
    void BuildComponents();
    void BuildScanner();     // commands/ScannerChoice.cpp
    void BuildCapture();     // commands/CaptureCommand.cpp
    void BuildPaperChoice(); // commands/PaperChoice.cpp
    void BindHandlers();
    // Connects a button or menu entry to a handler through the guard.
    // A recorded command keeps its step for "Annuler".
    void Bind(QToolButton* button, void (Tvelorix_2::*handler)(QObject*), bool recorded = false);
    void Bind(QAction* action, void (Tvelorix_2::*handler)(QObject*), QObject* sender = nullptr,
              bool recorded = false);
    void MakePageControls(int n, PageKind kind, ImagePage& out, bool design);
    void PlaceOnScreen();
    void CentreOnPrimaryScreen();
    void PageControlCurrentChanged(int index);
    // The page commands whose state a step of the history keeps, in a fixed order.
    std::vector<QObject*> HistoryCommands() const;
    PageSetState CapturePageSet();
    // Puts the page set as `target` holds it; `from` is the state left, so that only what the
    // step changed is put back.
    void ApplyPageSet(const PageSetState& target, const PageSetState& from);
    void UpdateHistoryActions();
    // A tab dragged to another place (or moved by a command): renamed, and kept for "Annuler".
    void PageTabMoved(int from, int to);
    // The nearest visible page from `index` in `direction` (-1 or +1), or -1.
    int NeighbourPage(int index, int direction) const;

    Services services_;
    Thelp* help_ = nullptr;
    // The image that ZoomSource was copied from: the zoom draws onto it only.
    QPointer<TPRImage> zoomTarget_;
    // > 0 while the window itself changes the tab control (adds, hides, removes, activates):
    // such changes are not a user's page choice.
    int quietPageChanges_ = 0;
    std::unique_ptr<TPageHistory> history_;
    std::unique_ptr<TRecovery> recovery_;
    void StartRecovery();
    int recording_ = 0;      // > 0 while a recorded command runs
    int restoringPages_ = 0; // > 0 while a step is put back
    bool searchableText_ = false;
    TPdfQuality pdfQuality_ = TPdfQuality::Lossless;
    // The sources "Source" offers, in its order (commands/PaperChoice.cpp).
    std::vector<scan::OfferedSource> sources_;
    bool shownOnce_ = false;
    // The scanner list being made on its own thread; the window takes it when it arrives.
    std::thread deviceLister_;
    bool deviceListPending_ = false;
    // What the lister hands over, under a lock of its own (commands/ScannerChoice.cpp).
    std::shared_ptr<TListedDevices> listedDevices_;
    // Gives the component the list once the lister has handed it over; false before then.
    bool TakeListedDevices();
    // Runs on the window's thread when the list has arrived; the component has it already.
    void DeviceListArrived();
    // Posted by the lister when the list is there (owned by the window).
    TWakeUp* deviceListArrived_ = nullptr;
    // At the first show, while the list is made: connects the scanner of the last run by its
    // stored name, if it opens by that name alone, and shows it as the choice.
    void ConnectRememberedScanner();
    bool rememberedTried_ = false;
    bool connectingRemembered_ = false;
    // The scanner so connected, by its name as shown; empty when none was.
    QString rememberedScanner_;
    bool RememberedScannerConnected() const;
};

} // namespace velorix
