// Report layer: the component that turns report pages into the pages of a PDF file. The page
// controls it prints are in PRControls.h and PRImage.h.
#pragma once

#include "pdf/PdfDoc.h"
#include "report/PRControls.h"
#include "report/PRImage.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

namespace velorix::files {
class TAtomicFile;
}

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

    // Pictures print their recognised text (PrepareText) as invisible text; off, the file is
    // exactly what it is without recognition.
    bool SearchableText() const { return FCanvas->SearchableText(); }
    void SetSearchableText(bool value) { FCanvas->SetSearchableText(value); }

    // The quality every picture is written in (lossless: the bytes as they always were).
    TPdfQuality Quality() const { return FCanvas->Quality(); }
    void SetQuality(TPdfQuality value) { FCanvas->SetQuality(value); }

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
    void OpenSaveFile(velorix::files::TAtomicFile& file) const;
    void CommitSaveFile(velorix::files::TAtomicFile& file) const;

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
