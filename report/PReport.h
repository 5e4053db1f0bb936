// Report layer: on-screen report page controls and the component that turns them into PDF pages.
#pragma once

#include "PdfDoc.h"

#include <QFrame>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

class QSaveFile;
class TPRCanvas;
class TPRPage;
class TPRPanel;
class TPRLayoutPanel;

// Where a control places itself inside its parent's alignment area.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Alignment shared by the panels and the items: the parent page or panel computes the bounds.
class TPRAlignedControl {
public:
    virtual ~TPRAlignedControl() = default;
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value);

protected:
    explicit TPRAlignedControl(QWidget* self) : FSelf(self) {}

private:
    QWidget* FSelf;
    TAlign FAlign = alNone;
};

// Bounds of a control in its parent's coordinates. Printing maps a control's bottom edge with
// y + height (PDF y = page height - that), never with QRect::bottom(), which is one pixel short.
inline QRect BoundsRect(const QWidget* w) {
    return QRect(w->x(), w->y(), w->width(), w->height());
}

// Handler run while a page prints, with the PDF page current.
using TPRPrintPageEvent = std::function<void(TPRPage* Sender, TPRCanvas* ACanvas)>;
// Handler run around the printing of a layout panel.
using TPRPrintPanelEvent =
    std::function<void(TPRLayoutPanel* Sender, TPRCanvas* ACanvas, const QRect& Rect)>;

// A report page: one PDF page, one pixel per point. Its raised 1-pixel bevel makes the area for
// aligned children 1 pixel smaller than the page on every side, less the margins.
class TPRPage : public QFrame {
    Q_OBJECT
public:
    explicit TPRPage(QWidget* parent = nullptr);

    int MarginTop() const { return FMarginTop; }
    int MarginLeft() const { return FMarginLeft; }
    int MarginRight() const { return FMarginRight; }
    int MarginBottom() const { return FMarginBottom; }
    void SetMarginTop(int value) { SetMargin(FMarginTop, value); }
    void SetMarginLeft(int value) { SetMargin(FMarginLeft, value); }
    void SetMarginRight(int value) { SetMargin(FMarginRight, value); }
    void SetMarginBottom(int value) { SetMargin(FMarginBottom, value); }

    const TPRPrintPageEvent& OnPrintPage() const { return FOnPrintPage; }
    void SetOnPrintPage(TPRPrintPageEvent handler) { FOnPrintPage = std::move(handler); }

    // Size changes that also realign the children at once, even while the page is hidden (a
    // hidden Qt widget gets no resize event until it is shown).
    void SetBounds(int left, int top, int width, int height);
    void SetWidth(int value) { SetBounds(x(), y(), value, height()); }
    void SetHeight(int value) { SetBounds(x(), y(), width(), value); }

    // The area given to aligned children.
    QRect AlignArea() const;
    // Places the aligned children (and theirs). Cheap; call after resize() done the Qt way.
    void Realign();

    // Turns the PDF page current on ACanvas into this page: its size, then the panels on it.
    void Print(TPRCanvas* ACanvas);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetMargin(int& margin, int value);

    int FMarginTop = 32;
    int FMarginLeft = 32;
    int FMarginRight = 32;
    int FMarginBottom = 32;
    TPRPrintPageEvent FOnPrintPage;
};

// A plain white panel holding items or further panels.
class TPRPanel : public QWidget, public TPRAlignedControl {
    Q_OBJECT
public:
    explicit TPRPanel(QWidget* parent = nullptr);

    // Moves the panel; it keeps its visibility and its new parent realigns.
    void setParent(QWidget* parent);
    // The page above this panel, or none.
    TPRPage* Page() const;
    void Realign();

