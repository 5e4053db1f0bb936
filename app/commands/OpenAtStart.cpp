#include "app/commands/OpenAtStart.h"

#include "app/window/MainWindow.h"
#include "imaging/ImageDialogs.h"
#include "waits/Waits.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QToolButton>
#include <QWindow>

namespace velorix {

namespace {
const QString kAnotherImage = QStringLiteral("Voulez-vous ouvrir une autre image?");

// Lets a shown window paint before large files are read, and between them, instead of staying
// blank until the last one is open. Clicks wait: the files are opened as one command.
void PaintShownWindow(QWidget& window, bool untilExposed) {
    if (!window.isVisible())
        return;
    waits::Pending();
    if (untilExposed) {
        // A window manager may never map it.
        waits::Until(
            [&window] { return window.windowHandle() && window.windowHandle()->isExposed(); },
            2000);
    }
}

} // namespace

bool StartupFilePrompts::confirm(const QString& text) {
    // The series goes on while files remain, and never asks the user for more.
    if (active_ && text == kAnotherImage) {
        if (window_)
            PaintShownWindow(*window_, false); // the page just opened shows meanwhile
        return !files_.isEmpty();
    }
    return inner_->confirm(text);
}

bool StartupFilePrompts::openImage(imaging::TOpenImageDialog& dialog) {
    if (!active_)
        return inner_->openImage(dialog);
    if (files_.isEmpty())
        return false;
    dialog.FileName = files_.dequeue();
    return true;
}

void OpenStartupImages(Tvelorix_2& window, StartupFilePrompts& prompts, const QStringList& files) {
    for (const QString& file : files)
        prompts.files_.enqueue(QFileInfo(file).absoluteFilePath());
    prompts.active_ = true;
    prompts.window_ = &window;
    const bool multiWasChecked = window.multi->isChecked();
    window.multi->setChecked(true);
    // A file that fails ends one run of the command (its message is shown by the guard); the
    // next run starts with the file after it. Each run takes at least one file.
    // One command for all of them: the scanner list arriving meanwhile waits until the last.
    const waits::CommandRun command;
    PaintShownWindow(window, true);
    while (!prompts.files_.isEmpty())
        window.Recorded([&] { window.ouvririmageClick(window.ouvririmage); });
    window.multi->setChecked(multiWasChecked);
    prompts.active_ = false;
    prompts.window_ = nullptr;
}

} // namespace velorix
