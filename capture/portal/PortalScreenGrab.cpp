#include "capture/portal/PortalScreenGrab.h"

#include "waits/Waits.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QRandomGenerator>
#include <QUrl>
#include <QVariantMap>

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace velorix::capture {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

QString refusedMessage() {
    return QStringLiteral("Impossible de capturer l'écran : le portail du bureau a refusé la "
                          "capture.");
}

// Receives the portal's Response signal for one request. Anyone on the bus may send a signal on
// the request's path: only the portal's own (from the name that answered our call) counts, and
// only once its signature is the one documented, so that nothing is read with the wrong type.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    QString portal; // the portal's unique bus name
    bool received = false;
    uint response = 2;
    QVariantMap results;

public slots:
    void onResponse(const QDBusMessage& message) {
        if (received || portal.isEmpty() || message.service() != portal)
            return;
        received = true;
        const QList<QVariant> args = message.arguments();
        if (message.signature() != QLatin1String("ua{sv}") || args.size() != 2)
            return; // refused, as a failed request
        response = args.at(0).toUInt();
        results = qdbus_cast<QVariantMap>(args.at(1));
    }
};

// The request object path the portal will use for our token (known before the call, so the
// answer cannot arrive before we listen).
QString requestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

bool listen(QDBusConnection& bus, const QString& path, ResponseWaiter& waiter) {
    return bus.connect(QString(), path, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), &waiter, SLOT(onResponse(QDBusMessage)));
}

// Removes the file the portal wrote for this request, and nothing else: not a link (nor what it
// points to), not another owner's file, not a file older than the request (a portal that names
// an existing picture of the user's must not cost the user that picture).
void removePortalFile(const QString& file, std::time_t asked) {
    const QByteArray path = QFile::encodeName(file);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return;
    // File times may be a second coarser than the clock.
    if (st.st_mtime + 1 < asked)
        return;
    ::unlink(path.constData());
}

} // namespace

std::optional<DesktopPicture> PortalScreenGrab::GrabDesktop(const QString& parentWindow) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        throw EScreenUnavailable(noScreenAccessMessage());

    const std::time_t asked = std::time(nullptr);
    const QString token = QStringLiteral("velorix%1").arg(QRandomGenerator::global()->generate());
    ResponseWaiter waiter;
    QString path = requestPath(bus, token);
    listen(bus, path, waiter);

    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.portal.Screenshot"),
        QStringLiteral("Screenshot"));
    QVariantMap options{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), false},
                        {QStringLiteral("modal"), true}};
    call << parentWindow << options;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 30000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
            name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
            name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
            name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            name == QLatin1String("org.freedesktop.DBus.Error.Spawn.ChildExited"))
            throw EScreenUnavailable(noScreenAccessMessage());
        throw EScreenCaptureError(refusedMessage());
    }
    waiter.portal = reply.service();
    // Older portals choose the request path themselves.
    const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!handle.isEmpty() && handle != path) {
        bus.disconnect(QString(), path, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), &waiter, SLOT(onResponse(QDBusMessage)));
        path = handle;
        listen(bus, path, waiter);
    }

    // The program's own windows take no input meanwhile: no command may start during it.
    waits::Until([&waiter] { return waiter.received; }, timeoutMs_);
    bus.disconnect(QString(), path, QStringLiteral("org.freedesktop.portal.Request"),
                   QStringLiteral("Response"), &waiter, SLOT(onResponse(QDBusMessage)));
    if (!waiter.received)
        throw EScreenCaptureError(QStringLiteral(
            "Impossible de capturer l'écran : le portail du bureau n'a pas répondu."));
    if (waiter.response == 1)
        return std::nullopt; // the user said no in the desktop's own dialog
    if (waiter.response != 0)
        throw EScreenCaptureError(refusedMessage());

    const QVariant uriValue = waiter.results.value(QStringLiteral("uri"));
    const QUrl uri(uriValue.metaType() == QMetaType::fromType<QString>() ? uriValue.toString()
                                                                         : QString());
    if (!uri.isLocalFile())
        throw EScreenCaptureError(refusedMessage());
    const QString file = uri.toLocalFile();
    QImage picture(file);
    // The portal leaves its file behind (often in the user's pictures folder): it was made for
    // us only.
    removePortalFile(file, asked);
    if (picture.isNull())
        throw EScreenCaptureError(QStringLiteral(
            "Impossible de capturer l'écran : l'image rendue par le portail est illisible."));
    picture.setDevicePixelRatio(1);
    return CutDesktopPicture(picture.convertToFormat(QImage::Format_RGB32), DesktopScreens());
}

} // namespace velorix::capture

#include "PortalScreenGrab.moc"
