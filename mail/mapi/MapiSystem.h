#pragma once
// The Windows calls that the Simple MAPI hand-over makes, behind one small interface so that
// its logic runs against a fake system in tests. WindowsMapiSystem is the real one.

#include "mail/mapi/MapiTypes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velorix::mail {

struct OsVersion {
    unsigned major = 0;
    unsigned minor = 0;
};

// A function address as the system returns it; cast to the entry point's type before calling.
using ProcAddress = void (*)();

class IMapiSystem {
public:
    virtual ~IMapiSystem() = default;

    virtual OsVersion Version() = 0; // GetVersionExA
    // HKEY_LOCAL_MACHINE\`key` opened for reading (RegOpenKeyExA); nothing when that fails.
    virtual std::optional<MapiHandle> OpenMachineKey(const char* key) = 0;
    // RegQueryValueExA into `buffer` of `size` bytes; false when the value is missing or longer.
    virtual bool QueryValue(MapiHandle key, const char* name, char* buffer, std::size_t size) = 0;
    virtual void CloseKey(MapiHandle key) = 0; // RegCloseKey
    virtual int ProfileInt(const char* section, const char* key,
                           int fallback) = 0; // GetProfileIntA

    virtual MapiHandle LoadLibraryA(const char* name) = 0; // 0 when it fails
    virtual ProcAddress GetProcAddress(MapiHandle library, const char* name) = 0;
    virtual void FreeLibrary(MapiHandle library) = 0;

    // `utf8` in the system's ANSI code page; `exact` is false when a character is not in it (the
    // text then holds the system's stand-in for it).
    virtual std::string ToAnsi(const std::string& utf8, bool& exact) = 0;
    // The short (8.3) form of an existing file's path, in the ANSI code page; nothing when the
    // system has none or it does not fit either.
    virtual std::optional<std::string> ShortAnsiPath(const std::string& utf8) = 0;

    virtual void MessageBoxA(MapiHandle parent, const char* text, const char* title,
                             unsigned flags) = 0;

    // The top-level windows of the calling thread, and their state.
    virtual std::vector<MapiHandle> ThreadWindows() = 0;
    virtual bool IsWindowVisible(MapiHandle window) = 0;
    virtual bool IsWindowEnabled(MapiHandle window) = 0;
    virtual void EnableWindow(MapiHandle window, bool enable) = 0;
};

} // namespace velorix::mail
