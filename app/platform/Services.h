#pragma once
// The platform services the window uses, handed to it at construction so that tests can put
// doubles in their place. Members may be added by the command files' builders.
#include "app/platform/Prompts.h"
#include "app/platform/Settings.h"
#include "app/platform/Shell.h"
#include "capture/ScreenGrab.h"
#include "imaging/printing/Printing.h"
#include "mail/MailPlatform.h"
#include "scan/ScanPlatform.h"

#include <QDateTime>

#include <functional>
#include <memory>

namespace velorix {

// The platform services of one window (or one command-line run).
struct Services {
    std::shared_ptr<Prompts> prompts;
    std::shared_ptr<SettingsStore> settings;
    std::shared_ptr<Shell> shell;
    // The current printer, kept for the whole run (null: no printer).
    std::shared_ptr<printing::IPrinter> printer;
    // The local clock (PDF dates); fixed in tests.
    std::function<QDateTime()> clock;
    // The scanner platform layer; none means no scanner access (the null backend).
    std::shared_ptr<scan::IScanPlatform> scanner;
    // How the screen is frozen for a capture; none means no access to the screen.
    std::shared_ptr<capture::IScreenGrab> screen;
    // The mail platform layer; none means no mail client (the null backend).
    std::shared_ptr<mail::MailPlatform> mail;
    // The window lists the scanners on a thread of its own and shows at once; otherwise the
    // list is made before the window is built (command-line runs, most tests).
    bool listScannersInBackground = false;

    // The real platform: Qt message boxes, the platform's settings store and shell.
    static Services platform();
};

} // namespace velorix
