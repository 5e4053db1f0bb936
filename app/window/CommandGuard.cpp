#include "app/window/CommandGuard.h"

#include "app/platform/Prompts.h"

#include <exception>

namespace velorix {

bool runGuarded(Prompts& prompts, const std::function<void()>& command) noexcept {
    QString message;
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Erreur inattendue.");
    }
    // The box itself must not let anything escape either.
    try {
        prompts.error(message);
    } catch (...) {
    }
    return false;
}

} // namespace velorix
