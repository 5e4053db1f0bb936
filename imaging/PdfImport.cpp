#include "imaging/PdfImport.h"

#include "imaging/ImageEngine.h"
#include "imaging/PdfPictures.h"

#include <QFile>
#include <QFileInfo>

#include <poppler-qt6.h>

#include <memory>

namespace velorix::imaging {

namespace {

constexpr qint64 kMaxFileBytes = qint64(1) << 30;
constexpr int kMaxPages = 2000;
// Pixels of every page together: what the pages may hold in memory at once.
constexpr qint64 kMaxTotalPixels = qint64(600) * 1000 * 1000;

QString Quoted(const QString& fileName) {
    return QStringLiteral("« %1 »").arg(QFileInfo(fileName).fileName());
}

[[noreturn]] void Fail(const QString& message) {
    throw EImageEngineError(message);
}

} // namespace

bool IsPdfFile(const QString& fileName) {
    if (QFileInfo(fileName).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return true;
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-";
}

std::vector<QImage> ReadPdfPages(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Impossible d'ouvrir %1 : %2")
                 .arg(Quoted(fileName), file.errorString()));
    if (file.size() > kMaxFileBytes)
        Fail(QStringLiteral("Le PDF %1 est trop volumineux pour être ouvert.")
                 .arg(Quoted(fileName)));
    const QByteArray bytes = file.readAll();
    // The renderer's own complaints are for its developers; the user gets our message.
    static const bool quiet = [] {
        Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());
        return true;
    }();
    (void)quiet;
    if (qint64(bytes.size()) != file.size())
        Fail(QStringLiteral("Impossible de lire le PDF %1.").arg(Quoted(fileName)));

    // A file cut short loses its end marker: the renderer would make do with what is left and
    // give pages missing their lower part.
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(bytes);
    if (!doc || !bytes.startsWith("%PDF-") || !bytes.right(1024).contains("%%EOF"))
        Fail(QStringLiteral("Le fichier %1 n'est pas un PDF lisible : il est endommagé ou "
                            "incomplet.")
                 .arg(Quoted(fileName)));
    // The picture reader cannot decipher pages: every protected file is refused alike.
    if (doc->isLocked() || doc->isEncrypted())
        Fail(QStringLiteral("Le PDF %1 est protégé (chiffré ou par un mot de passe) : il ne peut "
                            "pas être ouvert.")
                 .arg(Quoted(fileName)));
    const int count = doc->numPages();
    if (count < 1)
        Fail(QStringLiteral("Le PDF %1 ne contient aucune page lisible.").arg(Quoted(fileName)));
    if (count > kMaxPages)
        Fail(QStringLiteral("Le PDF %1 a trop de pages (%2) pour être ouvert ; le maximum est %3.")
                 .arg(Quoted(fileName))
                 .arg(count)
                 .arg(kMaxPages));

    std::vector<std::optional<QImage>> pictures = PagePictures(bytes);
    if (int(pictures.size()) != count)
        pictures.assign(std::size_t(count), std::nullopt); // another reading: render them all

    doc->setRenderHint(Poppler::Document::Antialiasing, true);
    doc->setRenderHint(Poppler::Document::TextAntialiasing, true);
    std::vector<QImage> pages;
    qint64 total = 0;
    for (int i = 0; i < count; ++i) {
        QImage picture;
        if (pictures[std::size_t(i)]) {
            picture = *pictures[std::size_t(i)];
        } else {
            const std::unique_ptr<Poppler::Page> page(doc->page(i));
            if (!page)
                Fail(QStringLiteral("La page %1 du PDF %2 est illisible.")
                         .arg(i + 1)
                         .arg(Quoted(fileName)));
            const QSizeF points = page->pageSizeF();
            const double w = points.width() * kPdfRenderDpi / 72.0;
            const double h = points.height() * kPdfRenderDpi / 72.0;
            if (!(w >= 1 && h >= 1) || w > kMaxPictureSide || h > kMaxPictureSide ||
                w * h > double(kMaxPicturePixels))
                Fail(QStringLiteral("La page %1 du PDF %2 est trop grande pour être ouverte "
                                    "(%3 × %4 points).")
                         .arg(i + 1)
                         .arg(Quoted(fileName))
                         .arg(qRound64(points.width()))
                         .arg(qRound64(points.height())));
            picture = page->renderToImage(kPdfRenderDpi, kPdfRenderDpi);
            if (picture.isNull())
                Fail(QStringLiteral("La page %1 du PDF %2 n'a pas pu être lue : le fichier est "
                                    "endommagé.")
                         .arg(i + 1)
                         .arg(Quoted(fileName)));
            picture = picture.convertToFormat(QImage::Format_RGB32);
        }
        total += qint64(picture.width()) * picture.height();
        if (total > kMaxTotalPixels)
            Fail(QStringLiteral("Le PDF %1 est trop volumineux pour être ouvert en entier.")
                     .arg(Quoted(fileName)));
        pages.push_back(std::move(picture));
    }
    return pages;
}

} // namespace velorix::imaging
