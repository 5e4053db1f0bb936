#include "imaging/printing/Printing.h"

#include <QByteArray>

namespace velorix::printing {

namespace {

class NullPrinter : public IPrinter {
public:
    QString name() const override { return {}; }
    std::unique_ptr<IPrintJob> beginJob(const QString&) override {
        throw EPrinterError(noPrinterMessage());
    }
    bool setup(QWidget*) override { throw EPrinterError(noPrinterMessage()); }
};

} // namespace

QString noPrinterMessage() {
    return QStringLiteral("Aucune imprimante par défaut sélectionnée");
}

std::unique_ptr<IPrinter> makeNullPrinter() {
    return std::make_unique<NullPrinter>();
}

std::unique_ptr<IPrinter> loadPrinter() {
    const QString forced = qEnvironmentVariable("VELORIX_PRINTER");
    if (forced == QLatin1String("null"))
        return makeNullPrinter();
    if (forced.startsWith(QLatin1String("pdf:"))) {
        QString target = forced.mid(4);
        int dpi = 600;
        const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        if (colon > 0) {
            const int value = target.mid(colon + 1).toInt(&ok);
            if (ok && value > 0) {
                dpi = value;
                target.truncate(colon);
            }
        }
        return makePdfPrinter(target, dpi);
    }
    return makeSystemPrinter();
}

QRect printRect(int printerDpiX, int printerDpiY, int windowDpiX, int windowDpiY) {
    const int fx = windowDpiX > 0 ? printerDpiX / windowDpiX : 0;
    const int fy = windowDpiY > 0 ? printerDpiY / windowDpiY : 0;
    return QRect(0, 0, 820 * fx, 1120 * fy);
}

void PrintPicture(IPrinter& printer, const QImage& picture, int windowDpiX, int windowDpiY,
                  const QString& title) {
    std::unique_ptr<IPrintJob> job = printer.beginJob(title);
    try {
        const QRect rect = printRect(job->dpiX(), job->dpiY(), windowDpiX, windowDpiY);
        if (!rect.isEmpty() && !picture.isNull())
            job->stretchDraw(rect, picture);
    } catch (...) {
        job->end();
        throw;
    }
    job->end();
}

} // namespace velorix::printing
