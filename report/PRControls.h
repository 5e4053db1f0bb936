// Report page controls: the page, the panels and the items laid out on them, shown in the
// window and printed as one PDF page each.
#pragma once

#include "pdf/PdfDoc.h"
#include "pdf/PdfQuality.h"

#include <QFrame>
#include <QRect>
#include <QWidget>

#include <functional>

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

// What pages and their handlers draw with while a page prints.
class TPRCanvas {
public:
    TPdfCanvas* PdfCanvas() const { return FPdfCanvas; }
    void SetPdfCanvas(TPdfCanvas* value) { FPdfCanvas = value; }
    // Pictures print their recognised text under them (invisible, searchable).
    bool SearchableText() const { return FSearchableText; }
    void SetSearchableText(bool value) { FSearchableText = value; }
    // The quality pictures are written in.
    TPdfQuality Quality() const { return FQuality; }
    void SetQuality(TPdfQuality value) { FQuality = value; }

private:
    TPdfCanvas* FPdfCanvas = nullptr;
    bool FSearchableText = false;
    TPdfQuality FQuality = TPdfQuality::Lossless;
};
