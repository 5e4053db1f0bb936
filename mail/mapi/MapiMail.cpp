#include "mail/mapi/MapiMail.h"

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

namespace {

// UTF-8 to UTF-16; a byte that starts no valid sequence becomes U+FFFD.
std::u16string utf16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
        const unsigned char lead = byte(i);
        std::size_t length = lead < 0x80         ? 1
                             : (lead >> 5) == 6  ? 2
                             : (lead >> 4) == 14 ? 3
                             : (lead >> 3) == 30 ? 4
                                                 : 0;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        for (std::size_t k = 1; length > 0 && k < length; ++k) {
            if (i + k >= utf8.size() || (byte(i + k) & 0xC0) != 0x80)
                length = 0;
            else
                c = (c << 6) | (byte(i + k) & 0x3F);
        }
        if (length == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

// The message's texts in one encoding, kept alive for the call; the records point into them.
template <typename Text> struct MessageTexts {
    Text subject, body, to, address;
    std::vector<Text> paths, names;
};

template <typename Message, typename Recip, typename File, typename Text>
void fillMessage(Message& message, Recip& recipient, std::vector<File>& files,
                 MessageTexts<Text>& texts) {
    if (!texts.to.empty()) {
        recipient.ulRecipClass = kMapiTo;
        recipient.lpszName = texts.to.data();
        recipient.lpszAddress = texts.address.data();
        message.nRecipCount = 1;
        message.lpRecips = &recipient;
    }
    files.resize(texts.paths.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        files[i].nPosition = kNotInText;
        files[i].lpszPathName = texts.paths[i].data();
        files[i].lpszFileName = texts.names[i].data();
    }
    if (!files.empty()) {
        message.nFileCount = static_cast<MapiUlong>(files.size());
        message.lpFiles = files.data();
    }
    if (!texts.subject.empty())
        message.lpszSubject = texts.subject.data();
    if (!texts.body.empty())
        message.lpszNoteText = texts.body.data();
}

} // namespace

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
        // The request's texts are UTF-8. Private, zero-terminated copies for the call; a
        // string's storage is both, and the vectors are sized before any pointer into them.
        MessageTexts<std::string> utf8;
        utf8.to = request.Value("to");
        utf8.address = utf8.to.empty() ? std::string() : "SMTP:" + utf8.to;
        utf8.subject = request.Value("subject");
        utf8.body = request.Value("body");
        utf8.paths = request.Attachments();
        for (const std::string& path : utf8.paths)
            utf8.names.push_back(AttachmentDisplayName(path));

        bool exact = true, pathsExact = true;
        const auto toAnsi = [&](const std::string& text, bool* pathFits = nullptr) {
            bool fits = true;
            std::string converted = system_.ToAnsi(text, fits);
            exact = exact && fits;
            if (pathFits)
                *pathFits = fits;
            return converted;
        };
        MessageTexts<std::string> ansi;
        ansi.to = toAnsi(utf8.to);
        ansi.address = toAnsi(utf8.address);
        ansi.subject = toAnsi(utf8.subject);
        ansi.body = toAnsi(utf8.body);
        for (std::size_t i = 0; i < utf8.paths.size(); ++i) {
            bool fits = true;
            ansi.paths.push_back(toAnsi(utf8.paths[i], &fits));
            ansi.names.push_back(toAnsi(utf8.names[i]));
            pathsExact = pathsExact && fits;
        }

        // A text outside the ANSI code page goes through the wide-character call where the
        // library has one; otherwise a path gets its short form, which is plain ASCII.
        const MapiSendMailWProc sendW = exact ? nullptr : Lookup(sendMailW_, "MAPISendMailW");
        if (sendW == nullptr && !pathsExact) {
            for (std::size_t i = 0; i < utf8.paths.size() && result == kSuccess; ++i) {
                bool fits = true;
                system_.ToAnsi(utf8.paths[i], fits);
                if (fits)
                    continue;
                const std::optional<std::string> shortPath = system_.ShortAnsiPath(utf8.paths[i]);
                if (!shortPath) {
                    result = kMapiFailure; // never a path that names no file, or another one
                    break;
                }
                ansi.paths[i] = *shortPath;
                bool nameFits = true;
                system_.ToAnsi(utf8.names[i], nameFits);
                if (!nameFits)
                    ansi.names[i] = AttachmentDisplayName(*shortPath);
            }
        }

        if (result != kSuccess) {
            // Nothing sent.
        } else if (sendW != nullptr) {
            MessageTexts<std::u16string> wide;
            wide.to = utf16(utf8.to);
            wide.address = utf16(utf8.address);
            wide.subject = utf16(utf8.subject);
            wide.body = utf16(utf8.body);
            for (std::size_t i = 0; i < utf8.paths.size(); ++i) {
                wide.paths.push_back(utf16(utf8.paths[i]));
                wide.names.push_back(utf16(utf8.names[i]));
            }
            MapiMessageW message{};
            MapiRecipDescW recipient{};
            std::vector<MapiFileDescW> files;
            fillMessage(message, recipient, files, wide);
            DisabledThreadWindows modal(system_);
            result = sendW(session, parent, &message, kMapiDialog, 0);
        } else if (Lookup(sendMail_, "MAPISendMail") == nullptr) {
            // A library without the send entry point cannot send: that is a failure, not the
            // user's cancel that the wrapper's 1 would read as.
            result = kMapiFailure;
        } else {
            MapiMessage message{};
            MapiRecipDesc recipient{};
            std::vector<MapiFileDesc> files;
            fillMessage(message, recipient, files, ansi);
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
