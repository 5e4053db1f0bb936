#include "MapiMail.h"

#include <cstring>
#include <string>
#include <vector>

namespace velorix::mail {

namespace {

constexpr const char* kMessagingKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

// Disables the thread's visible, enabled top-level windows for its lifetime, so that the user
// works only in the mail client's dialog; re-enables exactly those, whatever the send returned.
class DisabledThreadWindows {
public:
    explicit DisabledThreadWindows(IMapiSystem& system) : system_(system) {
        for (MapiHandle window : system_.ThreadWindows()) {
            if (system_.IsWindowVisible(window) && system_.IsWindowEnabled(window)) {
                system_.EnableWindow(window, false);
                disabled_.push_back(window);
            }
        }
    }
    ~DisabledThreadWindows() {
        for (MapiHandle window : disabled_)
            system_.EnableWindow(window, true);
    }
    DisabledThreadWindows(const DisabledThreadWindows&) = delete;
    DisabledThreadWindows& operator=(const DisabledThreadWindows&) = delete;

private:
    IMapiSystem& system_;
    std::vector<MapiHandle> disabled_;
};

} // namespace

TMapiMail::~TMapiMail() {
    if (library_ != 0)
        system_.FreeLibrary(library_);
}

bool TMapiMail::MapiInstalled() {
    const OsVersion version = system_.Version();
    if (version.major > 3 || (version.major == 3 && version.minor > 51)) {
        const std::optional<MapiHandle> key = system_.OpenMachineKey(kMessagingKey);
        if (!key)
            return false;
        char value[9] = {};
        if (!system_.QueryValue(*key, "MAPI", value, sizeof value)) {
            system_.CloseKey(*key);
            return false;
        }
        system_.CloseKey(*key);
        // Exactly the text "1": "1 " or "10" mean no.
        return value[0] == '1' && value[1] == '\0';
    }
    return system_.ProfileInt("Mail", "MAPI", 0) != 0;
}

void TMapiMail::EnsureLibrary() {
    if (checked_)
        return;
    checked_ = true;
    library_ = 0;
    if (MapiInstalled())
        library_ = system_.LoadLibraryA("MAPI32.DLL");
}

template <typename Proc> Proc TMapiMail::Lookup(Proc& slot, const char* name) {
    EnsureLibrary();
    // A lookup that finds nothing leaves the slot empty, so the next call tries again.
    if (slot == nullptr)
        slot = reinterpret_cast<Proc>(system_.GetProcAddress(library_, name));
    return slot;
}

MapiUlong TMapiMail::MAPILogon(MapiHandle ulUIParam, char* lpszProfileName, char* lpszPassword,
                               MapiUlong flFlags, MapiUlong ulReserved, MapiHandle* lplhSession) {
    const MapiLogonProc proc = Lookup(logon_, "MAPILogon");
    if (library_ == 0 || proc == nullptr)
        return 1;
    return proc(ulUIParam, lpszProfileName, lpszPassword, flFlags, ulReserved, lplhSession);
}

MapiUlong TMapiMail::MAPILogoff(MapiHandle lhSession, MapiHandle ulUIParam, MapiUlong flFlags,
                                MapiUlong ulReserved) {
    const MapiLogoffProc proc = Lookup(logoff_, "MAPILogoff");
    if (library_ == 0 || proc == nullptr)
        return 1;
    return proc(lhSession, ulUIParam, flFlags, ulReserved);
}

MapiUlong TMapiMail::MAPISendMail(MapiHandle lhSession, MapiHandle ulUIParam,
                                  MapiMessage* lpMessage, MapiUlong flFlags, MapiUlong ulReserved) {
    const MapiSendMailProc proc = Lookup(sendMail_, "MAPISendMail");
    if (library_ == 0 || proc == nullptr)
        return 1;
    return proc(lhSession, ulUIParam, lpMessage, flFlags, ulReserved);
}

bool TMapiMail::SendMail(MapiHandle parent, const TMailRequest& request) {
    char profile[] = "";
    char password[] = "";
    MapiHandle session = 0;
    MapiUlong result = kSuccess;
    if (MAPILogon(parent, profile, password, kMapiLogonUi | kMapiNewSession, 0, &session) != 0) {
        system_.MessageBoxA(parent, kMailErrorText, kMailErrorTitle, kMbIconError);
        return false;
    }

    {
        // Private, zero-terminated copies for the call; std::string's storage is both, and the
        // vectors are sized before any pointer into them is taken.
        MapiMessage message{};
        MapiRecipDesc recipient{};
        std::string to = request.Value("to");
        std::string address;
        if (!to.empty()) {
            address = "SMTP:" + to;
            recipient.ulRecipClass = kMapiTo;
            recipient.lpszName = to.data();
            recipient.lpszAddress = address.data();
            message.nRecipCount = 1;
            message.lpRecips = &recipient;
        }

        std::vector<std::string> paths = request.Attachments();
        std::vector<std::string> names;
        names.reserve(paths.size());
        for (const std::string& path : paths)
            names.push_back(AttachmentDisplayName(path));
        std::vector<MapiFileDesc> files(paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i) {
            files[i].nPosition = kNotInText;
            files[i].lpszPathName = paths[i].data();
            files[i].lpszFileName = names[i].data();
        }
        if (!files.empty()) {
            message.nFileCount = static_cast<MapiUlong>(files.size());
            message.lpFiles = files.data();
        }

        std::string subject = request.Value("subject");
        std::string body = request.Value("body");
        if (!subject.empty())
            message.lpszSubject = subject.data();
        if (!body.empty())
            message.lpszNoteText = body.data();

        // A library without the send entry point cannot send: that is a failure, not the
        // user's cancel that the wrapper's 1 would read as.
        if (Lookup(sendMail_, "MAPISendMail") == nullptr) {
            result = kMapiFailure;
        } else {
            DisabledThreadWindows modal(system_);
            result = MAPISendMail(session, parent, &message, kMapiDialog, 0);
        }
    }

    MAPILogoff(session, parent, 0, 0);
    // Sent, or cancelled by the user in the client's dialog: nothing to say. Anything else (no
    // client, an attachment it could not read, a refusal) would otherwise pass for a sent mail.
    if (result != kSuccess && result != kMapiUserAbort) {
        system_.MessageBoxA(parent, kMailErrorText, kMailErrorTitle, kMbIconError);
        return false;
    }
    return true;
}

} // namespace velorix::mail
