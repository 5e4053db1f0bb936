#pragma once
// The real Windows calls behind IMapiSystem, and the process's one Simple MAPI state. Built on
// Windows only.

#include "mail/MailRequest.h"
#include "mail/mapi/MapiMail.h"
#include "mail/mapi/MapiSystem.h"

namespace velorix::mail {

class WindowsMapiSystem : public IMapiSystem {
public:
    OsVersion Version() override;
    std::optional<MapiHandle> OpenMachineKey(const char* key) override;
    bool QueryValue(MapiHandle key, const char* name, char* buffer, std::size_t size) override;
    void CloseKey(MapiHandle key) override;
    int ProfileInt(const char* section, const char* key, int fallback) override;
    MapiHandle LoadLibraryA(const char* name) override;
    ProcAddress GetProcAddress(MapiHandle library, const char* name) override;
    void FreeLibrary(MapiHandle library) override;
    std::string ToAnsi(const std::string& utf8, bool& exact) override;
    std::optional<std::string> ShortAnsiPath(const std::string& utf8) override;
    void MessageBoxA(MapiHandle parent, const char* text, const char* title,
                     unsigned flags) override;
    std::vector<MapiHandle> ThreadWindows() override;
    bool IsWindowVisible(MapiHandle window) override;
    bool IsWindowEnabled(MapiHandle window) override;
    void EnableWindow(MapiHandle window, bool enable) override;
};

// The process's Simple MAPI state over the real system; the library is released when the
// program ends.
TMapiMail& ProcessMapiMail();

} // namespace velorix::mail
