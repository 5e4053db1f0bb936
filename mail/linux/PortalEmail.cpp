#include "mail/linux/PortalEmail.h"

#include "waits/Waits.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QRandomGenerator>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace velorix::mail {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kEmail = QStringLiteral("org.freedesktop.portal.Email");

// Receives the Request object's Response signal.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    bool received = false;
    uint response = 2;

public slots:
    void onResponse(uint code, const QVariantMap&) {
        received = true;
        response = code;
    }
};

// Owns descriptors opened for the call; the bus duplicates them as it sends.
struct OpenFiles {
    std::vector<int> fds;
    ~OpenFiles() {
        for (int fd : fds)
            ::close(fd);
    }
};

} // namespace

int OpenAttachmentForPortal(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

bool PortalEmailAvailable() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kEmail << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

Attempt ComposeWithPortal(const MailMessage& message, int waitMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {false, QStringLiteral("pas de bus de session D-Bus")};

    qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
    OpenFiles files;
    QList<QDBusUnixFileDescriptor> descriptors;
    for (const QString& path : message.attachments) {
        const int fd = OpenAttachmentForPortal(path);
        if (fd < 0)
            return {false, QStringLiteral("impossible d'ouvrir %1").arg(path)};
        files.fds.push_back(fd);
        descriptors << QDBusUnixFileDescriptor(fd);
    }

    // The request object's path is known before the call, so the answer cannot be missed.
    const QString token = QStringLiteral("velorix%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString requestPath =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    ResponseWaiter waiter;
    bus.connect(kService, requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"), &waiter, SLOT(onResponse(uint, QVariantMap)));

    QVariantMap options{{QStringLiteral("handle_token"), token}};
    if (!message.to.isEmpty())
        options.insert(QStringLiteral("address"), message.to);
    if (!message.subject.isEmpty())
        options.insert(QStringLiteral("subject"), message.subject);
    if (!message.body.isEmpty())
        options.insert(QStringLiteral("body"), message.body);
    if (!descriptors.isEmpty())
        options.insert(QStringLiteral("attachment_fds"), QVariant::fromValue(descriptors));

    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kEmail, QStringLiteral("ComposeEmail"));
    call << QString() << options;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 30000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        bus.disconnect(kService, requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), &waiter, SLOT(onResponse(uint, QVariantMap)));
        return {false, QStringLiteral("le portail a refusé : %1").arg(reply.errorMessage())};
    }
    // Older portals name the request object themselves.
    const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!handle.isEmpty() && handle != requestPath) {
        bus.disconnect(kService, requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), &waiter, SLOT(onResponse(uint, QVariantMap)));
        bus.connect(kService, handle, QStringLiteral("org.freedesktop.portal.Request"),
                    QStringLiteral("Response"), &waiter, SLOT(onResponse(uint, QVariantMap)));
    }
    // The user's clicks are held meanwhile, as they would be behind a modal hand-over: a second
    // command must not start while this one is unfinished.
    waits::Until([&waiter] { return waiter.received; }, waitMs);
    if (waiter.received && waiter.response == 2)
        return {false, QStringLiteral("le portail n'a pas pu ouvrir le client de messagerie")};
    return {true, {}};
}

} // namespace velorix::mail

#include "PortalEmail.moc"
