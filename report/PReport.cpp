#include "report/PReport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "files/AtomicFile.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using velorix::files::TAtomicFile;

// The messages of a file that cannot be created or written, with the system's reason.
[[noreturn]] void ThrowFileError(const QString& shownName, const TAtomicFile& file) {
    if (file.FailedStage() == TAtomicFile::EStage::Create) {
        throw EFCreateError(QStringLiteral("Impossible de créer le fichier \"%1\". %2")
                                .arg(shownName, file.ErrorString())
                                .toStdString());
    }
    throw EWriteError(QStringLiteral("Impossible d'écrire le fichier \"%1\". %2")
                          .arg(shownName, file.ErrorString())
                          .toStdString());
}

// Ends a writing that its caller no longer wants.
struct TWriteCancelled {};

// Writes the PDF straight into the new file; a failed write makes the whole save fail.
class TPRSaveFileStream : public TPdfOutputStream {
public:
    TPRSaveFileStream(TAtomicFile& file, QString shownName,
                      const std::atomic<bool>* cancelled = nullptr)
        : FFile(file), FShownName(std::move(shownName)), FCancelled(cancelled) {}

    void Write(const char* data, std::size_t size) override {
        if (size == 0) {
            return;
        }
        if (FCancelled != nullptr && FCancelled->load()) {
            throw TWriteCancelled{};
        }
        if (!FFile.Write(data, size)) {
            ThrowFileError(FShownName, FFile);
        }
        FCount += static_cast<std::int64_t>(size);
    }
    std::int64_t Position() const override { return FCount; }
    void Rewind() override {
        // Only ever called before the first byte: the new file starts empty.
        if (FCount != 0) {
            throw EPdfException("Rewind --cannot seek.");
        }
    }

private:
    TAtomicFile& FFile;
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

void TPReport::OpenSaveFile(TAtomicFile& file) const {
    if (!file.Open()) {
        ThrowFileError(ShownFileName(), file);
    }
}

void TPReport::CommitSaveFile(TAtomicFile& file) const {
    if (!file.Commit()) {
        ThrowFileError(ShownFileName(), file);
    }
}

void TPReport::EndDoc() {
    CheckWritable();
    // The new file is written beside the old one and takes its place only once on disk.
    TAtomicFile file(FFileName);
    OpenSaveFile(file);
    TPRSaveFileStream stream(file, ShownFileName());
    FDoc->SaveToStream(stream);
    CommitSaveFile(file);
    Abort();
}

bool TPReport::EndDoc(const TWriteWait& wait) {
    CheckWritable();
    TAtomicFile file(FFileName);
    OpenSaveFile(file);
    const QString shownName = ShownFileName();
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    // The writer touches the document and the new file until it ends, syncing included (the
    // slow part on a network disk); the commit, which replaces the old file, stays here, so a
    // cancel can never leave half of a new one.
    std::thread writer([&] {
        try {
            TPRSaveFileStream stream(file, shownName, &cancelled);
            FDoc->SaveToStream(stream);
            if (!file.Sync()) {
                ThrowFileError(shownName, file);
            }
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
        file.Cancel(); // the unfinished file goes; the old one stays as it was
        Abort();
        return false;
    }
    CommitSaveFile(file);
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
