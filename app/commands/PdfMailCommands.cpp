// PDF export and mail commands: "SCANNER VERS PDF", "SCANNER VERS MAIL", "IMAGE VERS MAIL" and
// the page-print handler that makes the PDF open at the last page carrying it.
#include "app/commands/PdfMail.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"

#include <QFile>

#include <cstdio>

namespace velorix {

mail::HandOverResult MailPdf(Services& services, const QString& pdfPath, std::uintptr_t parent) {
    mail::TMailRequest request;
    request.Add("attachment0", mail::AttachmentPath(pdfPath));
    return mail::SendMail(*services.mail, parent, request,
                          [&](const QString& text, const QString& title) {
                              services.prompts->errorWithTitle(text, title);
                          });
}

namespace {

// A PDF without pages is rejected by viewers: say so and keep the previous file.
bool pagesToWrite(Tvelorix_2& window) {
    if (!PdfPages(window).empty())
        return true;
    window.prompts().warning(QString::fromUtf8(kEmptyPdfText));
    return false;
}

} // namespace

void Tvelorix_2::pdfClick(QObject* Sender) {
    btnScanClick(Sender);
    if (!pagesToWrite(*this))
        return;
    if (!WritePagesToPdf(*this))
        return; // cancelled: the previous PDF stays, no viewer
    // Not shown to the user, as a failed open never was; a terminal still learns of it.
    const QString file = PReport1->FileName();
    if (!services_.shell->openFile(file))
        std::fprintf(stderr, "velorix : impossible d'ouvrir %s\n",
                     QFile::encodeName(file).constData());
}

void Tvelorix_2::mailClick(QObject* Sender) {
    btnScanClick(Sender);
    mailerClick(Sender);
}

void Tvelorix_2::mailerClick(QObject*) {
    if (!pagesToWrite(*this))
        return;
    if (!WritePagesToPdf(*this))
        return;
    MailPdf(services_, PReport1->FileName(), static_cast<std::uintptr_t>(effectiveWinId()));
}

void Tvelorix_2::PRPage1PrintPage(TPRPage*, TPRCanvas*) {
    TPRDestination* dest = PReport1->CreateDestination();
    dest->SetDestinationType(dtXYZ);
    dest->SetLeft(-10);
    dest->SetTop(-10);
    dest->SetZoom(1.0f);
    PReport1->SetOpenAction(dest);
}

} // namespace velorix
