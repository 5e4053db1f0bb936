#pragma once
// The desktop portal's mail hand-over (org.freedesktop.portal.Email) on the session bus: the
// way out of a sandbox, and for paths that a mailto link cannot carry, since the attachments
// travel as open file descriptors.

#include "mail/linux/MailMessage.h"

namespace velorix::mail {

// The descriptor handed to the portal for an attachment: read-only, as the snapshots are 0400
// (opened for writing, it would work for root alone); -1 when the file cannot be opened.
int OpenAttachmentForPortal(const QString& path);

// True when the portal's Email interface answers for its "version" property.
bool PortalEmailAvailable();

// Calls ComposeEmail and waits up to `waitMs` for the request's Response. Only a D-Bus error
// or the response 2 is a failure: a backend may report success as 1, and a request that does
// not answer in time has reached the desktop.
Attempt ComposeWithPortal(const MailMessage& message, int waitMs = 60000);

} // namespace velorix::mail
