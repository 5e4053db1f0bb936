// The page set: pages made of tab sheet, scroll box, report page, layout panel and report image,
// found by name; the active page; full-page state, zoom, hiding and clearing pages.
#include "app/window/MainWindow.h"

#include "report/PReport.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace velorix {

namespace {

constexpr int kScannedIcon = 11;
constexpr int kOpenedIcon = 8;

} // namespace

void Tvelorix_2::MakePageControls(int n, PageKind kind, ImagePage& out, bool design) {
    QuietPageChanges quiet(quietPageChanges_);

    auto* sheet = new QWidget;
    sheet->setObjectName(design ? QStringLiteral("TabSheet%1").arg(n)
                                : QStringLiteral("TabeSheet%1").arg(n));
    const int icon = kind == PageKind::Scanned ? kScannedIcon : kOpenedIcon;
    PageControl1->addTab(sheet, ImageList1.value(icon), QString::number(n));

    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* box = new QScrollArea(sheet);
    if (design)
        box->setObjectName(QStringLiteral("ScrollBox1"));
    box->setWidgetResizable(false);
    box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(box);

    auto* page = new TPRPage;
    page->setObjectName(design ? QStringLiteral("PRPage%1").arg(n)
                               : QStringLiteral("Page%1").arg(n));
    page->SetMarginTop(0);
    page->SetMarginLeft(0);
    page->SetMarginRight(0);
    page->SetMarginBottom(0);
    page->SetBounds(0, 0, 600, 800);
    box->setWidget(page); // shows the page; added pages stay hidden until they hold a picture
    page->hide();
    if (!design && kind != PageKind::Scanned) {
        page->SetOnPrintPage(
            [this](TPRPage* sender, TPRCanvas* canvas) { PRPage1PrintPage(sender, canvas); });
    }

    auto* panelControl = new TPRLayoutPanel(page);
    panelControl->setObjectName(QStringLiteral("PRLayoutPanel%1").arg(n));
    panelControl->SetAlign(alClient);

    auto* image = new TPRImage(panelControl);
    image->setObjectName(QStringLiteral("PRImage%1").arg(n));
    image->SetAlign(alClient);
    image->SetStretch(kind == PageKind::Scanned);
    image->SetRecogniseText(searchableText_);
    image->SetPdfQuality(pdfQuality_);
    page->Realign();

    out = {sheet, box, page, panelControl, image};
}

ImagePage Tvelorix_2::AddImagePage(int n, PageKind kind) {
    ImagePage page;
    MakePageControls(n, kind, page, false);
    return page;
}

void Tvelorix_2::RemoveLastPage() {
    const int last = PageControl1->count() - 1;
    if (last <= 0)
        return; // page 1 stays
    QuietPageChanges quiet(quietPageChanges_);
    QWidget* sheet = PageControl1->widget(last);
    PageControl1->removeTab(last);
    delete sheet;
}

TPRImage* Tvelorix_2::FillFirstPage(PageKind kind) {
    // Cleared away (kept only for "Annuler"), the window's own page is no page to fill.
    if (!PRPage1 || !PRImage1 || PageControl1->indexOf(TabSheet1) != 0)
        return nullptr;
    PRPage1->SetMarginTop(0);
    PRPage1->SetMarginLeft(0);
    PRPage1->SetMarginRight(0);
    PRPage1->SetMarginBottom(0);
    PRPage1->SetBounds(0, 0, 600, 800);
    PRImage1->SetAlign(alClient);
    PRImage1->SetStretch(kind == PageKind::Scanned);
    PRPage1->Realign();
    return PRImage1;
}

TPRImage* Tvelorix_2::ActivePageImage() const {
    const int i = PageControl1->currentIndex();
    // No active page: every tab hidden, or none left.
    if (i < 0 || !PageControl1->isTabVisible(i))
        return nullptr;
    // Names equal positions: the window's own page 1, while first, is PRImage1 too.
    return FindPageImage(i + 1);
}

int Tvelorix_2::PageCount() const {
    return PageControl1->count();
}

TPRImage* Tvelorix_2::FindPageImage(int n) const {
    return findChild<TPRImage*>(QStringLiteral("PRImage%1").arg(n));
}

TPRPage* Tvelorix_2::FindReportPage(int n) const {
    return findChild<TPRPage*>(QStringLiteral("Page%1").arg(n));
}

void Tvelorix_2::ActivatePage(int index) {
    QuietPageChanges quiet(quietPageChanges_);
    PageControl1->setCurrentIndex(index);
}

