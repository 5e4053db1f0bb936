#pragma once
// Commands run from the command line without a window. main() dispatches to them before any
// window is made. They need no display: main() creates their QApplication on the "offscreen"
// platform unless QT_QPA_PLATFORM is set, so Qt's image and widget classes work headless.
// Each returns the process exit code (0 success, 1 failure, 2 bad use or not available) and
// writes its messages, in French, on standard error.
#include <QStringList>

namespace velorix {

// velorix --pdf ... (the arguments after "--pdf").
int runPdfCommand(QStringList args);
// velorix --tiff ... (the arguments after "--tiff").
int runTiffCommand(QStringList args);
// velorix --scan-pdf ... (the arguments after "--scan-pdf").
int runScanPdfCommand(const QStringList& args);
// velorix --mail ... (the arguments after "--mail").
int runMailCommand(QStringList args);

} // namespace velorix
