#pragma once
// What the command-line commands share: the services of a run that shows nothing, their error
// line on standard error, and the guard that turns a failure into exit code 1.
#include "app/platform/Services.h"
#include "pdf/PdfQuality.h"

#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace velorix {

class Tvelorix_2;

// Answers the open dialog with the files of the command line; asks nothing, shows nothing
// (every message is kept for the command to report); the program's own dialogs are accepted.
class CommandLinePrompts final : public Prompts {
public:
    QQueue<QString> files;
    QStringList messages;
    // Questions are answered "Non"; with this set they are printed on standard error first,
    // "velorix <command> : <question>".
    const char* questionsOf = nullptr;

    bool confirm(const QString& text) override;
    void inform(const QString& text) override { messages << text; }
    void warning(const QString& text) override { messages << text; }
    void error(const QString& text) override { messages << text; }
    bool openImage(imaging::TOpenImageDialog& dialog) override;
    int execDialog(QDialog&) override { return QDialog::Accepted; }
};

// Opens each image as the open command does with "Plusieurs Documents" unchecked: the first
// fills page 1, the others add pages.
void OpenImagesAsPages(Tvelorix_2& window, CommandLinePrompts& prompts, const QStringList& images);

// No settings store, no shell, no printer, the real clock; the scanner is left to the caller.
Services CommandLineServices(std::shared_ptr<Prompts> prompts);

// For commands whose only option is --help: prints the usage and gives 0 for -h/--help, reports
// any other option and gives 2; nothing when the arguments are files only ("-" included). A "--"
// ends the options: it is taken out of args, and every argument after it is a file, even one
// whose name starts with a dash.
std::optional<int> HelpOrUnknownOption(const char* command, QStringList& args, const char* usage);

// The usage lines of --quality, shared by the commands that write a PDF.
#define VELORIX_QUALITY_USAGE                                                                      \
    "  --quality Q    qualité du PDF : lossless (sans perte, par défaut), compact (images\n"     \
    "                 JPEG, 300 dpi au plus), text (très compacte : le texte net sur un fond\n"   \
    "                 allégé à 100 dpi)\n"

// Takes "--quality WORD" (lossless, compact or text) before "--" out of args into quality
// (unchanged without one); false, with the reason printed, for a missing or unknown word.
bool TakeQuality(QStringList& args, const char* command, TPdfQuality& quality);

// Takes every `option` before "--" out of args; whether there was one.
bool TakeOption(QStringList& args, const QString& option);

// Writes the window's pages to its report's file (to `fileName` when given), with their
// recognised text when `searchable`; a warning of the writing (the text could not be recognised)
// is printed as the command's message, the PDF being written all the same.
void WriteCommandPdf(Tvelorix_2& window, CommandLinePrompts& prompts, const char* command,
                     const QString& fileName = QString());

// The arguments before "--" (all of them when there is none).
QStringList OptionArguments(const QStringList& args);

// "velorix <command> : <message>" on standard error.
void PrintCommandError(const char* command, const QString& message);

// Runs the command's work and returns its exit code; an exception is printed as the command's
// error and gives 1.
int RunCommand(const char* command, const std::function<int()>& work);

} // namespace velorix
