#include "mail/windows/WindowsMailPlatform.h"

#include "mail/mapi/WindowsMapiSystem.h"

namespace velorix::mail {

HandOverResult WindowsMailPlatform::handOver(const TMailRequest& request, std::uintptr_t parent) {
    if (ProcessMapiMail().SendMail(parent, request))
        return {true, {}, false};
    return {false, QStringLiteral("Simple MAPI n'a pas remis le message"), true};
}

} // namespace velorix::mail
