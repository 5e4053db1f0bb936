#pragma once
// Handing a mail request to the default mail client through Simple MAPI: the library state
// (availability test run once, "MAPI32.DLL" loaded once, entry points looked up on first use),
// the three entry-point wrappers and SendMail. One instance per process in the program; tests
// make their own over a fake system.

#include "mail/MailRequest.h"
#include "mail/MailTexts.h"
#include "mail/mapi/MapiSystem.h"
#include "mail/mapi/MapiTypes.h"

namespace velorix::mail {

inline constexpr unsigned kMbIconError = 0x10;

class TMapiMail {
public:
    // `system` must outlive this object.
    explicit TMapiMail(IMapiSystem& system) : system_(system) {}
    // Releases the library if it was loaded.
    ~TMapiMail();
    TMapiMail(const TMapiMail&) = delete;
    TMapiMail& operator=(const TMapiMail&) = delete;

    // Each returns the entry point's result, or 1 without calling anything when the library or
    // the entry point is missing.
    MapiUlong MAPILogon(MapiHandle ulUIParam, char* lpszProfileName, char* lpszPassword,
                        MapiUlong flFlags, MapiUlong ulReserved, MapiHandle* lplhSession);
    MapiUlong MAPILogoff(MapiHandle lhSession, MapiHandle ulUIParam, MapiUlong flFlags,
                         MapiUlong ulReserved);
    MapiUlong MAPISendMail(MapiHandle lhSession, MapiHandle ulUIParam, MapiMessage* lpMessage,
                           MapiUlong flFlags, MapiUlong ulReserved);

    // The request's texts are UTF-8; they go to MAPISendMail in the ANSI code page, or to
    // MAPISendMailW when one does not fit (a path then takes its short form where the library
    // has no MAPISendMailW).
    // Logs on, shows the client's compose dialog with the request's message, logs off. When no
    // session opens, or the send ends with anything but success or the user's own cancel, shows
    // "Erreur d'envoi du mail" over `parent` and returns false; otherwise true.
    bool SendMail(MapiHandle parent, const TMailRequest& request);

private:
    void EnsureLibrary();
    bool MapiInstalled();
    template <typename Proc> Proc Lookup(Proc& slot, const char* name);

    IMapiSystem& system_;
    bool checked_ = false;
    MapiHandle library_ = 0;
    MapiLogonProc logon_ = nullptr;
    MapiLogoffProc logoff_ = nullptr;
    MapiSendMailProc sendMail_ = nullptr;
    // Looked up only when a text does not fit the ANSI code page.
    MapiSendMailWProc sendMailW_ = nullptr;
};

} // namespace velorix::mail
