#pragma once
#include "app/platform/Shell.h"

namespace velorix {

// The desktop shell: xdg-open on Linux, QDesktopServices (ShellExecute) elsewhere.
class DesktopShell final : public Shell {
public:
    bool available() const override { return true; }
    bool open(const QUrl& target) override;
};

} // namespace velorix
