// Any name=value lines as a mail request, its attachments any paths: the request gives back what
// its lines say, and Thunderbird's -compose argument carries every text and path exactly (its
// fields are split at commas outside single quotes, its attachment list at every comma).
#include "mail/MailRequest.h"
#include "mail/linux/DesktopMail.h"
#include "mail/linux/XdgEmail.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>

using namespace velorix::mail;

namespace {

// The fields of a -compose argument as Thunderbird reads them.
std::map<QString, QString> ComposeFields(const QString& argument) {
    std::map<QString, QString> fields;
    qsizetype i = 0;
    while (i < argument.size()) {
        const qsizetype eq = argument.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            abort();
        const QString name = argument.mid(i, eq - i);
        qsizetype end;
        if (argument.mid(eq + 1, 1) == QLatin1String("'")) {
            end = argument.indexOf(QLatin1Char('\''), eq + 2);
            if (end < 0)
                abort();
            fields[name] = argument.mid(eq + 2, end - eq - 2);
            ++end;
        } else {
            end = argument.indexOf(QLatin1Char(','), eq + 1);
            end = end < 0 ? argument.size() : end;
            fields[name] = argument.mid(eq + 1, end - eq - 1);
        }
        if (end < argument.size() && argument[end] != QLatin1Char(','))
            abort(); // text after a closing quote
        i = end + 1;
    }
    return fields;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const TMailRequest request(lines);
    if (request.Attachments().size() > lines.size())
        abort();

    MailMessage message;
    message.to = QString::fromUtf8(request.Value("to"));
    message.subject = QString::fromUtf8(request.Value("subject"));
    message.body = QString::fromUtf8(request.Value("body"));
    for (const std::string& path : request.Attachments()) {
        if (path.find('\0') == std::string::npos)
            message.attachments << AbsoluteAttachmentPath(QString::fromUtf8(path));
    }
    const QStringList args = ThunderbirdComposeArguments(message);
    if (args.size() != 2 || args[0] != QLatin1String("-compose"))
        abort();
    std::map<QString, QString> fields = ComposeFields(args[1]);
    // The texts arrive as given (an apostrophe may become its typographic form).
    for (const auto& [name, text] : {std::pair(QStringLiteral("to"), message.to),
                                     std::pair(QStringLiteral("subject"), message.subject),
                                     std::pair(QStringLiteral("body"), message.body)}) {
        QString expected = text;
        expected.replace(QLatin1Char('\''), QChar(0x2019));
        if (fields[name] != expected)
            abort();
    }
    const QStringList urls = fields[QStringLiteral("attachment")].split(
        QLatin1Char(','), message.attachments.isEmpty() ? Qt::SkipEmptyParts : Qt::KeepEmptyParts);
    if (urls.size() != message.attachments.size())
        abort();
    // Decoded as the client decodes a file address: its bytes are the file's name.
    for (qsizetype k = 0; k < urls.size(); ++k) {
        if (!urls[k].startsWith(QLatin1String("file:///")) ||
            QByteArray::fromPercentEncoding(urls[k].mid(7).toLatin1()) !=
                QFile::encodeName(message.attachments[k]))
            abort();
    }
    return 0;
}
