#pragma once
// Simple MAPI as the mail platform layer's Windows backend.

#include "mail/MailPlatform.h"

namespace velorix::mail {

class WindowsMailPlatform final : public MailPlatform {
public:
    bool available() const override { return true; }
    // Modal: returns when the client's compose dialog closes. Simple MAPI shows its own box.
    HandOverResult handOver(const TMailRequest& request, std::uintptr_t parent) override;
};

} // namespace velorix::mail
