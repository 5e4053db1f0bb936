#include "PReport.h"

#include "PdfImages.h"
#include "SmoothScale.h"
#include "WorkPool.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>
#include <QSaveFile>
#include <QShowEvent>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

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

// ---------------------------------------------------------------------------------------------

TPRImage::TPRImage(QWidget* parent)
    : TPRItem(parent), FRandom(static_cast<std::minstd_rand::result_type>(
                           std::chrono::system_clock::now().time_since_epoch().count())) {}

// Shared by the picture's owner and the task compressing it; the task holds its own copy of
// the picture, so the owner may change or go in the meantime.
struct TPRImage::TPreparedStream {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> dropped{false};
    std::shared_ptr<const std::string> stream; // null when it failed or was dropped
    QImage picture; // a pending scaled picture, made by the task; null when it was not
};

TPRImage::~TPRImage() {
    DropPreparedStream();
    DropSourceStream();
}

void TPRImage::DropPreparedStream() {
    if (FPrepared != nullptr) {
        FPrepared->dropped = true; // a task not started yet then does nothing
        FPrepared.reset();
    }
}

void TPRImage::DropSourceStream() {
    if (FSourcePrepared != nullptr) {
        FSourcePrepared->dropped = true;
        FSourcePrepared.reset();
    }
    FSourceKey = 0;
}

const QImage& TPRImage::Picture() const {
    if (ScalePending()) {
        // While a scale is pending, a prepared stream belongs to it and makes the picture too.
        QImage made;
        if (FPrepared != nullptr) {
            std::unique_lock lock(FPrepared->mutex);
            FPrepared->finished.wait(lock, [this] { return FPrepared->done; });
            made = std::exchange(FPrepared->picture, QImage());
        }
        // Kept pending when making it fails, so nothing is lost.
        FPicture = made.isNull() ? SmoothScaled(FScaleSource, FScaleSize) : made;
        FScaleSource = QImage();
    }
    return FPicture;
}

void TPRImage::SetPicture(const QImage& value) {
    const bool wasPending = ScalePending();
    FScaleSource = QImage();
    // The same pixels again (a shared copy) keep their stream.
    if (wasPending || value.isNull() || value.cacheKey() != FPicture.cacheKey()) {
        DropPreparedStream();
    }
    // The picture a scale started from, back again: its stream still holds.
    if (FSourcePrepared != nullptr) {
        if (FPrepared == nullptr && !value.isNull() && value.cacheKey() == FSourceKey) {
            FPrepared = std::move(FSourcePrepared);
            FSourceKey = 0;
        } else {
            DropSourceStream();
        }
    }
    FPicture = value;
    update();
}

void TPRImage::SetScaledPicture(const QImage& source, QSize size) {
    if (source.isNull() || size.isEmpty() || size == source.size()) {
        SetPicture(size.isEmpty() ? QImage() : source);
        return;
    }
    if (!ScalePending() && FPrepared != nullptr && !FPicture.isNull() &&
        FPicture.cacheKey() == source.cacheKey()) {
        DropSourceStream();
        FSourcePrepared = std::move(FPrepared);
        FSourceKey = source.cacheKey();
    } else {
        DropPreparedStream();
        if (FSourceKey != source.cacheKey()) {
            DropSourceStream();
        }
    }
    FPicture = QImage(); // the last scaled picture goes now, not at the next read
    FScaleSource = source;
    FScaleSize = size;
    update();
}

void TPRImage::PrepareStream() {
    const bool scale = ScalePending();
    if (FPrepared != nullptr || (!scale && FPicture.isNull())) {
        return;
    }
    auto prepared = std::make_shared<TPreparedStream>();
    FPrepared = prepared;
    // A pending scaled picture is made by the task as well, so the window goes on painting.
    const QImage source = scale ? FScaleSource : FPicture;
    const QSize size = scale ? FScaleSize : FPicture.size();
    pdfwork::TWorkPool::Shared().Post([prepared, source, size, scale] {
        QImage picture;
        std::shared_ptr<const std::string> stream;
        if (!prepared->dropped) {
            try {
                picture = SmoothScaled(source, size);
                stream = TPdfBitmapImage::CompressPixels(picture);
            } catch (const std::exception&) {
                // Picture and Print make what is missing again and report the failure there.
            }
        }
        std::lock_guard lock(prepared->mutex);
        prepared->stream = std::move(stream);
        if (scale) {
            prepared->picture = std::move(picture);
        }
        prepared->done = true;
        prepared->finished.notify_all();
    });
}

bool TPRImage::StreamReady() const {
    if (FPrepared == nullptr) {
        return false;
    }
    std::lock_guard lock(FPrepared->mutex);
    return FPrepared->done && FPrepared->stream != nullptr;
}

