#include "mail/mapi/MapiMail.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace velorix::mail;

namespace {

// What MAPISendMail received, copied out while the strings are alive.
struct SentFile {
    MapiUlong reserved, flags, position;
    std::string path, name;
    bool typeNull;
};
struct SentMessage {
    MapiHandle session, parent;
    MapiUlong flags;
    std::optional<std::string> subject, body;
    bool otherFieldsNull;
    MapiUlong recipCount;
    bool recipsNull;
    MapiUlong recipClass = 0;
    std::string recipName, recipAddress;
    bool recipEntryNull = true;
    MapiUlong fileCount;
    bool filesNull;
    std::vector<SentFile> files;
    std::vector<bool> enabledDuringSend;
    bool wide = false;
};

// UTF-16 to UTF-8, for comparing what the wide call received.
std::string utf8(const char16_t* text) {
    std::string out;
    for (; text && *text; ++text) {
        char32_t c = *text;
        if (c >= 0xD800 && c <= 0xDBFF && text[1]) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class FakeSystem final : public IMapiSystem {
public:
    static FakeSystem* current;

    // Set by the test.
    OsVersion version{10, 0};
    bool keyExists = true;
    std::optional<std::string> mapiValue = std::string("1"); // nothing: value missing
    int profileMapi = 0;
    bool libraryLoads = true;
    std::map<std::string, bool> exported{{"MAPILogon", true},
                                         {"MAPILogoff", true},
                                         {"MAPISendMail", true},
                                         {"MAPISendMailW", false}};
    std::map<std::string, std::string> shortPaths; // UTF-8 path -> its short form
    MapiUlong logonResult = 0;
    MapiUlong sendResult = 0;
    // window -> {visible, enabled}
    std::map<MapiHandle, std::pair<bool, bool>> windows{
        {101, {true, true}}, {102, {false, true}}, {103, {true, false}}, {104, {true, true}}};

    // Recorded.
    int loads = 0, frees = 0, openKeys = 0, closedKeys = 0, profileReads = 0;
    std::vector<std::string> lookups;
    std::vector<std::pair<MapiHandle, MapiUlong>> logons; // parent, flags
    std::vector<std::string> logonProfiles;
    std::vector<MapiHandle> sessions;
    std::vector<SentMessage> sent;
    std::vector<std::pair<MapiHandle, MapiHandle>> logoffs; // session, parent
    std::vector<std::string> boxes;

    FakeSystem() { current = this; }
    ~FakeSystem() override { current = nullptr; }

    OsVersion Version() override { return version; }
    std::optional<MapiHandle> OpenMachineKey(const char* key) override {
        EXPECT_STREQ(key, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem");
        if (!keyExists)
            return std::nullopt;
        ++openKeys;
        return 77;
    }
    bool QueryValue(MapiHandle key, const char* name, char* buffer, std::size_t size) override {
        EXPECT_EQ(key, 77u);
        EXPECT_STREQ(name, "MAPI");
        EXPECT_EQ(size, 9u);
        if (!mapiValue || mapiValue->size() + 1 > size)
            return false;
        std::copy(mapiValue->c_str(), mapiValue->c_str() + mapiValue->size() + 1, buffer);
        return true;
    }
    void CloseKey(MapiHandle) override { ++closedKeys; }
    int ProfileInt(const char* section, const char* key, int fallback) override {
        EXPECT_STREQ(section, "Mail");
        EXPECT_STREQ(key, "MAPI");
        EXPECT_EQ(fallback, 0);
        ++profileReads;
        return profileMapi;
    }
    MapiHandle LoadLibraryA(const char* name) override {
        EXPECT_STREQ(name, "MAPI32.DLL");
        ++loads;
        return libraryLoads ? 555 : 0;
    }
    ProcAddress GetProcAddress(MapiHandle library, const char* name) override {
        lookups.push_back(name);
        if (library != 555 || !exported[name])
            return nullptr;
        const std::string n = name;
        if (n == "MAPILogon")
            return reinterpret_cast<ProcAddress>(&Logon);
        if (n == "MAPILogoff")
            return reinterpret_cast<ProcAddress>(&Logoff);
        if (n == "MAPISendMailW")
            return reinterpret_cast<ProcAddress>(&SendW);
        return reinterpret_cast<ProcAddress>(&Send);
    }
    void FreeLibrary(MapiHandle library) override {
        EXPECT_EQ(library, 555u);
        ++frees;
    }
    // The ANSI code page of a Western system: Latin-1 here.
    std::string ToAnsi(const std::string& text, bool& exact) override {
        std::string out;
        exact = true;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
                out += static_cast<char>(((c & 0x03) << 6) | (text[++i] & 0x3F));
            } else {
                out += '?';
                exact = false;
                while (i + 1 < text.size() && (text[i + 1] & 0xC0) == 0x80)
                    ++i;
            }
        }
        return out;
    }
    std::optional<std::string> ShortAnsiPath(const std::string& text) override {
        const auto found = shortPaths.find(text);
        return found == shortPaths.end() ? std::nullopt : std::optional(found->second);
    }
    void MessageBoxA(MapiHandle parent, const char* text, const char* title,
                     unsigned flags) override {
        boxes.push_back(std::to_string(parent) + "|" + text + "|" + title + "|" +
                        std::to_string(flags));
    }
    std::vector<MapiHandle> ThreadWindows() override {
        std::vector<MapiHandle> list;
        for (const auto& [w, state] : windows)
            list.push_back(w);
        return list;
    }
    bool IsWindowVisible(MapiHandle w) override { return windows.at(w).first; }
    bool IsWindowEnabled(MapiHandle w) override { return windows.at(w).second; }
    void EnableWindow(MapiHandle w, bool enable) override { windows.at(w).second = enable; }

    static MapiUlong VELORIX_MAPI_CALL Logon(MapiHandle parent, char* profile, char* password,
                                             MapiUlong flags, MapiUlong reserved,
                                             MapiHandle* session) {
        FakeSystem& s = *current;
        EXPECT_EQ(reserved, 0u);
        s.logons.push_back({parent, flags});
        s.logonProfiles.push_back(std::string(profile ? profile : "<null>") + "/" +
                                  (password ? password : "<null>"));
        if (s.logonResult != 0)
            return s.logonResult;
        *session = 9000 + s.logons.size();
        s.sessions.push_back(*session);
        return 0;
    }
    static MapiUlong VELORIX_MAPI_CALL Logoff(MapiHandle session, MapiHandle parent,
                                              MapiUlong flags, MapiUlong reserved) {
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(reserved, 0u);
        current->logoffs.push_back({session, parent});
        return 0;
    }
    static MapiUlong VELORIX_MAPI_CALL Send(MapiHandle session, MapiHandle parent, MapiMessage* m,
                                            MapiUlong flags, MapiUlong reserved) {
        FakeSystem& s = *current;
        EXPECT_EQ(reserved, 0u);
        SentMessage r{};
        r.session = session;
        r.parent = parent;
        r.flags = flags;
        if (m->lpszSubject)
            r.subject = m->lpszSubject;
        if (m->lpszNoteText)
            r.body = m->lpszNoteText;
        r.otherFieldsNull = m->ulReserved == 0 && !m->lpszMessageType && !m->lpszDateReceived &&
                            !m->lpszConversationID && m->flFlags == 0 && !m->lpOriginator;
        r.recipCount = m->nRecipCount;
        r.recipsNull = m->lpRecips == nullptr;
        if (m->lpRecips) {
            r.recipClass = m->lpRecips->ulRecipClass;
            r.recipName = m->lpRecips->lpszName;
            r.recipAddress = m->lpRecips->lpszAddress;
            r.recipEntryNull = m->lpRecips->ulEIDSize == 0 && !m->lpRecips->lpEntryID &&
                               m->lpRecips->ulReserved == 0;
        }
        r.fileCount = m->nFileCount;
        r.filesNull = m->lpFiles == nullptr;
        for (MapiUlong i = 0; i < m->nFileCount; ++i) {
            const MapiFileDesc& f = m->lpFiles[i];
            r.files.push_back({f.ulReserved, f.flFlags, f.nPosition, f.lpszPathName, f.lpszFileName,
                               f.lpFileType == nullptr});
        }
        for (const auto& [w, state] : s.windows)
            r.enabledDuringSend.push_back(state.second);
        s.sent.push_back(r);
        return s.sendResult;
    }
    static MapiUlong VELORIX_MAPI_CALL SendW(MapiHandle session, MapiHandle parent, MapiMessageW* m,
                                             MapiUlong flags, MapiUlong) {
        FakeSystem& s = *current;
        SentMessage r{};
        r.wide = true;
        r.session = session;
        r.parent = parent;
        r.flags = flags;
        if (m->lpszSubject)
            r.subject = utf8(m->lpszSubject);
        if (m->lpszNoteText)
            r.body = utf8(m->lpszNoteText);
        r.recipCount = m->nRecipCount;
        if (m->lpRecips) {
            r.recipName = utf8(m->lpRecips->lpszName);
            r.recipAddress = utf8(m->lpRecips->lpszAddress);
        }
        r.fileCount = m->nFileCount;
        for (MapiUlong i = 0; i < m->nFileCount; ++i) {
            const MapiFileDescW& f = m->lpFiles[i];
            r.files.push_back({f.ulReserved, f.flFlags, f.nPosition, utf8(f.lpszPathName),
                               utf8(f.lpszFileName), f.lpFileType == nullptr});
        }
        for (const auto& [w, state] : s.windows)
            r.enabledDuringSend.push_back(state.second);
        s.sent.push_back(r);
        return s.sendResult;
    }
};

FakeSystem* FakeSystem::current = nullptr;

const std::string kErrorBox = "42|Erreur d'envoi du mail|Erreur|16";

} // namespace

TEST(MapiMail, OnlyAnAttachmentFillsOneFileRecordAndNothingElse) {
    FakeSystem system;
    TMapiMail mail(system);
    ASSERT_TRUE(mail.SendMail(42, TMailRequest({"attachment0=C:\\Users\\Public\\Documents\\"
                                                "capture.pdf"})));

    ASSERT_EQ(system.logons.size(), 1u);
    EXPECT_EQ(system.logons[0], (std::pair<MapiHandle, MapiUlong>{42, 3}));
    EXPECT_EQ(system.logonProfiles[0], "/"); // empty strings, not null
    ASSERT_EQ(system.sent.size(), 1u);
    const SentMessage& m = system.sent[0];
    EXPECT_EQ(m.session, system.sessions[0]);
    EXPECT_EQ(m.parent, 42u);
    EXPECT_EQ(m.flags, 8u);
    EXPECT_FALSE(m.subject);
    EXPECT_FALSE(m.body);
    EXPECT_TRUE(m.otherFieldsNull);
    EXPECT_EQ(m.recipCount, 0u);
    EXPECT_TRUE(m.recipsNull);
    ASSERT_EQ(m.fileCount, 1u);
    ASSERT_EQ(m.files.size(), 1u);
    EXPECT_EQ(m.files[0].reserved, 0u);
    EXPECT_EQ(m.files[0].flags, 0u);
    EXPECT_EQ(m.files[0].position, 0xFFFFFFFFu);
    EXPECT_EQ(m.files[0].path, "C:\\Users\\Public\\Documents\\capture.pdf");
    EXPECT_EQ(m.files[0].name, "capture.pdf");
    EXPECT_TRUE(m.files[0].typeNull);
    EXPECT_EQ(system.logoffs,
              (std::vector<std::pair<MapiHandle, MapiHandle>>{{system.sessions[0], 42}}));
    EXPECT_TRUE(system.boxes.empty());
}

TEST(MapiMail, RecipientSubjectBodyAndNumberedAttachments) {
    FakeSystem system;
    TMapiMail mail(system);
    mail.SendMail(42, TMailRequest({"To=ann@example.org", "subject=Scan", "BODY=Bonjour",
                                    "attachment0=C:\\a\\one.pdf", "attachment2=C:\\c.pdf",
                                    "attachment1=D:two.pdf"}));
    ASSERT_EQ(system.sent.size(), 1u);
    const SentMessage& m = system.sent[0];
    EXPECT_EQ(m.subject, "Scan");
    EXPECT_EQ(m.body, "Bonjour");
    EXPECT_EQ(m.recipCount, 1u);
    EXPECT_EQ(m.recipClass, 1u);
    EXPECT_EQ(m.recipName, "ann@example.org");
    EXPECT_EQ(m.recipAddress, "SMTP:ann@example.org");
    EXPECT_TRUE(m.recipEntryNull);
    ASSERT_EQ(m.files.size(), 3u);
    EXPECT_EQ(m.files[1].path, "D:two.pdf");
    EXPECT_EQ(m.files[1].name, "two.pdf");
    EXPECT_EQ(m.files[2].name, "c.pdf");

    // Attachments 0 and 2 without 1: one file.
    mail.SendMail(42, TMailRequest({"attachment0=x.pdf", "attachment2=y.pdf"}));
    ASSERT_EQ(system.sent.size(), 2u);
    EXPECT_EQ(system.sent[1].fileCount, 1u);
    EXPECT_EQ(system.sent[1].files[0].path, "x.pdf");
    // No attachment at all: no array.
    mail.SendMail(42, TMailRequest({"to=b@example.org"}));
    EXPECT_EQ(system.sent[2].fileCount, 0u);
    EXPECT_TRUE(system.sent[2].filesNull);
}

TEST(MapiMail, TwoSendsLoadTheLibraryOnceAndOpenTwoSessions) {
    FakeSystem system;
    {
        TMapiMail mail(system);
        mail.SendMail(42, TMailRequest({"attachment0=a.pdf"}));
        mail.SendMail(42, TMailRequest({"attachment0=a.pdf"}));
        EXPECT_EQ(system.loads, 1);
        EXPECT_EQ(system.openKeys, 1);
        EXPECT_EQ(system.closedKeys, 1);
        ASSERT_EQ(system.sessions.size(), 2u);
        EXPECT_NE(system.sessions[0], system.sessions[1]);
        ASSERT_EQ(system.logoffs.size(), 2u);
        EXPECT_EQ(system.logoffs[1].first, system.sessions[1]);
        // Each entry point looked up once, on first use.
        EXPECT_EQ(system.lookups,
                  (std::vector<std::string>{"MAPILogon", "MAPISendMail", "MAPILogoff"}));
        EXPECT_EQ(system.frees, 0);
    }
    EXPECT_EQ(system.frees, 1); // released with the state at the end of the program
}

TEST(MapiMail, RegistryValueOtherThanExactlyOneGivesTheErrorBox) {
    for (const std::optional<std::string>& value :
         {std::optional<std::string>("1 "), std::optional<std::string>("0"),
          std::optional<std::string>("10"), std::optional<std::string>(""),
          std::optional<std::string>("111111111"), std::optional<std::string>()}) {
        SCOPED_TRACE(value.value_or("<missing>"));
        FakeSystem system;
        system.mapiValue = value;
        TMapiMail mail(system);
        EXPECT_FALSE(mail.SendMail(42, TMailRequest({"attachment0=a.pdf"})));
        EXPECT_FALSE(mail.SendMail(42, TMailRequest({"attachment0=a.pdf"})));
        EXPECT_EQ(system.loads, 0);
        EXPECT_EQ(system.openKeys, 1); // the test is not repeated
        EXPECT_EQ(system.boxes, (std::vector<std::string>{kErrorBox, kErrorBox}));
        EXPECT_TRUE(system.sent.empty());
        EXPECT_TRUE(system.logoffs.empty());
    }
    FakeSystem noKey;
    noKey.keyExists = false;
    TMapiMail mail(noKey);
    EXPECT_FALSE(mail.SendMail(42, TMailRequest()));
    EXPECT_EQ(noKey.loads, 0);
    EXPECT_EQ(noKey.boxes.size(), 1u);
}

TEST(MapiMail, OldSystemsReadTheProfileInsteadOfTheRegistry) {
    for (auto [version, profile, loaded] :
         {std::tuple{OsVersion{3, 51}, 1, true}, std::tuple{OsVersion{3, 51}, 0, false},
          std::tuple{OsVersion{3, 10}, 1, true}}) {
        FakeSystem system;
        system.version = version;
        system.profileMapi = profile;
        system.mapiValue.reset(); // the registry would say no
        TMapiMail mail(system);
        EXPECT_EQ(mail.SendMail(42, TMailRequest({"attachment0=a.pdf"})), loaded);
        EXPECT_EQ(system.openKeys, 0);
        EXPECT_EQ(system.profileReads, 1);
        EXPECT_EQ(system.loads, loaded ? 1 : 0);
    }
    FakeSystem nt352; // 3.52 is past the profile era
    nt352.version = {3, 52};
    nt352.profileMapi = 1;
    nt352.mapiValue = "0";
    TMapiMail mail(nt352);
    EXPECT_FALSE(mail.SendMail(42, TMailRequest()));
    EXPECT_EQ(nt352.profileReads, 0);
}

TEST(MapiMail, MissingLibraryOrEntryPointOrRefusedLogonShowsTheBox) {
    FakeSystem noLibrary;
    noLibrary.libraryLoads = false;
    TMapiMail a(noLibrary);
    EXPECT_FALSE(a.SendMail(42, TMailRequest()));
    EXPECT_EQ(noLibrary.boxes, std::vector<std::string>{kErrorBox});

    FakeSystem refused;
    refused.logonResult = 3; // MAPI_E_LOGON_FAILURE
    TMapiMail b(refused);
    EXPECT_FALSE(b.SendMail(42, TMailRequest({"attachment0=a.pdf"})));
    EXPECT_EQ(refused.boxes, std::vector<std::string>{kErrorBox});
    EXPECT_TRUE(refused.logoffs.empty());

    // An entry point that is missing is looked up again on the next call, and found once the
    // library exports it.
    FakeSystem late;
    late.exported["MAPILogon"] = false;
    TMapiMail c(late);
    EXPECT_FALSE(c.SendMail(42, TMailRequest()));
    late.exported["MAPILogon"] = true;
    EXPECT_TRUE(c.SendMail(42, TMailRequest()));
    EXPECT_EQ(late.loads, 1);
    EXPECT_EQ(std::count(late.lookups.begin(), late.lookups.end(), "MAPILogon"), 2);
    EXPECT_EQ(late.boxes.size(), 1u);
}

// Success and the user's own cancel are not errors; every other result of the send is, after
// the windows come back and the session is closed.
TEST(MapiMail, VisibleEnabledWindowsAreDisabledDuringTheSendAndEnabledAfterEvenOnFailure) {
    for (MapiUlong result : {0u, 1u, 2u, 3u, 11u, 17u, 26u}) {
        SCOPED_TRACE(result);
        const bool error = result > 1; // 0 success, 1 user abort
        FakeSystem system;
        system.sendResult = result;
        TMapiMail mail(system);
        EXPECT_EQ(mail.SendMail(42, TMailRequest({"attachment0=a.pdf"})), !error);
        ASSERT_EQ(system.sent.size(), 1u);
        // 101 and 104 visible and enabled: disabled; 102 hidden stays enabled; 103 stays off.
        EXPECT_EQ(system.sent[0].enabledDuringSend, (std::vector<bool>{false, true, false, false}));
        EXPECT_TRUE(system.windows.at(101).second);
        EXPECT_TRUE(system.windows.at(102).second);
        EXPECT_FALSE(system.windows.at(103).second); // was disabled before: left so
        EXPECT_TRUE(system.windows.at(104).second);
        EXPECT_EQ(system.logoffs.size(), 1u);
        EXPECT_EQ(system.boxes,
                  error ? std::vector<std::string>{kErrorBox} : std::vector<std::string>{});
    }
    // The send entry point missing: nothing was sent, which is an error, not a cancel; windows
    // and session as above.
    FakeSystem noSend;
    noSend.exported["MAPISendMail"] = false;
    TMapiMail mail(noSend);
    EXPECT_FALSE(mail.SendMail(42, TMailRequest()));
    EXPECT_TRUE(noSend.windows.at(101).second);
    EXPECT_EQ(noSend.logoffs.size(), 1u);
    EXPECT_EQ(noSend.boxes, std::vector<std::string>{kErrorBox});
}

// The request is UTF-8. Texts of the ANSI code page go to MAPISendMail in it; a path outside it
// goes to MAPISendMailW, or in its short form where the library has no wide call, and never as
// a path that names no file.
TEST(MapiMail, PathsOutsideTheAnsiCodePageStillAttach) {
    const std::string western = "C:\\Relev\xc3\xa9s\\\xc3\xa9t\xc3\xa9.pdf";
    const std::string cyrillic = "C:\\\xd1\x81\xd0\xba\xd0\xb0\xd0\xbd\\capture.pdf";
    {
        FakeSystem system;
        system.exported["MAPISendMailW"] = true;
        TMapiMail mail(system);
        EXPECT_TRUE(mail.SendMail(42, TMailRequest({"attachment0=" + western})));
        ASSERT_EQ(system.sent.size(), 1u);
        EXPECT_FALSE(system.sent[0].wide);
        EXPECT_EQ(system.sent[0].files[0].path, "C:\\Relev\xe9s\\\xe9t\xe9.pdf");
        EXPECT_EQ(system.sent[0].files[0].name, "\xe9t\xe9.pdf");

        EXPECT_TRUE(
            mail.SendMail(42, TMailRequest({"subject=Re\xc3\xa7u", "attachment0=" + cyrillic})));
        ASSERT_EQ(system.sent.size(), 2u);
        const SentMessage& m = system.sent[1];
        EXPECT_TRUE(m.wide);
        EXPECT_EQ(m.flags, 8u);
        EXPECT_EQ(m.subject, "Re\xc3\xa7u");
        ASSERT_EQ(m.files.size(), 1u);
        EXPECT_EQ(m.files[0].path, cyrillic);
        EXPECT_EQ(m.files[0].name, "capture.pdf");
        EXPECT_EQ(m.files[0].position, 0xFFFFFFFFu);
        EXPECT_EQ(m.enabledDuringSend, (std::vector<bool>{false, true, false, false}));
        EXPECT_TRUE(system.windows.at(101).second);
        EXPECT_EQ(system.logoffs.size(), 2u);
    }
    {
        FakeSystem system; // no MAPISendMailW
        system.shortPaths[cyrillic] = "C:\\CBA0~1\\capture.pdf";
        TMapiMail mail(system);
        EXPECT_TRUE(mail.SendMail(42, TMailRequest({"attachment0=" + cyrillic})));
        ASSERT_EQ(system.sent.size(), 1u);
        EXPECT_FALSE(system.sent[0].wide);
        EXPECT_EQ(system.sent[0].files[0].path, "C:\\CBA0~1\\capture.pdf");
        EXPECT_EQ(system.sent[0].files[0].name, "capture.pdf");
        EXPECT_TRUE(system.boxes.empty());

        // No short form either: the error box, and nothing sent.
        EXPECT_FALSE(mail.SendMail(42, TMailRequest({"attachment0=C:\\\xd1\x8f.pdf"})));
        EXPECT_EQ(system.sent.size(), 1u);
        EXPECT_EQ(system.boxes, std::vector<std::string>{kErrorBox});
        EXPECT_EQ(system.logoffs.size(), 2u);
    }
}
