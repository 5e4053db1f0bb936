#pragma once
// Handing the shared PDF to the mail client: shared by "IMAGE VERS MAIL" and `velorix --mail`.
#include "app/platform/Services.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace velorix {

// What the PDF commands show instead of writing a PDF without pages.
inline constexpr const char* kEmptyPdfText = "La page est vide";

class Tvelorix_2;

// Most mail servers refuse larger messages: 20 Mo (VELORIX_MAIL_LIMIT=BYTES sets another limit,
// for tests).
qint64 MailSizeLimit();
// "58" or "1,9": megabytes (10^6 bytes) as the question writes them, with a decimal comma
// below 10.
QString MegabytesText(qint64 bytes);
// The question asked before mailing a lossless PDF of `lossless` bytes whose compact form has
// `compact` bytes.
QString CompactMailQuestion(qint64 lossless, qint64 compact);
// Before mailing `pdfPath`, written lossless, over MailSizeLimit(): the compact PDF of the same
// pages is written beside it and the question asked; "Oui" puts the compact PDF in its place.
// Nothing happens in the lossy qualities or below the limit. False when the user cancelled the
// compact writing (nothing is then to be sent); a compact PDF that cannot be written leaves the
// lossless one, and the failure propagates.
bool OfferCompactMail(Tvelorix_2& window, const QString& pdfPath);

// Hands `pdfPath` to the mail client as the only attachment ("attachment0") of a new message.
// A failure shows "Erreur d'envoi du mail" (caption "Erreur") through the prompts.
mail::HandOverResult MailPdf(Services& services, const QString& pdfPath, std::uintptr_t parent);

} // namespace velorix