void Tvelorix_2::SelectNextPage() {
    const int count = PageControl1->count();
    if (count == 0)
        return;
    const int from = PageControl1->currentIndex();
    for (int step = 1; step <= count; ++step) {
        const int i = (from + step) % count;
        if (PageControl1->isTabVisible(i)) {
            // Not quiet: this is a page change like the user's.
            PageControl1->setCurrentIndex(i);
            return;
        }
    }
}

void Tvelorix_2::PageControlCurrentChanged(int) {
    if (quietPageChanges_ == 0)
        Guarded([this] { PageControl1Change(PageControl1); });
}

void Tvelorix_2::TakeZoomSource(TPRImage* image) {
    zoomTarget_ = image;
    // Entering a zoomed page must not make its enlargement here: it is made on the pool, ahead
    // of an export's backlog, while the page paints only what shows of it.
    ZoomSource = TZoomSource::Of(image);
    if (ZoomSource.Pending())
        image->HurryScale();
}

void Tvelorix_2::SetZoomPosition(int position) {
    // QScrollBar signals only real changes: the same position runs nothing.
    Zoom1->setValue(position);
}

void Tvelorix_2::SetFullPageBox(bool checked) {
    // QCheckBox signals only real changes: the same state runs nothing.
    auto_->setChecked(checked);
}

void Tvelorix_2::EnablePageCommands() {
    for (QWidget* w :
         std::initializer_list<QWidget*>{imprimer, enregistrerimage, mailer, effacer, moins90,
                                         plus90, plus180, noiretblanc, selection, auto_})
        w->setEnabled(true);
    for (QAction* a : {Imprimerlimage1, Maileruneimage1, ENREGISTRERLIMAGE1, EnregistrerToutes1})
        a->setEnabled(true);
    OUTILS1->menuAction()->setEnabled(true);
}

void Tvelorix_2::DisablePageCommands() {
    for (QWidget* w :
         std::initializer_list<QWidget*>{imprimer, enregistrerimage, mailer, moins90, plus90,
                                         plus180, noiretblanc, selection, auto_})
        w->setEnabled(false);
    for (QAction* a : {Imprimerlimage1, Maileruneimage1, ENREGISTRERLIMAGE1, EnregistrerToutes1})
        a->setEnabled(false);
    OUTILS1->menuAction()->setEnabled(false);
    Zoom1->setEnabled(false);
}

void Tvelorix_2::PageControl1Change(QObject*) {
    // ZoomSource still belongs to the page that was left: the reset must not draw it here.
    zoomTarget_ = nullptr;
    SetZoomPosition(0);
    TPRImage* image = ActivePageImage();
    if (!image)
        return;
    TakeZoomSource(image);
    SetFullPageBox(image->Stretch());
}

void Tvelorix_2::autoClick(QObject*) {
    const bool full = auto_->isChecked();
    if (TPRImage* image = ActivePageImage()) {
        image->SetStretch(full);
        image->update();
    }
    SetZoomPosition(0);
    Zoom1->setEnabled(!full);
}

void Tvelorix_2::zoom1Change(QObject*) {
    Zoom1->setEnabled(true);
    const int p = Zoom1->value();
    TPRImage* image = ActivePageImage();
    // Only the page that ZoomSource was copied from may receive a zoomed copy of it.
    if (!image || image != zoomTarget_ || ZoomSource.isNull())
        return;
    if (p == 0) {
        ZoomSource.GiveBackTo(image); // still pending when not made yet
    } else {
        // Made when something reads the page's picture; a step only paints what shows.
        const QImage& source = ZoomSource.Image();
        image->SetScaledPicture(source, QSize(source.width() + p, source.height() + p));
    }
    image->update();
}

void Tvelorix_2::Effacer1Click(QObject*) {
    if (PageControl1->count() <= 1)
        return;
    const int i = PageControl1->currentIndex();
    if (i < 0)
        return;
    QuietPageChanges quiet(quietPageChanges_);
    PageControl1->setTabVisible(i, false);
}

void Tvelorix_2::effacerClick(QObject*) {
    if (!FirstPageFilled)
        return;
    if (!prompts().confirm(QStringLiteral("Voulez-vous effacer toutes les images actuelles?")))
        return;
    {
        QuietPageChanges quiet(quietPageChanges_);
        for (int i = PageControl1->count() - 1; i >= 0; --i) {
            QWidget* sheet = PageControl1->widget(i);
            PageControl1->removeTab(i);
            // A recorded clear keeps the pages, out of the window, for "Annuler" to put back.
            if (recording_ > 0)
                sheet->setParent(nullptr);
            else
                delete sheet; // its scroll box, report page, layout panel and image go with it
        }
    }
    DisablePageCommands();
}

} // namespace velorix
