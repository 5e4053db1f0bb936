// Runs two mail hand-overs through the real Windows calls and prints what reached the user:
// each message box as "BOX text|title|flags" and each result. Only the message box is replaced,
// so that no one has to close it; the registry, the library loading and the entry points are
// the system's.
#include "MapiMail.h"
#include "WindowsMapiSystem.h"

#include <cstdio>

using namespace velorix::mail;

namespace {

class ProbeSystem final : public WindowsMapiSystem {
public:
    void MessageBoxA(MapiHandle parent, const char* text, const char* title,
                     unsigned flags) override {
        std::printf("BOX parent=%llu %s|%s|%u\n", static_cast<unsigned long long>(parent), text,
                    title, flags);
    }
};

} // namespace

int main() {
    ProbeSystem system;
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
