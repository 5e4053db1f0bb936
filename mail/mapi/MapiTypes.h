#pragma once
// The Simple MAPI records and entry points with the platform's published layout, spelt with
// fixed-width types so that the hand-over logic builds and runs on any platform. On Windows,
// WindowsMapiSystem.cpp checks this layout against the system header.

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VELORIX_MAPI_CALL __stdcall
#else
#define VELORIX_MAPI_CALL
#endif

namespace velorix::mail {

using MapiUlong = std::uint32_t;        // ULONG, FLAGS
using MapiHandle = std::uintptr_t;      // LHANDLE, ULONG_PTR, HWND as a number
inline constexpr MapiUlong kMapiTo = 1; // MAPI_TO
inline constexpr MapiUlong kMapiLogonUi = 0x1;
inline constexpr MapiUlong kMapiNewSession = 0x2;
inline constexpr MapiUlong kMapiDialog = 0x8;
inline constexpr MapiUlong kSuccess = 0;             // SUCCESS_SUCCESS
inline constexpr MapiUlong kMapiUserAbort = 1;       // MAPI_USER_ABORT: the user closed the dialog
inline constexpr MapiUlong kMapiFailure = 2;         // MAPI_E_FAILURE
inline constexpr MapiUlong kNotInText = 0xFFFFFFFFu; // nPosition of an attachment not placed

struct MapiRecipDesc {
    MapiUlong ulReserved;
    MapiUlong ulRecipClass;
    char* lpszName;
    char* lpszAddress;
    MapiUlong ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDesc {
    MapiUlong ulReserved;
    MapiUlong flFlags;
    MapiUlong nPosition;
    char* lpszPathName;
    char* lpszFileName;
    void* lpFileType;
};

struct MapiMessage {
    MapiUlong ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    MapiUlong flFlags;
    MapiRecipDesc* lpOriginator;
    MapiUlong nRecipCount;
    MapiRecipDesc* lpRecips;
    MapiUlong nFileCount;
    MapiFileDesc* lpFiles;
};

// The wide-character records of MAPISendMailW: the same layout, UTF-16 texts.
struct MapiRecipDescW {
    MapiUlong ulReserved;
    MapiUlong ulRecipClass;
    char16_t* lpszName;
    char16_t* lpszAddress;
    MapiUlong ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDescW {
    MapiUlong ulReserved;
    MapiUlong flFlags;
    MapiUlong nPosition;
    char16_t* lpszPathName;
    char16_t* lpszFileName;
    void* lpFileType;
};

struct MapiMessageW {
    MapiUlong ulReserved;
    char16_t* lpszSubject;
    char16_t* lpszNoteText;
    char16_t* lpszMessageType;
    char16_t* lpszDateReceived;
    char16_t* lpszConversationID;
    MapiUlong flFlags;
    MapiRecipDescW* lpOriginator;
    MapiUlong nRecipCount;
    MapiRecipDescW* lpRecips;
    MapiUlong nFileCount;
    MapiFileDescW* lpFiles;
};

using MapiLogonProc = MapiUlong(VELORIX_MAPI_CALL*)(MapiHandle ulUIParam, char* lpszProfileName,
                                                    char* lpszPassword, MapiUlong flFlags,
                                                    MapiUlong ulReserved, MapiHandle* lplhSession);
using MapiLogoffProc = MapiUlong(VELORIX_MAPI_CALL*)(MapiHandle lhSession, MapiHandle ulUIParam,
                                                     MapiUlong flFlags, MapiUlong ulReserved);
using MapiSendMailProc = MapiUlong(VELORIX_MAPI_CALL*)(MapiHandle lhSession, MapiHandle ulUIParam,
                                                       MapiMessage* lpMessage, MapiUlong flFlags,
                                                       MapiUlong ulReserved);
using MapiSendMailWProc = MapiUlong(VELORIX_MAPI_CALL*)(MapiHandle lhSession, MapiHandle ulUIParam,
                                                        MapiMessageW* lpMessage, MapiUlong flFlags,
                                                        MapiUlong ulReserved);

} // namespace velorix::mail
