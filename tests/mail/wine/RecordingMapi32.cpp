// A stand-in "MAPI32.DLL" placed next to the probe: it writes down every call it receives, one
// line per call or record, into the file named by VELORIX_MAPI_RECORD, and opens sessions
// numbered from 1. MAPISendMail answers with the number in VELORIX_MAPI_SEND_RESULT (0 when
// unset).
#include <windows.h>

#include <mapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

ULONG nextSession = 0;

void record(const char* format, ...) {
    const char* path = std::getenv("VELORIX_MAPI_RECORD");
    if (!path)
        return;
    FILE* out = std::fopen(path, "ab");
    if (!out)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
    std::fclose(out);
}

const char* text(const char* s) {
    return s ? s : "<null>";
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        record("ATTACH");
    else if (reason == DLL_PROCESS_DETACH)
        record("DETACH");
    return TRUE;
}

__declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR parent, LPSTR profile, LPSTR password,
                                             FLAGS flags, ULONG reserved, LPLHANDLE session) {
    *session = ++nextSession;
    record("LOGON parent=%llu profile=[%s] password=[%s] flags=%lu reserved=%lu session=%llu",
           static_cast<unsigned long long>(parent), text(profile), text(password), flags, reserved,
           static_cast<unsigned long long>(*session));
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE session, ULONG_PTR parent, lpMapiMessage m, FLAGS flags, ULONG reserved) {
    record("SEND session=%llu parent=%llu flags=%lu reserved=%lu subject=%s note=%s "
           "type=%s date=%s conv=%s msgflags=%lu originator=%s recips=%lu files=%lu",
           static_cast<unsigned long long>(session), static_cast<unsigned long long>(parent), flags,
           reserved, text(m->lpszSubject), text(m->lpszNoteText), text(m->lpszMessageType),
           text(m->lpszDateReceived), text(m->lpszConversationID), m->flFlags,
           m->lpOriginator ? "set" : "<null>", m->nRecipCount, m->nFileCount);
    if (m->nRecipCount > 0 && !m->lpRecips)
        record("RECIPS <null>");
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i) {
        const MapiRecipDesc& r = m->lpRecips[i];
        record("RECIP class=%lu name=%s address=%s eid=%lu entry=%s", r.ulRecipClass,
               text(r.lpszName), text(r.lpszAddress), r.ulEIDSize, r.lpEntryID ? "set" : "<null>");
    }
    if (m->nFileCount == 0 && m->lpFiles)
        record("FILES set");
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i) {
        const MapiFileDesc& f = m->lpFiles[i];
        record("FILE flags=%lu position=%lu path=%s name=%s type=%s", f.flFlags, f.nPosition,
               text(f.lpszPathName), text(f.lpszFileName), f.lpFileType ? "set" : "<null>");
    }
    const char* result = std::getenv("VELORIX_MAPI_SEND_RESULT");
    return result ? std::strtoul(result, nullptr, 10) : SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI
    MAPILogoff(LHANDLE session, ULONG_PTR parent, FLAGS flags, ULONG reserved) {
    record("LOGOFF session=%llu parent=%llu flags=%lu reserved=%lu",
           static_cast<unsigned long long>(session), static_cast<unsigned long long>(parent), flags,
           reserved);
    return SUCCESS_SUCCESS;
}

} // extern "C"