bool TPRImage::StreamPending() const {
    if (FPrepared == nullptr) {
        return false;
    }
    std::lock_guard lock(FPrepared->mutex);
    return !FPrepared->done;
}

std::shared_ptr<const std::string> TPRImage::CompressedPicture() {
    if (FPrepared != nullptr) {
        std::unique_lock lock(FPrepared->mutex);
        FPrepared->finished.wait(lock, [this] { return FPrepared->done; });
        if (FPrepared->stream != nullptr) {
            return FPrepared->stream;
        }
    }
    return TPdfBitmapImage::CompressPixels(Picture());
}

void TPRImage::SetPictureData(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        SetPicture(QImage());
        return;
    }
    if (!bytes.startsWith("BM")) {
        throw std::runtime_error("only bitmap image is allowed.");
    }
    const QImage image = QImage::fromData(bytes, "BMP");
    if (image.isNull()) {
        throw std::runtime_error("Image bitmap illisible.");
    }
    SetPicture(image);
}

void TPRImage::SetStretch(bool value) {
    if (value == FStretch) {
        return;
    }
    FStretch = value;
    update();
}

std::string TPRImage::XObjectName(TPdfDoc& doc) {
    const std::string base = objectName().toStdString();
    // An unnamed image would share the empty name with every other unnamed image of the
    // document and print someone else's picture: it always gets a numbered name of its own.
    if (FSharedImage && !base.empty()) {
        return base;
    }
    const std::string stem = base.empty() ? std::string("PRImage") : base;
    unsigned n = static_cast<unsigned>(FRandom() % 65534u);
    for (int tries = 0; tries < 65535; ++tries) {
        std::string candidate = stem + std::to_string(n);
        if (doc.FindXObject(candidate) == nullptr) {
            return candidate;
        }
        n = (n + 1) % 65536u;
    }
    throw EPdfException("image count over max value..");
}

void TPRImage::Print(TPRCanvas* ACanvas, const QRect& ARect) {
    const QImage& picture = Picture();
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0) {
        return;
    }
    TPRPage* page = Page();
    if (page == nullptr) {
        return; // not on a page: there is no page height to place it by
    }
    TPdfCanvas* pdf = ACanvas->PdfCanvas();
    TPdfDoc& doc = pdf->Document();
    const std::string name = XObjectName(doc);
    if (doc.FindXObject(name) == nullptr) {
        doc.AddXObject(name, TPdfBitmapImage::CreateCompressedImage(picture, CompressedPicture()));
    }

    const int pageHeight = page->height();
    const int left = ARect.x();
    const int top = ARect.y();
    const int bottom = ARect.y() + ARect.height();
    if (FStretch) {
        pdf->DrawXObject(left, pageHeight - bottom, width(), height(), name);
    } else {
        const int pw = picture.width();
        const int ph = picture.height();
        pdf->DrawXObjectEx(left, pageHeight - top - ph, pw, ph, left, pageHeight - top - height(),
                           width(), height(), name);
    }
}

void TPRImage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (ScalePending() && !FStretch) {
        // Only what shows is scaled: the part of the scaled picture inside the area to paint.
        const QRect part = event->rect() & rect() & QRect(QPoint(0, 0), FScaleSize);
        const QImage pixels = SmoothScaledPart(FScaleSource, FScaleSize, part);
        if (!pixels.isNull()) {
            painter.drawImage(part.topLeft(), pixels);
        }
        return;
    }
    if (ScalePending()) {
        try {
            Picture();
        } catch (const std::exception&) {
            return; // too large to make: the panel shows through, the source stays pending
        }
    }
    if (!FPicture.isNull()) {
        if (FStretch) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(rect(), FPicture);
        } else {
            painter.drawImage(0, 0, FPicture);
        }
        return;
    }
    // No picture yet: show where the image sits and which one it is.
    painter.drawText(QRect(4, 4, std::max(0, width() - 4), std::max(0, height() - 4)),
                     Qt::AlignLeft | Qt::AlignTop, objectName());
    painter.setPen(QPen(QColor(0, 0, 255), 1, Qt::DotLine));
    const QPoint corners[] = {QPoint(0, 0), QPoint(width() - 1, 0),
                              QPoint(width() - 1, height() - 1), QPoint(0, height() - 1)};
    painter.drawPolygon(corners, 4);
}

// ---------------------------------------------------------------------------------------------

