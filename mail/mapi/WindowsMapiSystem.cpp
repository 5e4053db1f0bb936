#include "mail/mapi/WindowsMapiSystem.h"

#include <windows.h>

#include <mapi.h>

#include <cstddef>
#include <string>

namespace velorix::mail {

// Our records must be the platform's, byte for byte.
static_assert(sizeof(MapiMessage) == sizeof(::MapiMessage));
static_assert(offsetof(MapiMessage, lpFiles) == offsetof(::MapiMessage, lpFiles));
static_assert(offsetof(MapiMessage, nRecipCount) == offsetof(::MapiMessage, nRecipCount));
static_assert(sizeof(MapiRecipDesc) == sizeof(::MapiRecipDesc));
static_assert(offsetof(MapiRecipDesc, lpEntryID) == offsetof(::MapiRecipDesc, lpEntryID));
static_assert(sizeof(MapiFileDesc) == sizeof(::MapiFileDesc));
static_assert(offsetof(MapiFileDesc, lpFileType) == offsetof(::MapiFileDesc, lpFileType));
static_assert(sizeof(MapiMessageW) == sizeof(::MapiMessage) && sizeof(char16_t) == sizeof(WCHAR));
static_assert(sizeof(MapiUlong) == sizeof(ULONG) && sizeof(MapiHandle) == sizeof(LHANDLE));

namespace {

HWND asWindow(MapiHandle handle) {
    return reinterpret_cast<HWND>(handle);
}

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<MapiHandle>*>(list)->push_back(
        reinterpret_cast<MapiHandle>(window));
    return TRUE;
}

std::wstring wide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string ansi(const std::wstring& text, bool& exact) {
    exact = true;
    if (text.empty())
        return {};
    BOOL lossy = FALSE;
    // No best fit: a look-alike character would name another file.
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                        static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                          out.data(), n, nullptr, &lossy);
    exact = lossy == FALSE;
    return out;
}

} // namespace

std::string WindowsMapiSystem::ToAnsi(const std::string& utf8, bool& exact) {
    return ansi(wide(utf8), exact);
}

std::optional<std::string> WindowsMapiSystem::ShortAnsiPath(const std::string& utf8) {
    const std::wstring path = wide(utf8);
    const DWORD n = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0)
        return std::nullopt;
    std::wstring out(n, L'\0');
    const DWORD written = ::GetShortPathNameW(path.c_str(), out.data(), n);
    if (written == 0 || written >= n)
        return std::nullopt;
    out.resize(written);
    bool exact = false;
    std::string result = ansi(out, exact);
    if (!exact)
        return std::nullopt;
    return result;
}

OsVersion WindowsMapiSystem::Version() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!::GetVersionExA(&info))
        return {};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return {static_cast<unsigned>(info.dwMajorVersion), static_cast<unsigned>(info.dwMinorVersion)};
}

std::optional<MapiHandle> WindowsMapiSystem::OpenMachineKey(const char* key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    return reinterpret_cast<MapiHandle>(handle);
}

bool WindowsMapiSystem::QueryValue(MapiHandle key, const char* name, char* buffer,
                                   std::size_t size) {
    DWORD length = static_cast<DWORD>(size);
    return ::RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(buffer), &length) == ERROR_SUCCESS;
}

void WindowsMapiSystem::CloseKey(MapiHandle key) {
    ::RegCloseKey(reinterpret_cast<HKEY>(key));
}

int WindowsMapiSystem::ProfileInt(const char* section, const char* key, int fallback) {
    return static_cast<int>(::GetProfileIntA(section, key, fallback));
}

MapiHandle WindowsMapiSystem::LoadLibraryA(const char* name) {
    return reinterpret_cast<MapiHandle>(::LoadLibraryA(name));
}

ProcAddress WindowsMapiSystem::GetProcAddress(MapiHandle library, const char* name) {
    return reinterpret_cast<ProcAddress>(
        ::GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

void WindowsMapiSystem::FreeLibrary(MapiHandle library) {
    ::FreeLibrary(reinterpret_cast<HMODULE>(library));
}

void WindowsMapiSystem::MessageBoxA(MapiHandle parent, const char* text, const char* title,
                                    unsigned flags) {
    ::MessageBoxA(asWindow(parent), text, title, flags);
}

std::vector<MapiHandle> WindowsMapiSystem::ThreadWindows() {
    std::vector<MapiHandle> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool WindowsMapiSystem::IsWindowVisible(MapiHandle window) {
    return ::IsWindowVisible(asWindow(window)) != FALSE;
}

bool WindowsMapiSystem::IsWindowEnabled(MapiHandle window) {
    return ::IsWindowEnabled(asWindow(window)) != FALSE;
}

void WindowsMapiSystem::EnableWindow(MapiHandle window, bool enable) {
    ::EnableWindow(asWindow(window), enable ? TRUE : FALSE);
}

TMapiMail& ProcessMapiMail() {
    static WindowsMapiSystem system;
    static TMapiMail mail(system);
    return mail;
}

} // namespace velorix::mail
