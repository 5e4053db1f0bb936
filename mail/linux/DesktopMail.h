#pragma once
// The Linux mail backend: the desktop's mail client through xdg-email, a Thunderbird mailto
// handler directly, or the desktop portal, each attachment handed over as a snapshot.

#include "mail/MailPlatform.h"
#include "mail/linux/MailMessage.h"

#include <QDateTime>

#include <functional>

namespace velorix::mail {

// Characters that mailto links and Thunderbird's -compose cannot carry in a path.
bool PathNeedsPortal(const QString& path);
// The absolute form of an attachment's path, a relative one taken from the current folder.
// (QFileInfo would leave a name starting with ":" alone, as one of Qt's resources.)
QString AbsoluteAttachmentPath(const QString& path);
// Running inside a Flatpak sandbox, where only the portal reaches the host's mail client.
bool InsideFlatpak();

class DesktopMailPlatform final : public MailPlatform {
public:
    // Removes snapshots older than a week from `snapshotBase` (default: MailSnapshotBase()) and
    // `sandboxBase`, where snapshots for a sandboxed client go (default:
    // SandboxMailSnapshotBase()).
    explicit DesktopMailPlatform(QString snapshotBase = {}, std::function<QDateTime()> clock = {},
                                 QString sandboxBase = {});
    bool available() const override { return true; }
    // Returns once the client has the message (its compose window may stay open).
    HandOverResult handOver(const TMailRequest& request, std::uintptr_t parent) override;

private:
    QString base_;
    QString sandboxBase_;
    std::function<QDateTime()> clock_;
};

} // namespace velorix::mail