namespace {

// The messages of a file that cannot be created or written, with the system's reason.
[[noreturn]] void ThrowCreateError(const QString& shownName, const QFileDevice& file) {
    throw EFCreateError(QStringLiteral("Impossible de créer le fichier \"%1\". %2")
                            .arg(shownName, file.errorString())
                            .toStdString());
}

[[noreturn]] void ThrowWriteError(const QString& shownName, const QFileDevice& file) {
    throw EWriteError(QStringLiteral("Impossible d'écrire le fichier \"%1\". %2")
                          .arg(shownName, file.errorString())
                          .toStdString());
}

// Ends a writing that its caller no longer wants.
struct TWriteCancelled {};

// Writes the PDF straight into the save file; a failed write makes the whole save fail.
class TPRSaveFileStream : public TPdfOutputStream {
public:
    TPRSaveFileStream(QSaveFile& file, QString shownName,
                      const std::atomic<bool>* cancelled = nullptr)
        : FFile(file), FShownName(std::move(shownName)), FCancelled(cancelled) {}

    void Write(const char* data, std::size_t size) override {
        if (size == 0) {
            return;
        }
        if (FCancelled != nullptr && FCancelled->load()) {
            throw TWriteCancelled{};
        }
        if (FFile.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size)) {
            ThrowWriteError(FShownName, FFile);
        }
        FCount += static_cast<std::int64_t>(size);
    }
    std::int64_t Position() const override { return FCount; }
    void Rewind() override {
        // Only ever called before the first byte: the save file starts empty.
        if (FCount != 0 && !FFile.seek(0)) {
            throw EPdfException("Rewind --cannot seek.");
        }
        FCount = 0;
    }

private:
    QSaveFile& FFile;
    QString FShownName;
    const std::atomic<bool>* FCancelled;
    std::int64_t FCount = 0;
};

} // namespace

double PRDateTimeNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return static_cast<double>(QDate(1899, 12, 30).daysTo(now.date())) +
           now.time().msecsSinceStartOfDay() / 86400000.0;
}

TPReport::TPReport(QObject* parent)
    : TAbstractPReport(parent), FCreationDate(PRDateTimeNow()),
      FCanvas(std::make_unique<TPRCanvas>()) {}

TPReport::~TPReport() = default;

void TPReport::CheckClosed(const char* message) const {
    if (FDoc != nullptr) {
        throw EPdfInvalidOperation(message);
    }
}

void TPReport::SetAuthor(const QString& value) {
    CheckClosed("SetAuthor --invalid operation.");
    FAuthor = value;
}

void TPReport::SetCreationDate(double value) {
    CheckClosed("SetCreationDate --invalid operation.");
    FCreationDate = value;
}

void TPReport::SetCreator(const QString& value) {
    CheckClosed("SetCreator --invalid operation.");
    FCreator = value;
}

void TPReport::SetKeywords(const QString& value) {
    CheckClosed("SetKeyWords --invalid operation.");
    FKeywords = value;
}

void TPReport::SetModDate(double value) {
    CheckClosed("SetModDate --invalid operation.");
    FModDate = value;
}

void TPReport::SetSubject(const QString& value) {
    CheckClosed("SetSubject --invalid operation.");
    FSubject = value;
}

void TPReport::SetTitle(const QString& value) {
    CheckClosed("SetTitle --invalid operation.");
    FTitle = value;
}

void TPReport::SetPageLayout(TPdfPageLayout value) {
    CheckClosed("SetPageLayout --invalid operation.");
    FPageLayout = value;
}

void TPReport::SetPageMode(TPdfPageMode value) {
    CheckClosed("SetPageMode --invalid operation.");
    FPageMode = value;
}

void TPReport::SetNonFullScreenPageMode(TPdfPageMode value) {
    CheckClosed("SetNonFullScreenPageMode --invalid operation.");
    FNonFullScreenPageMode = value == pmFullScreen ? pmUseNone : value;
}

void TPReport::SetUseOutlines(bool value) {
    CheckClosed("SetUseOutlines --invalid operation.");
    FUseOutlines = value;
}

void TPReport::SetViewerPreference(const TPdfViewerPreferences& value) {
    CheckClosed("SetViewerPreference --invalid operation.");
    FViewerPreference = value;
}

void TPReport::SetClock(TPdfClock clock) {
    FClock = std::move(clock);
    if (FDoc != nullptr) {
        FDoc->SetClock(FClock);
    }
}

void TPReport::BeginDoc() {
    if (FDoc != nullptr) {
        Abort();
    }
    // Built aside and kept only when complete, so a failure leaves no half-made document open.
    auto doc = std::make_unique<TPdfDoc>();
    if (FClock) {
        doc->SetClock(FClock);
    }
    doc->SetUseOutlines(FUseOutlines);
    doc->SetCompressionMethod(FCompressionMethod);
    doc->NewDocument();

    TPROutlineRoot* outlineRoot = nullptr;
    if (FUseOutlines) {
        TPdfOutlineRoot& root = doc->OutlineRoot();
        auto wrapper = std::make_unique<TPROutlineRoot>(root);
        outlineRoot = wrapper.get();
        root.SetData(std::move(wrapper));
    }

    TPdfCatalog& catalog = doc->Root();
    catalog.SetPageMode(FPageMode);
    catalog.SetPageLayout(FPageLayout);
    if (FNonFullScreenPageMode != pmUseNone) {
        catalog.SetNonFullScreenPageMode(FNonFullScreenPageMode);
    }
    if (!FViewerPreference.empty()) {
        catalog.SetViewerPreference(FViewerPreference);
    }

    TPdfInfo& info = doc->Info();
    info.SetAuthor(FAuthor.toStdString());
    info.SetCreationDate(FCreationDate);
    info.SetCreator(FCreator.toStdString());
    info.SetKeywords(FKeywords.toStdString());
    info.SetModDate(FModDate);
    info.SetSubject(FSubject.toStdString());
    info.SetTitle(FTitle.toStdString());

    FDoc = std::move(doc);
    FOutlineRoot = outlineRoot;
}

