#pragma once
#include "app/platform/Shell.h"

namespace velorix {

// Shell over QDesktopServices (xdg-open on Linux, ShellExecute on Windows).
class DesktopShell final : public Shell {
public:
    bool available() const override { return true; }
    bool open(const QUrl& target) override;
};

} // namespace velorix
