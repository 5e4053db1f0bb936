// The desktop's answers to the image and printer dialogs.
#include "app/platform/Prompts.h"

#include "imaging/ImageDialogs.h"
#include "imaging/printing/Printing.h"

namespace velorix {

bool QtPrompts::openImage(imaging::TOpenImageDialog& dialog) {
    return dialog.Execute(owner());
}

bool QtPrompts::saveImage(imaging::TSaveImageDialog& dialog) {
    return dialog.Execute(owner());
}

bool QtPrompts::printerSetup(printing::IPrinter& printer) {
    return printer.setup(owner());
}

} // namespace velorix