void TPReport::Print(TPRPage* page) {
    if (FDoc == nullptr) {
        throw EPdfInvalidOperation("Print --invalid operation.");
    }
    if (page == nullptr) {
        throw EPdfInvalidValue("Print --page is null.");
    }
    FDoc->AddPage();
    FCanvas->SetPdfCanvas(&FDoc->Canvas());
    page->Print(FCanvas.get());
}

namespace {

void ThrowUnlessCommitted(QSaveFile& file, const QString& shownName) {
    if (file.commit()) {
        return;
    }
    // The old file could not be replaced (on Windows, a viewer may hold it open).
    if (file.error() == QFileDevice::RenameError) {
        ThrowCreateError(shownName, file);
    }
    ThrowWriteError(shownName, file);
}

} // namespace

void TPReport::CheckWritable() const {
    if (FDoc == nullptr) {
        throw EInvalidOperation("document is null..");
    }
    // Refuse before the file is touched: a document without a page cannot be written.
    if (!FDoc->Canvas().HasPage()) {
        throw EPdfInvalidOperation("La page est vide");
    }
}

QString TPReport::ShownFileName() const {
    return QDir::toNativeSeparators(QFileInfo(FFileName).absoluteFilePath());
}

void TPReport::OpenSaveFile(QSaveFile& file) const {
    if (!file.open(QIODevice::WriteOnly)) {
        ThrowCreateError(ShownFileName(), file);
    }
}

void TPReport::EndDoc() {
    CheckWritable();
    // The new file is written beside the old one and takes its place only once complete.
    QSaveFile file(FFileName);
    OpenSaveFile(file);
    TPRSaveFileStream stream(file, ShownFileName());
    FDoc->SaveToStream(stream);
    ThrowUnlessCommitted(file, ShownFileName());
    Abort();
}

bool TPReport::EndDoc(const TWriteWait& wait) {
    CheckWritable();
    QSaveFile file(FFileName);
    OpenSaveFile(file);
    const QString shownName = ShownFileName();
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    // Only this thread touches the file and the document until it ends; the commit, which
    // replaces the old file, stays here, so a cancel can never leave half of a new one.
    std::thread writer([&] {
        try {
            TPRSaveFileStream stream(file, shownName, &cancelled);
            FDoc->SaveToStream(stream);
            if (!file.flush()) {
                ThrowWriteError(shownName, file);
            }
#ifdef Q_OS_UNIX
            ::fdatasync(file.handle()); // the commit's own sync then has little left to do
#endif
        } catch (const TWriteCancelled&) {
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    bool goOn = true;
    try {
        goOn = wait([&finished] { return finished.load(); });
    } catch (...) {
        cancelled = true;
        writer.join();
        throw;
    }
    cancelled = !goOn;
    writer.join();
    if (failure != nullptr) {
        std::rethrow_exception(failure);
    }
    if (!goOn) {
        file.cancelWriting(); // the unfinished file goes; the old one stays as it was
        Abort();
        return false;
    }
    ThrowUnlessCommitted(file, shownName);
    Abort();
    return true;
}

void TPReport::Abort() {
    FCanvas->SetPdfCanvas(nullptr);
    FOutlineRoot = nullptr;
    FDoc.reset();
}

TPRDestination* TPReport::CreateDestination() {
    if (FDoc == nullptr) {
        throw EPdfInvalidOperation("CreateDestination --invalid operation.");
    }
    TPdfDestination& destination = FDoc->CreateDestination();
    auto wrapper = std::make_unique<TPRDestination>(destination);
    TPRDestination* result = wrapper.get();
    destination.SetData(std::move(wrapper));
    result->SetTop(-10);
    result->SetZoom(1);
    return result;
}

void TPReport::SetOpenAction(TPRDestination* destination) {
    if (FDoc == nullptr) {
        throw EPdfInvalidOperation("SetOpenAction --invalid operation.");
    }
    FDoc->Root().SetOpenAction(destination != nullptr ? &destination->Data() : nullptr);
}
