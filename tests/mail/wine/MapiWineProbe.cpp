// Runs two mail hand-overs through the real Windows calls and prints what reached the user:
// each message box as "BOX text|title|flags" and each result. Only the message box is replaced,
// so that no one has to close it; the registry, the library loading and the entry points are
// the system's.
#include "mail/mapi/MapiMail.h"
#include "mail/mapi/WindowsMapiSystem.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace velorix::mail;

namespace {

class ProbeSystem final : public WindowsMapiSystem {
public:
    ProcAddress GetProcAddress(MapiHandle library, const char* name) override {
        if (std::getenv("VELORIX_PROBE_HIDE_WIDE") && std::string(name) == "MAPISendMailW")
            return nullptr;
        return WindowsMapiSystem::GetProcAddress(library, name);
    }
    void MessageBoxA(MapiHandle parent, const char* text, const char* title,
                     unsigned flags) override {
        std::printf("BOX parent=%llu %s|%s|%u\n", static_cast<unsigned long long>(parent), text,
                    title, flags);
    }
};

} // namespace

int main(int argc, char** argv) {
    ProbeSystem system;
    if (argc > 1 && std::string(argv[1]) == "wide") {
        // A folder named in Cyrillic: outside the Western ANSI code page. With
        // VELORIX_PROBE_HIDE_WIDE the library seems to have no MAPISendMailW.
        TMapiMail mail(system);
        const bool sent = mail.SendMail(
            42, TMailRequest({"subject=Re\xc3\xa7u",
                              "attachment0=C:\\\xd1\x81\xd0\xba\xd0\xb0\xd0\xbd\\capture.pdf"}));
        std::printf("RESULT %d\n", sent ? 1 : 0);
        std::fflush(stdout);
        return 0;
    }
    TMapiMail mail(system);
    const bool first =
        mail.SendMail(42, TMailRequest({"attachment0=C:\\Users\\Public\\Documents\\capture.pdf"}));
    std::printf("RESULT %d\n", first ? 1 : 0);
    const bool second = mail.SendMail(
        42, TMailRequest({"To=ann@example.org", "subject=Scan du jour", "body=Bonjour",
                          "attachment0=C:\\Scans\\one.pdf", "attachment2=C:\\Scans\\three.pdf",
                          "attachment1=D:two.pdf"}));
    std::printf("RESULT %d\n", second ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
