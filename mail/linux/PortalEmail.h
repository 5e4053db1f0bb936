#pragma once
// The desktop portal's mail hand-over (org.freedesktop.portal.Email) on the session bus: the
// way out of a sandbox, and for paths that a mailto link cannot carry, since the attachments
// travel as open file descriptors.

#include "linux/MailMessage.h"

namespace velorix::mail {

// True when the portal's Email interface answers for its "version" property.
bool PortalEmailAvailable();

// Calls ComposeEmail and waits up to `waitMs` for the request's Response. Only a D-Bus error
// or the response 2 is a failure: a backend may report success as 1, and a request that does
// not answer in time has reached the desktop.
Attempt ComposeWithPortal(const MailMessage& message, int waitMs = 60000);

} // namespace velorix::mail
