#include "report/PRControls.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>

#include <algorithm>

namespace {

// Qt hides a widget that changes parent; a report control keeps showing, as it did before.
void MoveControl(QWidget* control, QWidget* parent) {
    const bool hidden =
        control->isHidden() && control->testAttribute(Qt::WA_WState_ExplicitShowHide);
    control->QWidget::setParent(parent);
    if (parent != nullptr && !hidden) {
        control->show();
    }
}

// Report controls are visible unless hidden: one made on a parent already on screen shows at
// once, where Qt would leave it hidden until shown.
void ShowOnShownParent(QWidget* control) {
    if (control->parentWidget() != nullptr && control->parentWidget()->isVisible()) {
        control->show();
    }
}

void RealignContainer(QWidget* container) {
    if (auto* page = qobject_cast<TPRPage*>(container)) {
        page->Realign();
    } else if (auto* panel = qobject_cast<TPRPanel*>(container)) {
        panel->Realign();
    }
}

// Places the aligned children of container inside area: top ones first, then bottom, left,
// right, and the client one takes what is left. Explicitly hidden children take no room.
void AlignChildren(QWidget* container, const QRect& area) {
    int left = area.x();
    int top = area.y();
    int right = area.x() + area.width();
    int bottom = area.y() + area.height();
    for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (QObject* object : container->children()) {
            auto* w = qobject_cast<QWidget*>(object);
            if (w == nullptr || w->isWindow()) {
                continue;
            }
            auto* aligned = dynamic_cast<TPRAlignedControl*>(w);
            if (aligned == nullptr || aligned->Align() != pass) {
                continue;
            }
            if (w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide)) {
                continue;
            }
            const int freeWidth = std::max(0, right - left);
            const int freeHeight = std::max(0, bottom - top);
            switch (pass) {
            case alTop:
                w->setGeometry(left, top, freeWidth, w->height());
                top += w->height();
                break;
            case alBottom:
                w->setGeometry(left, bottom - w->height(), freeWidth, w->height());
                bottom -= w->height();
                break;
            case alLeft:
                w->setGeometry(left, top, w->width(), freeHeight);
                left += w->width();
                break;
            case alRight:
                w->setGeometry(right - w->width(), top, w->width(), freeHeight);
                right -= w->width();
                break;
            case alClient:
                w->setGeometry(left, top, freeWidth, freeHeight);
                break;
            case alNone:
                break;
            }
            if (auto* panel = qobject_cast<TPRPanel*>(w)) {
                panel->Realign();
            }
        }
    }
    // Panels placed by hand keep their bounds but still arrange their own children.
    for (QObject* object : container->children()) {
        auto* panel = qobject_cast<TPRPanel*>(object);
        if (panel != nullptr && panel->Align() == alNone) {
            panel->Realign();
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------

void TPRAlignedControl::SetAlign(TAlign value) {
    if (value == FAlign) {
        return;
    }
    FAlign = value;
    if (FSelf->parentWidget() != nullptr) {
        RealignContainer(FSelf->parentWidget());
    }
}

// ---------------------------------------------------------------------------------------------

TPRPage::TPRPage(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);
    resize(596, 842);
}

void TPRPage::SetMargin(int& margin, int value) {
    if (value == margin || value < 0) {
        return;
    }
    // The same width test for all four margins: a margin of half the width leaves no room.
    if (value < width() / 2) {
        margin = value;
        Realign();
    }
}

void TPRPage::SetBounds(int left, int top, int w, int h) {
    setGeometry(left, top, w, h);
    Realign();
}

QRect TPRPage::AlignArea() const {
    const QRect client = contentsRect();
    return QRect(client.x() + FMarginLeft, client.y() + FMarginTop,
                 client.width() - FMarginLeft - FMarginRight,
                 client.height() - FMarginTop - FMarginBottom);
}

void TPRPage::Realign() {
    AlignChildren(this, AlignArea());
}

void TPRPage::Print(TPRCanvas* ACanvas) {
    if (ACanvas == nullptr || ACanvas->PdfCanvas() == nullptr) {
        throw EPdfInvalidOperation("Print --canvas is null.");
    }
    // Children may still wait for a realign when the page was resized the Qt way while hidden.
    Realign();
    TPdfCanvas* pdf = ACanvas->PdfCanvas();
    pdf->SetPageHeight(height());
    pdf->SetPageWidth(width());
    if (FOnPrintPage) {
        FOnPrintPage(this, ACanvas);
    }
    for (QObject* object : children()) {
        if (auto* panel = qobject_cast<TPRPanel*>(object)) {
            panel->Print(ACanvas, BoundsRect(panel));
        }
    }
}

void TPRPage::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    Realign();
}