    virtual void Print(TPRCanvas* ACanvas, const QRect& ARect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

// A panel that may sit on a page or a panel, with handlers around its printing.
class TPRLayoutPanel : public TPRPanel {
    Q_OBJECT
public:
    // Refuses any parent but nothing, a panel or a page (construction and moves alike).
    explicit TPRLayoutPanel(QWidget* parent = nullptr);
    void setParent(QWidget* parent);

    const TPRPrintPanelEvent& BeforePrint() const { return FBeforePrint; }
    const TPRPrintPanelEvent& AfterPrint() const { return FAfterPrint; }
    void SetBeforePrint(TPRPrintPanelEvent handler) { FBeforePrint = std::move(handler); }
    void SetAfterPrint(TPRPrintPanelEvent handler) { FAfterPrint = std::move(handler); }

    void Print(TPRCanvas* ACanvas, const QRect& ARect) override;

private:
    static QWidget* CheckedParent(QWidget* parent);

    TPRPrintPanelEvent FBeforePrint;
    TPRPrintPanelEvent FAfterPrint;
};

// Something printable placed on a panel.
class TPRItem : public QWidget, public TPRAlignedControl {
    Q_OBJECT
public:
    // Refuses any parent but nothing or a panel (construction and moves alike).
    explicit TPRItem(QWidget* parent = nullptr);
    void setParent(QWidget* parent);

    TPRPage* Page() const;
    bool Printable() const { return FPrintable; }
    void SetPrintable(bool value) { FPrintable = value; }

    virtual void Print(TPRCanvas* ACanvas, const QRect& ARect);

private:
    static QWidget* CheckedParent(QWidget* parent);

    bool FPrintable = true;
};

// A picture on a report page. The picture is always a bitmap.
class TPRImage : public TPRItem {
    Q_OBJECT
public:
    explicit TPRImage(QWidget* parent = nullptr);
    ~TPRImage() override;

    // The picture. One asked for by SetScaledPicture is made here, on the first read.
    const QImage& Picture() const;
    // A null image empties the picture. The picture is shared, not copied (QImage copies
    // on write).
    void SetPicture(const QImage& value);
    // The picture becomes source smoothly scaled to size (SmoothScaled), made only when
    // something reads it; until then painting draws just the visible part, from source. The same
    // size gives source itself, as SetPicture does. source is shared, never written.
    void SetScaledPicture(const QImage& source, QSize size);
    // A scaled picture is asked for and not made yet.
    bool ScalePending() const { return !FScaleSource.isNull(); }
    // Takes a picture as encoded file data: only a Windows bitmap (BMP) is accepted.
    void SetPictureData(const QByteArray& bytes);

    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool SharedImage() const { return FSharedImage; }
    void SetSharedImage(bool value) { FSharedImage = value; }

    // Draws the picture into ARect (page coordinates) of the PDF page being printed.
    void Print(TPRCanvas* ACanvas, const QRect& ARect) override;

    // Starts compressing the picture's image stream on the shared pool, for a picture that is
    // final; a pending scaled picture is made there too. Print takes the result (waiting if it
    // is still being made); a new picture drops it.
    void PrepareStream();
    // The compressed stream of the current picture is made and waiting for Print.
    bool StreamReady() const;
    // A compression of the current picture is still running or queued.
    bool StreamPending() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct TPreparedStream;

    std::string XObjectName(TPdfDoc& doc);
    void DropPreparedStream();
    void DropSourceStream();
    // The compressed pixels of the current picture: prepared, or made now on every core.
    std::shared_ptr<const std::string> CompressedPicture();

    std::shared_ptr<TPreparedStream> FPrepared;
    // The stream of the picture a pending scale starts from, kept while that picture may come
    // back (a zoom returning to its start); FSourceKey is that picture's cache key.
    std::shared_ptr<TPreparedStream> FSourcePrepared;
    qint64 FSourceKey = 0;
    // Made on first read while FScaleSource is set: mutable so that reading can make it.
    mutable QImage FPicture;
    mutable QImage FScaleSource;
    QSize FScaleSize;
    bool FStretch = true;
    bool FSharedImage = true;
    std::minstd_rand FRandom;
};

// ---------------------------------------------------------------------------------------------
// Report component

// Failures of the surrounding GUI runtime that the report component passes on.
class EInvalidOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The PDF file could not be created.
class EFCreateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The PDF file could not be written completely.
class EWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What pages and their handlers draw with while a page prints.
class TPRCanvas {
public:
    TPdfCanvas* PdfCanvas() const { return FPdfCanvas; }
    void SetPdfCanvas(TPdfCanvas* value) { FPdfCanvas = value; }

private:
    TPdfCanvas* FPdfCanvas = nullptr;
};

// A destination in control coordinates; owned by the PDF destination it wraps.
class TPRDestination : public TPdfOwnedData {
public:
    explicit TPRDestination(TPdfDestination& data) : FData(&data) {}
    TPdfDestination& Data() const { return *FData; }

    TPdfDestinationType DestinationType() const { return FData->DestinationType(); }
    void SetDestinationType(TPdfDestinationType value) { FData->SetDestinationType(value); }
    // Left and Right go through as given; Top and Bottom are flipped to PDF space
    // (page height - value). Negative results are stored as -1.
    void SetLeft(int value) { FData->SetElement(0, value); }
    void SetTop(int value) { FData->SetElement(1, FData->PageHeight() - value); }
    void SetRight(int value) { FData->SetElement(2, value); }
    void SetBottom(int value) { FData->SetElement(3, FData->PageHeight() - value); }
    float Zoom() const { return FData->Zoom(); }
    void SetZoom(float value) { FData->SetZoom(value); }

private:
    TPdfDestination* FData;
};

// One outline entry of the report's document.
class TPROutlineEntry : public TPdfOwnedData {
public:
    explicit TPROutlineEntry(TPdfOutlineEntry& data) : FData(&data) {}
    TPdfOutlineEntry& Data() const { return *FData; }

private:
    TPdfOutlineEntry* FData;
};

// The document's outline root; owned by it.
class TPROutlineRoot : public TPROutlineEntry {
public:
    using TPROutlineEntry::TPROutlineEntry;
};

// Non-visual base of report components, so a window can own and find them by name.
class TAbstractPReport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};

// Dates are counted in days from 30 December 1899, local time.
double PRDateTimeNow();

// Opens a PDF document, turns each report page it is given into one PDF page (one pixel per
// point) and writes the file. Use: BeginDoc, Print per page, then EndDoc or Abort.
class TPReport : public TAbstractPReport {
    Q_OBJECT
public:
    explicit TPReport(QObject* parent = nullptr);
    ~TPReport() override;

