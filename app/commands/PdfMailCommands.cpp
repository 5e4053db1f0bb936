// PDF export and mail commands: "SCANNER VERS PDF", "SCANNER VERS MAIL", "IMAGE VERS MAIL" and
// the page-print handler that makes the PDF open at the last page carrying it.
#include "app/commands/PdfMail.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "report/PReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace velorix {

mail::HandOverResult MailPdf(Services& services, const QString& pdfPath, std::uintptr_t parent) {
    mail::TMailRequest request;
    request.Add("attachment0", mail::AttachmentPath(pdfPath));
    return mail::SendMail(*services.mail, parent, request,
                          [&](const QString& text, const QString& title) {
                              services.prompts->errorWithTitle(text, title);
                          });
}

qint64 MailSizeLimit() {
    bool ok = false;
    const qint64 limit = qEnvironmentVariable("VELORIX_MAIL_LIMIT").toLongLong(&ok);
    return ok && limit > 0 ? limit : 20'000'000;
}

QString MegabytesText(qint64 bytes) {
    const double megabytes = static_cast<double>(bytes) / 1e6;
    if (megabytes >= 9.95)
        return QString::number(qRound64(megabytes));
    // One decimal, a comma before it, as French writes it; never "0,0" for a file.
    return QString::number(std::max(megabytes, 0.1), 'f', 1)
        .replace(QLatin1Char('.'), QLatin1Char(','));
}

QString CompactMailQuestion(qint64 lossless, qint64 compact) {
    return QStringLiteral("Le PDF fait %1 Mo : la plupart des serveurs de mail refusent plus de "
                          "%2 Mo. L'envoyer en qualité compacte (%3 Mo) ?")
        .arg(MegabytesText(lossless), MegabytesText(MailSizeLimit()), MegabytesText(compact));
}

bool OfferCompactMail(Tvelorix_2& window, const QString& pdfPath) {
    const qint64 lossless = QFileInfo(pdfPath).size();
    if (window.PdfQuality() != TPdfQuality::Lossless || lossless <= MailSizeLimit())
        return true;
    const QFileInfo target(pdfPath);
    const QString compactPath = target.dir().filePath(
        QStringLiteral(".%1-compacte.%2").arg(target.completeBaseName(), target.suffix()));
    if (!WritePagesToPdf(window, TPdfQuality::Compact, compactPath))
        return false;
    const qint64 compact = QFileInfo(compactPath).size();
    if (!window.prompts().confirm(CompactMailQuestion(lossless, compact))) {
        QFile::remove(compactPath);
        return true;
    }
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(compactPath).toStdString(),
                            QFile::encodeName(pdfPath).toStdString(), error);
    if (error) {
        QFile::remove(compactPath);
        throw std::runtime_error(
            QStringLiteral("Impossible de remplacer le fichier \"%1\". %2")
                .arg(QDir::toNativeSeparators(pdfPath), QString::fromLocal8Bit(error.message()))
                .toStdString());
    }
    return true;
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
    if (!OfferCompactMail(*this, PReport1->FileName()))
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
