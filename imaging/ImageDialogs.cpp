#include "imaging/ImageDialogs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace velorix::imaging {

const QString TOpenImageDialog::kFilter = QStringLiteral(
    "Toutes les "
    "images|*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.jpg;*.jpeg;*.jpe;*.pcx;*.bmp;*.dib;*.rle;*.ico;*.cur;*"
    ".png;*.wmf;*.emf;*.tga;*.targa;*.vda;*.icb;*.vst;*.pix;*.pxm;*.ppm;*.pgm;*.pbm;*.jp2;*.j2k;*."
    "jpc;*.j2c;*.avi;*.pdf|TIFF Bitmap (TIF;TIFF;FAX;G3N;G3F)|*.tif;*.tiff;*.fax;*.g3n;*.g3f|JPEG "
    "Bitmap "
    "(JPG;JPEG;JPE)|*.jpg;*.jpeg;*.jpe|PaintBrush (PCX)|*.pcx|Windows Bitmap "
    "(BMP;DIB;RLE)|*.bmp;*.dib;*.rle|Windows Icon (ICO)|*.ico|Windows Cursor (CUR)|*.cur|Portable "
    "Network Graphics (PNG)|*.png|Windows Metafile (WMF)|*.wmf|Enhanced Windows Metafile "
    "(EMF)|*.emf|Targa Bitmap (TGA;TARGA;VDA;ICB;VST;PIX)|*.tga;*.targa;*.vda;*.icb;*.vst;*.pix|"
    "Portable Pixmap, GreyMap, BitMap (PXM;PPM;PGM;PBM)|*.pxm;*.ppm;*.pgm;*.pbm|JPEG2000 "
    "(JP2)|*.jp2|JPEG2000 Code Stream (J2K;JPC;J2C)|*.j2k;*.jpc;*.j2c|Video for Windows "
    "(AVI)|*.avi|Document PDF (PDF)|*.pdf");

const QString TSaveImageDialog::kFilter = QStringLiteral(
    "JPEG Bitmap (JPG)|*.jpg|TIFF Bitmap (TIF)|*.tif|PaintBrush (PCX)|*.pcx|Portable Network "
    "Graphics (PNG)|*.png|Windows Bitmap (BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp|Targa Bitmap "
    "(TGA)|*.tga|Portable PixMap (PXM)|*.pxm|Portable PixMap (PPM)|*.ppm|Portable GreyMap "
    "(PGM)|*.pgm|Portable Bitmap (PBM)|*.pbm|JPEG2000 (JP2)|*.jp2|JPEG2000 Code Stream "
    "(J2K)|*.j2k");

namespace {

constexpr int kPreviewSide = 220;
// Larger files are not decoded for the preview: it must stay instant while browsing.
constexpr qint64 kPreviewMaxBytes = 24 * 1024 * 1024;
constexpr double kPreviewMaxPixels = 40e6;
constexpr int kOs2BitmapType = 6;

void addSidePane(QFileDialog& dialog, QWidget* pane) {
    // The non-native dialog lays itself out in a grid; a column on the right takes the pane.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
}

// The dialog's own labels in French, whatever translations the system has.
void frenchLabels(QFileDialog& dialog, const QString& accept) {
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Regarder dans :"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nom du fichier :"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Type :"));
    dialog.setLabelText(QFileDialog::Accept, accept);
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
}

QStringList patternsOf(const QString& filter, int index) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    const int at = 2 * (index - 1) + 1;
    if (index < 1 || at >= parts.size())
        return {};
    return parts[at].split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

} // namespace

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        result << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return result;
}

TImagePreview::TImagePreview(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("preview"));
    setFixedSize(kPreviewSide, kPreviewSide);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setFrameShape(QFrame::StyledPanel);
    setText(QStringLiteral("Aperçu"));
}