    // The document-level setters refuse (EPdfInvalidOperation) while a document is open.
    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& value) { FFileName = value; }
    const QString& Author() const { return FAuthor; }
    void SetAuthor(const QString& value);
    double CreationDate() const { return FCreationDate; }
    void SetCreationDate(double value);
    const QString& Creator() const { return FCreator; }
    void SetCreator(const QString& value);
    const QString& Keywords() const { return FKeywords; }
    void SetKeywords(const QString& value);
    double ModDate() const { return FModDate; }
    void SetModDate(double value);
    const QString& Subject() const { return FSubject; }
    void SetSubject(const QString& value);
    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& value);
    TPdfPageLayout PageLayout() const { return FPageLayout; }
    void SetPageLayout(TPdfPageLayout value);
    TPdfPageMode PageMode() const { return FPageMode; }
    void SetPageMode(TPdfPageMode value);
    TPdfPageMode NonFullScreenPageMode() const { return FNonFullScreenPageMode; }
    void SetNonFullScreenPageMode(TPdfPageMode value);
    TPdfCompressionMethod CompressionMethod() const { return FCompressionMethod; }
    void SetCompressionMethod(TPdfCompressionMethod value) { FCompressionMethod = value; }
    bool UseOutlines() const { return FUseOutlines; }
    void SetUseOutlines(bool value);
    const TPdfViewerPreferences& ViewerPreference() const { return FViewerPreference; }
    void SetViewerPreference(const TPdfViewerPreferences& value);

    // Time source of the document's dates (local time when empty); tests inject a fixed one.
    void SetClock(TPdfClock clock);

    void BeginDoc();
    void Print(TPRPage* page);
    // Writes the document to FileName and closes it. The file is replaced only by a complete
    // new one: on any failure the old file stays as it was and the document stays open.
    void EndDoc();
    // The same with the writing on a thread of its own. `wait` runs here meanwhile, and may run
    // the event loop, until the `finished` it is given says true; returning false cancels the
    // writing: then nothing is replaced, no temporary file stays, the document is dropped and
    // the result is false. Failures propagate as from EndDoc.
    using TWriteWait = std::function<bool(const std::function<bool()>& finished)>;
    bool EndDoc(const TWriteWait& wait);
    void Abort();

    TPRDestination* CreateDestination();
    void SetOpenAction(TPRDestination* destination);

    bool HasDocument() const { return FDoc != nullptr; }
    TPdfDoc* PdfDoc() const { return FDoc.get(); }
    TPRCanvas* Canvas() const { return FCanvas.get(); }
    TPROutlineRoot* OutlineRoot() const { return FOutlineRoot; }

private:
    void CheckClosed(const char* message) const;
    void CheckWritable() const;
    QString ShownFileName() const;
    void OpenSaveFile(QSaveFile& file) const;

    QString FFileName = QStringLiteral("default.pdf");
    QString FAuthor;
    double FCreationDate;
    QString FCreator;
    QString FKeywords;
    double FModDate = 0;
    QString FSubject;
    QString FTitle;
    TPdfPageLayout FPageLayout = plSinglePage;
    TPdfPageMode FPageMode = pmUseNone;
    TPdfPageMode FNonFullScreenPageMode = pmUseNone;
    TPdfCompressionMethod FCompressionMethod = cmFlateDecode;
    bool FUseOutlines = false;
    TPdfViewerPreferences FViewerPreference;
    TPdfClock FClock;

    std::unique_ptr<TPRCanvas> FCanvas;
    std::unique_ptr<TPdfDoc> FDoc;
    TPROutlineRoot* FOutlineRoot = nullptr;
};
