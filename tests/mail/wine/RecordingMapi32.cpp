// A stand-in "MAPI32.DLL" placed next to the probe: it writes down every call it receives, one
// line per call or record, into the file named by VELORIX_MAPI_RECORD, and opens sessions
// numbered from 1. Each attachment's first line is read back through the path it was given, as a
// client would open it. MAPISendMailW records its texts in UTF-8. MAPISendMail(W) answers with the
// number in VELORIX_MAPI_SEND_RESULT (0 when unset).
#include <windows.h>

#include <mapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

// The file's first line, or "<unreadable>".
std::string firstLine(FILE* file) {
    if (!file)
        return "<unreadable>";
    char line[256] = {};
    if (!std::fgets(line, sizeof line, file))
        line[0] = '\0';
    std::fclose(file);
    std::string out = line;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

std::string utf8(const wchar_t* s) {
    if (!s)
        return "<null>";
    const int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    out.resize(out.empty() ? 0 : out.size() - 1);
    return out;
}

ULONG sendResult() {
    const char* result = std::getenv("VELORIX_MAPI_SEND_RESULT");
    return result ? std::strtoul(result, nullptr, 10) : SUCCESS_SUCCESS;
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
        if (std::getenv("VELORIX_MAPI_READ_FILES"))
            record("READ %s", firstLine(std::fopen(f.lpszPathName, "rb")).c_str());
    }
    return sendResult();
}

// The wide-character records, as the platform publishes them.
struct RecipW {
    ULONG ulReserved, ulRecipClass;
    PWSTR lpszName, lpszAddress;
    ULONG ulEIDSize;
    LPVOID lpEntryID;
};
struct FileW {
    ULONG ulReserved, flFlags, nPosition;
    PWSTR lpszPathName, lpszFileName;
    LPVOID lpFileType;
};
struct MessageW {
    ULONG ulReserved;
    PWSTR lpszSubject, lpszNoteText, lpszMessageType, lpszDateReceived, lpszConversationID;
    FLAGS flFlags;
    RecipW* lpOriginator;
    ULONG nRecipCount;
    RecipW* lpRecips;
    ULONG nFileCount;
    FileW* lpFiles;
};

__declspec(dllexport) ULONG WINAPI
    MAPISendMailW(LHANDLE session, ULONG_PTR parent, MessageW* m, FLAGS flags, ULONG reserved) {
    if (std::getenv("VELORIX_MAPI_NO_WIDE"))
        return MAPI_E_NOT_SUPPORTED;
    record("SENDW session=%llu parent=%llu flags=%lu reserved=%lu subject=%s recips=%lu files=%lu",
           static_cast<unsigned long long>(session), static_cast<unsigned long long>(parent), flags,
           reserved, utf8(m->lpszSubject).c_str(), m->nRecipCount, m->nFileCount);
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i) {
        const FileW& f = m->lpFiles[i];
        record("FILE flags=%lu position=%lu path=%s name=%s", f.flFlags, f.nPosition,
               utf8(f.lpszPathName).c_str(), utf8(f.lpszFileName).c_str());
        record("READ %s", firstLine(_wfopen(f.lpszPathName, L"rb")).c_str());
    }
    return sendResult();
}

__declspec(dllexport) ULONG WINAPI
    MAPILogoff(LHANDLE session, ULONG_PTR parent, FLAGS flags, ULONG reserved) {
    record("LOGOFF session=%llu parent=%llu flags=%lu reserved=%lu",
           static_cast<unsigned long long>(session), static_cast<unsigned long long>(parent), flags,
           reserved);
    return SUCCESS_SUCCESS;
}

} // extern "C"
