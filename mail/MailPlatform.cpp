#include "MailPlatform.h"

#include <QDir>
#include <QFile>

#if defined(VELORIX_MAIL_LINUX)
#include "linux/DesktopMail.h"
#elif defined(_WIN32)
#include "windows/WindowsMailPlatform.h"
#endif

namespace velorix::mail {

std::unique_ptr<MailPlatform> loadMailPlatform() {
    if (qEnvironmentVariable("VELORIX_MAIL") == QLatin1String("null"))
        return std::make_unique<NullMailPlatform>();
#if defined(VELORIX_MAIL_LINUX)
    return std::make_unique<DesktopMailPlatform>();
#elif defined(_WIN32)
    return std::make_unique<WindowsMailPlatform>();
#else
    return std::make_unique<NullMailPlatform>();
#endif
}

std::string AttachmentPath(const QString& path) {
#if defined(_WIN32)
    return QDir::toNativeSeparators(path).toUtf8().toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

HandOverResult SendMail(MailPlatform& platform, std::uintptr_t parent, const TMailRequest& request,
                        const MailErrorBox& errorBox) {
    HandOverResult result = platform.handOver(request, parent);
    if (!result.ok && !result.shown && errorBox) {
        errorBox(QString::fromUtf8(kMailErrorText), QString::fromUtf8(kMailErrorTitle));
        result.shown = true;
    }
    return result;
}

} // namespace velorix::mail
