#pragma once
// Handing a message to the desktop's mail client through xdg-utils' xdg-email, and to a
// Thunderbird set as the mailto handler under any launcher (Flatpak, Snap, a wrapper) directly,
// since it ignores attachments in mailto links and xdg-email spots it only by its path.

#include "mail/linux/MailMessage.h"

#include <optional>

namespace velorix::mail {

// Runs `xdg-email --utf8 [--subject S] [--body B] --attach PATH... [ADDRESS]` without a shell.
// Exit status 0 is success. A client that keeps xdg-email waiting longer than `waitMs` is taken
// as started and left running.
Attempt RunXdgEmail(const MailMessage& message, int waitMs = 15000);

// The desktop id of the default x-scheme-handler/mailto application followed by its command,
// field codes removed; nothing when there is none.
std::optional<QStringList> MailtoHandlerCommand();
// Whether a handler's command starts its client in a Snap or Flatpak sandbox, which cannot read
// the hidden folders of the home folder.
bool RunsInSandbox(const QStringList& command);
// The command of a handler as MailtoHandlerCommand gives it, without its id, when the handler
// is Thunderbird; nothing otherwise.
std::optional<QStringList> ThunderbirdCommand(const std::optional<QStringList>& handler);
// `-compose` and its one argument: to, subject, body when present, and every attachment as a
// file:// address (commas and quotes percent-encoded), each value in single quotes (an
// apostrophe in a text takes its typographic form, which cannot end the value).
QStringList ThunderbirdComposeArguments(const MailMessage& message);
// Starts `command` followed by the compose arguments. An exit with an error within `waitMs` is
// a failure; an exit with 0, or a client still running then (left running), is a success.
Attempt RunThunderbirdCompose(const QStringList& command, const MailMessage& message,
                              int waitMs = 3000);

// Splits a desktop file's Exec value into arguments (quoting as desktop files define it) and
// drops the field codes (%u, %U, %f, ...); "%%" stands for "%".
QStringList SplitDesktopExec(const QString& exec);

} // namespace velorix::mail
