#pragma once
// Handing the shared PDF to the mail client: shared by "IMAGE VERS MAIL" and `velorix --mail`.
#include "app/platform/Services.h"

#include <QString>

#include <cstdint>

namespace velorix {

// What the PDF commands show instead of writing a PDF without pages.
inline constexpr const char* kEmptyPdfText = "La page est vide";

// Hands `pdfPath` to the mail client as the only attachment ("attachment0") of a new message.
// A failure shows "Erreur d'envoi du mail" (caption "Erreur") through the prompts.
mail::HandOverResult MailPdf(Services& services, const QString& pdfPath, std::uintptr_t parent);

} // namespace velorix