void TImagePreview::showPicture(const QImage& picture) {
    if (picture.isNull()) {
        setPixmap({});
        setText(QStringLiteral("Aperçu"));
        return;
    }
    setPixmap(QPixmap::fromImage(picture.scaled(kPreviewSide - 8, kPreviewSide - 8,
                                                Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TImagePreview::showFile(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        showPicture({});
        return;
    }
    QString tooBig = QStringLiteral("%1\n(pas d'aperçu)").arg(info.fileName());
    if (info.size() > kPreviewMaxBytes) {
        setPixmap({});
        setText(tooBig);
        return;
    }
    try {
        const QImage picture =
            TImageEngine::decodeFile(fileName, palette().color(QPalette::Button));
        if (double(picture.width()) * picture.height() > kPreviewMaxPixels) {
            setPixmap({});
            setText(tooBig);
            return;
        }
        showPicture(picture);
    } catch (const EImageEngineError&) {
        setPixmap({});
        setText(QStringLiteral("%1\n(aperçu impossible)").arg(info.fileName()));
    }
}

QFileDialog* TOpenImageDialog::create(QWidget* parent) {
    auto* dialog = new QFileDialog(parent, Title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    frenchLabels(*dialog, QStringLiteral("Ouvrir"));
    dialog->setNameFilters(qtNameFilters(Filter));
    if (!FileName.isEmpty()) {
        const QFileInfo last(FileName);
        dialog->setDirectory(last.absolutePath());
        dialog->selectFile(last.fileName());
    }
    auto* preview = new TImagePreview(dialog);
    addSidePane(*dialog, preview);
    QObject::connect(dialog, &QFileDialog::currentChanged, preview, &TImagePreview::showFile);
    return dialog;
}

bool TOpenImageDialog::accept(QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    if (dialog.result() != QDialog::Accepted || files.isEmpty() || files.first().isEmpty())
        return false;
    FileName = QFileInfo(files.first()).absoluteFilePath();
    return true;
}

bool TOpenImageDialog::Execute(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog(create(parent));
    dialog->exec();
    return accept(*dialog);
}

QString TSaveImageDialog::defaultInitialDir() {
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QFileInfo(videos).isDir())
        return videos;
    return QDir::homePath();
}

QString TSaveImageDialog::extensionOfType(int index) const {
    const QStringList patterns = patternsOf(Filter, index);
    if (patterns.isEmpty())
        return {};
    QString ext = patterns.first();
    if (ext.startsWith(QLatin1String("*.")))
        ext.remove(0, 2);
    return ext;
}

QFileDialog* TSaveImageDialog::create(QWidget* parent) {
    auto* dialog = new QFileDialog(parent, Title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    frenchLabels(*dialog, QStringLiteral("Enregistrer"));
    const QStringList filters = qtNameFilters(Filter);
    dialog->setNameFilters(filters);
    const int index = std::clamp(FilterIndex, 1, std::max(1, int(filters.size())));
    if (!filters.isEmpty())
        dialog->selectNameFilter(filters[index - 1]);

    // A name typed without an extension takes the chosen type's, JPEG's at first ("*.jpg").
    QString suffix = DefaultExt;
    suffix.remove(QLatin1String("*."));
    if (index != 1 && !extensionOfType(index).isEmpty())
        suffix = extensionOfType(index);
    dialog->setDefaultSuffix(suffix);
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog,
                     [this, dialog](const QString& f) {
                         const int i = int(dialog->nameFilters().indexOf(f)) + 1;
                         if (i > 0 && !extensionOfType(i).isEmpty())
                             dialog->setDefaultSuffix(extensionOfType(i));
                     });

    const QFileInfo name(FileName);
    dialog->setDirectory(name.isAbsolute() ? name.absolutePath() : InitialDir);
    dialog->selectFile(name.fileName());

    auto* pane = new QWidget(dialog);
    auto* column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    auto* preview = new TImagePreview(pane);
    preview->showPicture(Picture);
    auto* advanced = new QPushButton(QStringLiteral("Options avancées..."), pane);
    advanced->setObjectName(QStringLiteral("advanced"));
    QObject::connect(advanced, &QPushButton::clicked, dialog,
                     [this, dialog] { editSaveOptions(dialog, Options); });
    column->addWidget(preview);
    column->addWidget(advanced);
    column->addStretch();
    addSidePane(*dialog, pane);
    return dialog;
}

bool TSaveImageDialog::accept(QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    if (dialog.result() != QDialog::Accepted || files.isEmpty() || files.first().isEmpty())
        return false;
    FileName = QFileInfo(files.first()).absoluteFilePath();
    const int index = int(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1;
    if (index > 0)
        FilterIndex = index;
    // The OS/2 writer only when that type was chosen for a ".bmp" name: the extension decides.
    Options.os2Bitmap =
        FilterIndex == kOs2BitmapType && formatForFileName(FileName) == TFileFormat::Bmp;
    return true;
}

bool TSaveImageDialog::Execute(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog(create(parent));
    dialog->exec();
    return accept(*dialog);
}

bool editSaveOptions(QWidget* parent, TSaveOptions& options) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Options avancées"));
    auto* form = new QFormLayout(&dialog);
    auto* quality = new QSpinBox(&dialog);
    quality->setObjectName(QStringLiteral("jpegQuality"));
    quality->setRange(1, 100);
    quality->setValue(options.jpegQuality);
    auto* progressive = new QCheckBox(QStringLiteral("JPEG progressif"), &dialog);
    progressive->setObjectName(QStringLiteral("jpegProgressive"));
    progressive->setChecked(options.jpegProgressive);
    form->addRow(QStringLiteral("Qualité JPEG (1-100) :"), quality);
    form->addRow(progressive);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options.jpegQuality = quality->value();
    options.jpegProgressive = progressive->isChecked();
    return true;
}

} // namespace velorix::imaging
