#include "mail/linux/DesktopMail.h"

#include "mail/MailSnapshot.h"
#include "mail/linux/PortalEmail.h"
#include "mail/linux/XdgEmail.h"

#include <QDir>
#include <QFileInfo>

namespace velorix::mail {

bool PathNeedsPortal(const QString& path) {
    for (const QChar c : path) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('\'') || c == QLatin1Char(',') ||
            c == QLatin1Char('=') || c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

QString AbsoluteAttachmentPath(const QString& path) {
    return QDir::cleanPath(
        path.startsWith(QLatin1Char('/')) ? path : QDir::currentPath() + QLatin1Char('/') + path);
}

bool InsideFlatpak() {
    return QFileInfo::exists(QStringLiteral("/.flatpak-info")) ||
           !qEnvironmentVariableIsEmpty("FLATPAK_ID");
}

DesktopMailPlatform::DesktopMailPlatform(QString snapshotBase, std::function<QDateTime()> clock,
                                         QString sandboxBase)
    : base_(snapshotBase.isEmpty() ? MailSnapshotBase() : std::move(snapshotBase)),
      sandboxBase_(sandboxBase.isEmpty() ? SandboxMailSnapshotBase() : std::move(sandboxBase)),
      clock_(clock ? std::move(clock) : [] { return QDateTime::currentDateTimeUtc(); }) {
    PruneMailSnapshots(base_, clock_());
    PruneMailSnapshots(sandboxBase_, clock_());
}

namespace {

Attempt handToClient(const MailMessage& message, const std::optional<QStringList>& handler) {
    if (const std::optional<QStringList> thunderbird = ThunderbirdCommand(handler))
        return RunThunderbirdCompose(*thunderbird, message);
    return RunXdgEmail(message);
}

Attempt handToPortal(const MailMessage& message, const std::optional<QStringList>&) {
    if (!PortalEmailAvailable())
        return {false, QStringLiteral("pas de portail de messagerie")};
    return ComposeWithPortal(message);
}

} // namespace

HandOverResult DesktopMailPlatform::handOver(const TMailRequest& request, std::uintptr_t) {
    MailMessage message;
    message.to = QString::fromUtf8(request.Value("to"));
    message.subject = QString::fromUtf8(request.Value("subject"));
    message.body = QString::fromUtf8(request.Value("body"));
    bool portalFirst = InsideFlatpak();
    // A client in a Snap or Flatpak sandbox cannot open a file under ~/.cache: its snapshot goes
    // where the sandbox lets it read (still a folder of the user's alone).
    // MAILER names the user's own mail commands, which xdg-email tries before any desktop's
    // handler: the handler's ways (Thunderbird's -compose, a sandbox's folder) then do not apply.
    const std::optional<QStringList> handler =
        qEnvironmentVariableIsEmpty("MAILER") ? MailtoHandlerCommand() : std::nullopt;
    const QString& base = handler && RunsInSandbox(*handler) ? sandboxBase_ : base_;
    for (const std::string& attachment : request.Attachments()) {
        const QString path = AbsoluteAttachmentPath(QString::fromUtf8(attachment));
        const QString copy = SnapshotForMail(path, base, clock_());
        if (copy.isEmpty())
            return {false, QStringLiteral("impossible de copier %1").arg(path), false};
        message.attachments << copy;
        portalFirst = portalFirst || PathNeedsPortal(copy);
    }

    QStringList reasons;
    const auto first = portalFirst ? handToPortal : handToClient;
    const auto second = portalFirst ? handToClient : handToPortal;
    for (const auto& way : {first, second}) {
        const Attempt attempt = way(message, handler);
        if (attempt.ok)
            return {true, {}, false};
        reasons << attempt.reason;
    }
    return {false, reasons.join(QStringLiteral(" ; ")), false};
}

} // namespace velorix::mail
