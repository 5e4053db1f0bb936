#pragma once
// The mail platform layer: hands a mail request to the user's mail client. Simple MAPI on
// Windows, the desktop's mail hand-over on Linux (linux/), a null backend elsewhere and when
// VELORIX_MAIL=null.

#include "MailRequest.h"
#include "MailTexts.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velorix::mail {

struct HandOverResult {
    bool ok = false;
    // Why the hand-over failed, for a log or a terminal; empty on success.
    QString reason;
    // The backend has already shown the failure to the user (Simple MAPI shows its own box).
    bool shown = false;
};

class MailPlatform {
public:
    virtual ~MailPlatform() = default;
    virtual bool available() const = 0;
    // Hands the message to the mail client, whose compose window the user sends it from.
    // `parent` is the native handle of the window the client's dialogs belong to (0: none).
    // Shows nothing itself, except where the platform's own hand-over does.
    virtual HandOverResult handOver(const TMailRequest& request, std::uintptr_t parent) = 0;
};

class NullMailPlatform final : public MailPlatform {
public:
    bool available() const override { return false; }
    HandOverResult handOver(const TMailRequest&, std::uintptr_t) override {
        return {false, QStringLiteral("aucun client de messagerie n'est accessible"), false};
    }
};

// The backend of this platform; VELORIX_MAIL=null forces the null backend.
std::unique_ptr<MailPlatform> loadMailPlatform();

// A file's path as a request's attachment value: the system's 8-bit file name, or on Windows
// UTF-8 with native separators, which Simple MAPI turns into the ANSI code page or wide
// characters (the 8-bit name would lose every character outside the code page).
std::string AttachmentPath(const QString& path);

// Shows the mail error: the program passes its prompts' error box.
using MailErrorBox = std::function<void(const QString& text, const QString& title)>;

// Hands the request over; on failure shows "Erreur d'envoi du mail" (title "Erreur") through
// `errorBox` unless the backend has shown it already. The result says how it went.
HandOverResult SendMail(MailPlatform& platform, std::uintptr_t parent, const TMailRequest& request,
                        const MailErrorBox& errorBox);

} // namespace velorix::mail
