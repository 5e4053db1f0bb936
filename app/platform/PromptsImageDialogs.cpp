// The desktop's answers to the image and printer dialogs.
#include "app/platform/Prompts.h"

#include "imaging/ImageDialogs.h"
#include "imaging/printing/Printing.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace velorix {

bool QtPrompts::openImage(imaging::TOpenImageDialog& dialog) {
    return dialog.Execute(owner());
}

bool QtPrompts::saveImage(imaging::TSaveImageDialog& dialog) {
    return dialog.Execute(owner());
}

QString QtPrompts::saveFileName(const QString& caption, const QString& filters) {
    // The replace question is the command's own, as for a single image. The dialog opens in
    // the user's documents, where the program's PDFs go, not wherever it was started from.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return QFileDialog::getSaveFileName(owner(), caption, folder, filters, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

bool QtPrompts::printerSetup(printing::IPrinter& printer) {
    return printer.setup(owner());
}

} // namespace velorix
