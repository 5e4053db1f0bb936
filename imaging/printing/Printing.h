#pragma once
// The printing layer: the current printer, its setup dialog and print jobs with a canvas and a
// resolution. Backends: "qt" (the desktop's printers; CUPS on Linux), "pdf:FILE[:DPI]" (a printer
// that writes one PDF file, for tests and previews) and "null" (no printer at all). The variable
// VELORIX_PRINTER forces one; otherwise the desktop's printers are used.

#include <QImage>
#include <QPageSize>
#include <QRect>
#include <QRectF>
#include <QString>

#include <memory>
#include <stdexcept>

class QWidget;

namespace velorix::printing {

// A printing failure, with its French message.
class EPrinterError : public std::runtime_error {
public:
    explicit EPrinterError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// One print job of one sheet. Its destructor ends the job if end() was not called.
class IPrintJob {
public:
    virtual ~IPrintJob() = default;
    // The printer's resolution in pixels per inch, horizontally and vertically.
    virtual int dpiX() const = 0;
    virtual int dpiY() const = 0;
    // The printable area on the sheet, in points from the sheet's top-left corner.
    virtual QRectF printableArea() const = 0;
    // Scales the picture into rect, in printer pixels from the printable area's top-left corner.
    virtual void stretchDraw(const QRect& rect, const QImage& picture) = 0;
    // Finishes the job and hands it to the printer; later calls do nothing.
    virtual void end() = 0;
};

// The current printer: setup dialog and one job at a time.
class IPrinter {
public:
    virtual ~IPrinter() = default;
    virtual QString name() const = 0;
    // Starts a job on the current printer; throws EPrinterError when there is none or it fails.
    virtual std::unique_ptr<IPrintJob> beginJob(const QString& title) = 0;
    // The printer-setup dialog: the printer, paper and orientation chosen there stay current
    // for the rest of the run. Returns whether the user confirmed.
    virtual bool setup(QWidget* parent) = 0;
};

// The message when no printer can be found.
QString noPrinterMessage();

std::unique_ptr<IPrinter> makeNullPrinter();
std::unique_ptr<IPrinter> makeSystemPrinter();
// A printer writing fileName as PDF at dpi pixels per inch (both directions), with margins of
// marginMm millimetres all round.
std::unique_ptr<IPrinter> makePdfPrinter(const QString& fileName, int dpi, double marginMm = 0,
                                         QPageSize::PageSizeId paper = QPageSize::A4);
// The backend VELORIX_PRINTER asks for, or the system's.
std::unique_ptr<IPrinter> loadPrinter();

// The rectangle a page's picture is printed into: 820 x 1120 times the integer factors
// printer dpi div window dpi, each worked out by itself (0 when the printer's dpi is lower).
QRect printRect(int printerDpiX, int printerDpiY, int windowDpiX, int windowDpiY);

// One job of one sheet holding the picture stretched over printRect; the job is always ended,
// also when drawing fails.
void PrintPicture(IPrinter& printer, const QImage& picture, int windowDpiX, int windowDpiY,
                  const QString& title = QStringLiteral("Velorix! 2"));

} // namespace velorix::printing
