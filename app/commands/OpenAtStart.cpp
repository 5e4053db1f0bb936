#include "app/commands/OpenAtStart.h"

#include "app/window/MainWindow.h"
#include "imaging/ImageDialogs.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QToolButton>

namespace velorix {

namespace {
const QString kAnotherImage = QStringLiteral("Voulez-vous ouvrir une autre image?");
} // namespace

bool StartupFilePrompts::confirm(const QString& text) {
    // The series goes on while files remain, and never asks the user for more.
    if (active_ && text == kAnotherImage)
        return !files_.isEmpty();
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
    const bool multiWasChecked = window.multi->isChecked();
    window.multi->setChecked(true);
    // A file that fails ends one run of the command (its message is shown by the guard); the
    // next run starts with the file after it. Each run takes at least one file.
    while (!prompts.files_.isEmpty())
        window.Guarded([&] { window.ouvririmageClick(window.ouvririmage); });
    window.multi->setChecked(multiWasChecked);
    prompts.active_ = false;
}

} // namespace velorix
