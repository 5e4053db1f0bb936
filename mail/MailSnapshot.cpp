#include "MailSnapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace velorix::mail {

namespace {

// "20261208T214500Z-1": the creation time in UTC, then a counter that keeps names apart.
const QString kStampFormat = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");
constexpr int kKeepDays = 7;

} // namespace

QString MailSnapshotBase() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/velorix/mail");
}

QString SnapshotForMail(const QString& source, const QString& base, const QDateTime& now) {
    const QFileInfo info(source);
    if (!info.isFile() || !QDir().mkpath(base))
        return {};
    const QString stamp = now.toUTC().toString(kStampFormat);
    QDir dir(base);
    for (int n = 1; n < 10000; ++n) {
        const QString name = QStringLiteral("%1-%2").arg(stamp).arg(n);
        // mkdir fails on an existing folder, so two hand-overs never share one.
        if (!dir.mkdir(name))
            continue;
        const QString copy = dir.filePath(name) + QLatin1Char('/') + info.fileName();
        if (QFile::copy(source, copy)) {
            // Read-only: a client that opens it for writing cannot change what was mailed.
            QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                            QFileDevice::ReadOther);
            return copy;
        }
        dir.rmdir(name);
        return {};
    }
    return {};
}

void PruneMailSnapshots(const QString& base, const QDateTime& now) {
    static const QRegularExpression ours(QStringLiteral("^(\\d{8}T\\d{6}Z)-\\d+$"));
    const QDateTime limit = now.toUTC().addDays(-kKeepDays);
    const QDir dir(base);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = ours.match(name);
        if (!match.hasMatch())
            continue;
        QDateTime made = QDateTime::fromString(match.captured(1), kStampFormat);
        made.setTimeSpec(Qt::UTC);
        if (made.isValid() && made < limit)
            QDir(dir.filePath(name)).removeRecursively();
    }
}

} // namespace velorix::mail
