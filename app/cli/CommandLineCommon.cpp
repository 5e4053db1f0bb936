#include "app/cli/CommandLineCommon.h"

#include "app/commands/PdfPageWalk.h"
#include "app/window/MainWindow.h"
#include "imaging/ImageDialogs.h"

#include <QCheckBox>
#include <QFileInfo>

#include <cstdio>
#include <exception>
#include <utility>

namespace velorix {

bool CommandLinePrompts::openImage(imaging::TOpenImageDialog& dialog) {
    if (files.isEmpty())
        return false;
    dialog.FileName = files.dequeue();
    return true;
}

void OpenImagesAsPages(Tvelorix_2& window, CommandLinePrompts& prompts, const QStringList& images) {
    window.multi->setChecked(false);
    for (const QString& image : images) {
        prompts.files.enqueue(QFileInfo(image).absoluteFilePath());
        window.ouvririmageClick(nullptr);
    }
}

bool CommandLinePrompts::confirm(const QString& text) {
    if (questionsOf != nullptr)
        PrintCommandError(questionsOf, text);
    return false;
}

bool TakeQuality(QStringList& args, const char* command, TPdfQuality& quality) {
    const qsizetype options = OptionArguments(args).size();
    for (qsizetype i = 0; i < options; ++i) {
        if (args[i] != QLatin1String("--quality"))
            continue;
        if (i + 1 >= options) {
            PrintCommandError(command, QStringLiteral("il manque la valeur de --quality."));
            return false;
        }
        const std::optional<TPdfQuality> q = PdfQualityFromWord(args[i + 1].toStdString());
        if (!q) {
            PrintCommandError(command,
                              QStringLiteral("qualité inconnue : %1 (lossless, compact ou text)")
                                  .arg(args[i + 1]));
            return false;
        }
        quality = *q;
        args.remove(i, 2);
        return TakeQuality(args, command, quality); // the last one given wins
    }
    return true;
}

Services CommandLineServices(std::shared_ptr<Prompts> prompts) {
    Services services;
    services.prompts = std::move(prompts);
    services.settings = std::make_shared<NullSettingsStore>();
    services.shell = std::make_shared<NullShell>();
    services.printer = printing::makeNullPrinter();
    services.clock = [] { return QDateTime::currentDateTime(); };
    return services;
}

QStringList OptionArguments(const QStringList& args) {
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    return end < 0 ? args : args.first(end);
}

std::optional<int> HelpOrUnknownOption(const char* command, QStringList& args, const char* usage) {
    const QStringList options = OptionArguments(args);
    if (options.size() < args.size())
        args.removeAt(options.size()); // the "--"
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    for (const QString& arg : options) {
        if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            PrintCommandError(command, QStringLiteral("option inconnue : %1").arg(arg));
            std::fputs(usage, stderr);
            return 2;
        }
    }
    return std::nullopt;
}

bool TakeOption(QStringList& args, const QString& option) {
    const qsizetype options = OptionArguments(args).size();
    bool found = false;
    for (qsizetype i = options - 1; i >= 0; --i) {
        if (args[i] == option) {
            args.removeAt(i);
            found = true;
        }
    }
    return found;
}

void WriteCommandPdf(Tvelorix_2& window, CommandLinePrompts& prompts, const char* command,
                     const QString& fileName) {
    const qsizetype before = prompts.messages.size();
    if (fileName.isEmpty())
        WritePagesToPdf(window);
    else
        WritePagesToPdf(window, fileName);
    for (qsizetype i = before; i < prompts.messages.size(); ++i)
        PrintCommandError(command, prompts.messages[i]);
}

void PrintCommandError(const char* command, const QString& message) {
    std::fprintf(stderr, "velorix %s : %s\n", command, message.toLocal8Bit().constData());
}

int RunCommand(const char* command, const std::function<int()>& work) {
    try {
        return work();
    } catch (const std::exception& e) {
        PrintCommandError(command, QString::fromUtf8(e.what()));
        return 1;
    }
}

} // namespace velorix