void TPRPage::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    Realign();
}

// ---------------------------------------------------------------------------------------------

TPRPanel::TPRPanel(QWidget* parent) : QWidget(parent), TPRAlignedControl(this) {
    resize(185, 100);
    ShowOnShownParent(this);
}

void TPRPanel::setParent(QWidget* parent) {
    MoveControl(this, parent);
    if (parent != nullptr) {
        RealignContainer(parent);
    }
}

TPRPage* TPRPanel::Page() const {
    QWidget* parent = parentWidget();
    if (auto* page = qobject_cast<TPRPage*>(parent)) {
        return page;
    }
    if (auto* panel = qobject_cast<TPRPanel*>(parent)) {
        return panel->Page();
    }
    return nullptr;
}

void TPRPanel::Realign() {
    AlignChildren(this, rect());
}

void TPRPanel::Print(TPRCanvas* ACanvas, const QRect& ARect) {
    for (QObject* object : children()) {
        auto* w = qobject_cast<QWidget*>(object);
        if (w == nullptr) {
            continue;
        }
        const QRect bounds = BoundsRect(w).translated(ARect.x(), ARect.y());
        if (auto* panel = qobject_cast<TPRPanel*>(w)) {
            panel->Print(ACanvas, bounds);
        } else if (auto* item = qobject_cast<TPRItem*>(w)) {
            if (item->Printable()) {
                item->Print(ACanvas, bounds);
            }
        }
    }
}

void TPRPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}

void TPRPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Realign();
}

// ---------------------------------------------------------------------------------------------

TPRLayoutPanel::TPRLayoutPanel(QWidget* parent) : TPRPanel(CheckedParent(parent)) {}

QWidget* TPRLayoutPanel::CheckedParent(QWidget* parent) {
    if (parent != nullptr && qobject_cast<TPRPanel*>(parent) == nullptr &&
        qobject_cast<TPRPage*>(parent) == nullptr) {
        throw std::runtime_error(std::string("TPRPage can not set on ") +
                                 parent->metaObject()->className());
    }
    return parent;
}

void TPRLayoutPanel::setParent(QWidget* parent) {
    TPRPanel::setParent(CheckedParent(parent));
}

void TPRLayoutPanel::Print(TPRCanvas* ACanvas, const QRect& ARect) {
    if (FBeforePrint) {
        FBeforePrint(this, ACanvas, ARect);
    }
    TPRPanel::Print(ACanvas, ARect);
    if (FAfterPrint) {
        FAfterPrint(this, ACanvas, ARect);
    }
}

// ---------------------------------------------------------------------------------------------

TPRItem::TPRItem(QWidget* parent) : QWidget(CheckedParent(parent)), TPRAlignedControl(this) {
    resize(100, 30);
    ShowOnShownParent(this);
}

QWidget* TPRItem::CheckedParent(QWidget* parent) {
    if (parent != nullptr && qobject_cast<TPRPanel*>(parent) == nullptr) {
        throw std::runtime_error("this component must set on TPRPanel");
    }
    return parent;
}

void TPRItem::setParent(QWidget* parent) {
    MoveControl(this, CheckedParent(parent));
    if (parent != nullptr) {
        RealignContainer(parent);
    }
}

TPRPage* TPRItem::Page() const {
    auto* panel = qobject_cast<TPRPanel*>(parentWidget());
    return panel != nullptr ? panel->Page() : nullptr;
}

void TPRItem::Print(TPRCanvas*, const QRect&) {}
