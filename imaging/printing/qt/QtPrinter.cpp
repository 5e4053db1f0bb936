// Printing through Qt's print support: the desktop's printers (CUPS on Linux, the spooler on
// Windows) and its PDF writer.

#include "imaging/printing/Printing.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace velorix::printing {

namespace {

class PainterJob : public IPrintJob {
public:
    explicit PainterJob(QPrinter& printer) : printer_(printer) {
        if (!painter_.begin(&printer_))
            throw EPrinterError(QStringLiteral("Impossible d'imprimer sur l'imprimante \"%1\".")
                                    .arg(printer_.outputFileName().isEmpty()
                                             ? printer_.printerName()
                                             : printer_.outputFileName()));
    }
    ~PainterJob() override { end(); }
    int dpiX() const override { return printer_.logicalDpiX(); }
    int dpiY() const override { return printer_.logicalDpiY(); }
    QRectF printableArea() const override {
        return printer_.pageLayout().paintRectPoints().toRectF();
    }
    void stretchDraw(const QRect& rect, const QImage& picture) override {
        painter_.drawImage(rect, picture);
    }
    void end() override {
        if (painter_.isActive())
            painter_.end();
    }

private:
    QPrinter& printer_;
    QPainter painter_;
};

class SystemPrinter : public IPrinter {
public:
    QString name() const override { return printer_ ? printer_->printerName() : QString(); }

    std::unique_ptr<IPrintJob> beginJob(const QString& title) override {
        QPrinter& printer = usable();
        printer.setDocName(title);
        printer.setCopyCount(1);
        return std::make_unique<PainterJob>(printer);
    }

    bool setup(QWidget* parent) override {
        QPrintDialog dialog(&current(), parent);
        dialog.setWindowTitle(QStringLiteral("Configuration de l'impression"));
        dialog.setOptions(QAbstractPrintDialog::PrintToFile);
        return dialog.exec() == QDialog::Accepted;
    }

private:
    // Made on first use and kept, so that the setup dialog's choices stay current for the run.
    QPrinter& current() {
        if (!printer_) {
            const QPrinterInfo preferred = QPrinterInfo::defaultPrinter();
            printer_ = preferred.isNull()
                           ? std::make_unique<QPrinter>(QPrinter::HighResolution)
                           : std::make_unique<QPrinter>(preferred, QPrinter::HighResolution);
        }
        return *printer_;
    }
    // The chosen printer, or the default one; throws when there is neither.
    QPrinter& usable() {
        QPrinter& printer = current();
        if (printer.outputFileName().isEmpty() &&
            (printer.printerName().isEmpty() ||
             QPrinterInfo::printerInfo(printer.printerName()).isNull()))
            throw EPrinterError(noPrinterMessage());
        return printer;
    }

    std::unique_ptr<QPrinter> printer_;
};

class PdfPrinter : public IPrinter {
public:
    PdfPrinter(const QString& fileName, int dpi, double marginMm, QPageSize::PageSizeId paper)
        : printer_(QPrinter::HighResolution) {
        printer_.setOutputFormat(QPrinter::PdfFormat);
        printer_.setOutputFileName(fileName);
        printer_.setResolution(dpi);
        printer_.setPageLayout(QPageLayout(QPageSize(paper), QPageLayout::Portrait,
                                           QMarginsF(marginMm, marginMm, marginMm, marginMm),
                                           QPageLayout::Millimeter));
    }
    QString name() const override { return printer_.outputFileName(); }
    std::unique_ptr<IPrintJob> beginJob(const QString& title) override {
        printer_.setDocName(title);
        return std::make_unique<PainterJob>(printer_);
    }
    bool setup(QWidget* parent) override {
        QPrintDialog dialog(&printer_, parent);
        return dialog.exec() == QDialog::Accepted;
    }

private:
    QPrinter printer_;
};

} // namespace

std::unique_ptr<IPrinter> makeSystemPrinter() {
    return std::make_unique<SystemPrinter>();
}

std::unique_ptr<IPrinter> makePdfPrinter(const QString& fileName, int dpi, double marginMm,
                                         QPageSize::PageSizeId paper) {
    return std::make_unique<PdfPrinter>(fileName, dpi, marginMm, paper);
}

} // namespace velorix::printing
