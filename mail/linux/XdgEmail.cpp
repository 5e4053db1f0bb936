#include "mail/linux/XdgEmail.h"

#include "waits/Waits.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

#include <memory>
#include <vector>

namespace velorix::mail {

namespace {

// Waits for the process to end with the windows still painting; false when it still runs. The
// user's clicks wait meanwhile: a second command must not start while this one is unfinished.
bool WaitPainting(QProcess& process, int waitMs) {
    return waits::Until([&process] { return process.state() == QProcess::NotRunning; }, waitMs);
}

// Keeps a client's process object for the whole run: destroying it would kill the client with
// the user's draft.
void keepRunning(std::unique_ptr<QProcess> process) {
    static auto* const stillRunning = new std::vector<std::unique_ptr<QProcess>>;
    stillRunning->push_back(std::move(process));
}

} // namespace

Attempt RunXdgEmail(const MailMessage& message, int waitMs) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return {false, QStringLiteral("xdg-email introuvable")};
    // xdg-email refuses empty values: only what is present goes on the line.
    QStringList args{QStringLiteral("--utf8")};
    if (!message.subject.isEmpty())
        args << QStringLiteral("--subject") << message.subject;
    if (!message.body.isEmpty())
        args << QStringLiteral("--body") << message.body;
    for (const QString& path : message.attachments)
        args << QStringLiteral("--attach") << path;
    if (!message.to.isEmpty())
        args << message.to;

    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, args);
    if (!process->waitForStarted())
        return {false, QStringLiteral("xdg-email n'a pas démarré")};
    if (!WaitPainting(*process, waitMs)) {
        // Some clients keep xdg-email waiting while their window is open.
        keepRunning(std::move(process));
        return {true, {}};
    }
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
        return {false, QStringLiteral("xdg-email a échoué (code %1)").arg(process->exitCode())};
    return {true, {}};
}

QStringList SplitDesktopExec(const QString& exec) {
    QStringList args;
    QString current;
    bool inArg = false, quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inArg = true;
        } else if (c.isSpace()) {
            if (inArg)
                args << current;
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg)
        args << current;

    QStringList result;
    for (const QString& arg : args) {
        // A field code alone is an argument the launcher fills in; we add our own instead.
        if (arg.size() == 2 && arg[0] == QLatin1Char('%') && arg[1] != QLatin1Char('%'))
            continue;
        QString cleaned;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg[i] == QLatin1Char('%') && i + 1 < arg.size()) {
                if (arg[i + 1] == QLatin1Char('%'))
                    cleaned += QLatin1Char('%');
                ++i;
                continue;
            }
            cleaned += arg[i];
        }
        if (!cleaned.isEmpty())
            result << cleaned;
    }
    // Flatpak's file-forwarding markers around a field code that is gone now enclose nothing.
    for (qsizetype i = 0; i + 1 < result.size(); ++i) {
        if ((result[i] == QLatin1String("@@u") || result[i] == QLatin1String("@@f")) &&
            result[i + 1] == QLatin1String("@@")) {
            result.remove(i, 2);
        }
    }
    return result;
}

namespace {

QString defaultMailtoHandler() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/mailto")});
    if (!query.waitForFinished(10000) || query.exitCode() != 0)
        return {};
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

QString desktopExec(const QString& desktopId) {
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5);
    }
    return {};
}

bool namesThunderbird(const QString& text) {
    return text.contains(QLatin1String("thunderbird"), Qt::CaseInsensitive);
}

// Thunderbird ends a quoted value at the next quote, with no escape: an apostrophe in a text
// would end it early and let the rest be read as other fields, so it takes its typographic form.
QString quotedValue(QString value) {
    value.replace(QLatin1Char('\''), QChar(0x2019));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// The file's address: every byte of its name percent-encoded but letters, digits, "-._~" and the
// slashes. Thunderbird splits the attachment list at every comma and a quote ends the quoted list,
// so neither may stand bare. Made by hand, as QUrl writes noncharacters (U+BFFFF) as invalid
// UTF-8 and the client would then look for another file.
QString attachmentUrl(const QString& path) {
    return QStringLiteral("file://") +
           QString::fromLatin1(QUrl::toPercentEncoding(QFile::encodeName(path), "/"));
}

} // namespace

std::optional<QStringList> MailtoHandlerCommand() {
    const QString id = defaultMailtoHandler();
    if (id.isEmpty())
        return std::nullopt;
    QStringList command = SplitDesktopExec(desktopExec(id));
    if (command.isEmpty())
        return std::nullopt;
    // The desktop id travels with the command: it may be the only place a client is named.
    command.prepend(id);
    return command;
}

bool RunsInSandbox(const QStringList& command) {
    for (const QString& arg : command) {
        const QString name = QFileInfo(arg).fileName();
        // Snap's launchers live under /snap/ (often behind "env VAR=..."), or are "snap run".
        if (arg.startsWith(QLatin1String("/snap/")) || name == QLatin1String("snap") ||
            name == QLatin1String("flatpak") || arg.contains(QLatin1String("/flatpak/exports/")))
            return true;
    }
    return false;
}

std::optional<QStringList> ThunderbirdCommand(const std::optional<QStringList>& handler) {
    if (!handler || handler->size() < 2)
        return std::nullopt;
    QStringList command = *handler;
    const QString id = command.takeFirst();
    bool thunderbird = namesThunderbird(id);
    for (const QString& arg : command)
        thunderbird = thunderbird || namesThunderbird(QFileInfo(arg).fileName());
    if (!thunderbird)
        return std::nullopt;
    return command;
}

QStringList ThunderbirdComposeArguments(const MailMessage& message) {
    QStringList fields;
    if (!message.to.isEmpty())
        fields << QStringLiteral("to=") + quotedValue(message.to);
    if (!message.subject.isEmpty())
        fields << QStringLiteral("subject=") + quotedValue(message.subject);
    if (!message.body.isEmpty())
        fields << QStringLiteral("body=") + quotedValue(message.body);
    QStringList urls;
    for (const QString& path : message.attachments)
        urls << attachmentUrl(path);
    if (!urls.isEmpty())
        fields << QStringLiteral("attachment=") + quotedValue(urls.join(QLatin1Char(',')));
    return {QStringLiteral("-compose"), fields.join(QLatin1Char(','))};
}

Attempt RunThunderbirdCompose(const QStringList& command, const MailMessage& message, int waitMs) {
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(command.front(), command.mid(1) + ThunderbirdComposeArguments(message));
    if (!process->waitForStarted())
        return {false, QStringLiteral("Thunderbird n'a pas démarré (%1)").arg(command.front())};
    // A Thunderbird that cannot open its window (no display, a broken profile) ends at once
    // with an error; one already running takes the message and ends with 0; a new one stays.
    if (!WaitPainting(*process, waitMs)) {
        keepRunning(std::move(process));
        return {true, {}};
    }
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
        return {false, QStringLiteral("Thunderbird a échoué (code %1)").arg(process->exitCode())};
    return {true, {}};
}

} // namespace velorix::mail
