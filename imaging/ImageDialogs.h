#pragma once
// The image engine's file dialogs: an open dialog with a preview of the selected file, and a save
// dialog with a preview of the picture, its thirteen file types and an "advanced" button for the
// writer's options. Filters are kept in their "description|patterns|..." form.

#include "imaging/ImageEngine.h"

#include <QImage>
#include <QLabel>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace velorix::imaging {

// "desc|*.a;*.b|desc2|*.c" -> {"desc (*.a *.b)", "desc2 (*.c)"}; an odd trailing part is dropped.
QStringList qtNameFilters(const QString& filter);

// A small pane showing a picture scaled to fit, or a line of text when there is none.
class TImagePreview : public QLabel {
    Q_OBJECT
public:
    explicit TImagePreview(QWidget* parent = nullptr);
    void showPicture(const QImage& picture);
    // Decodes the file for display; files too big to preview quickly show their name only.
    void showFile(const QString& fileName);
};

// The open-image dialog with a preview.
class TOpenImageDialog {
public:
    static const QString kFilter;

    QString Filter = kFilter;
    QString FileName; // the last chosen file, kept between uses
    QString Title = QStringLiteral("Ouvrir une image");

    // Modal. True when a file was chosen; FileName then holds its full path.
    bool Execute(QWidget* parent = nullptr);

    // The dialog as Execute shows it (for tests and for callers that drive it themselves).
    QFileDialog* create(QWidget* parent);
    // Takes the result of a finished dialog; true when it holds a file.
    bool accept(QFileDialog& dialog);
};

// The save-image dialog with a preview and format options.
class TSaveImageDialog {
public:
    static const QString kFilter;

    QString Filter = kFilter;
    QString FileName = QStringLiteral("capture");
    QString InitialDir = defaultInitialDir();
    QString DefaultExt = QStringLiteral("*.jpg");
    int FilterIndex = 1; // 1-based: 1 is JPEG
    TSaveOptions Options;
    QImage Picture; // what the preview shows
    QString Title = QStringLiteral("Enregistrer l'image");

    // The user's videos folder (the home folder where there is none).
    static QString defaultInitialDir();

    // Modal. True when confirmed; FileName then holds the chosen path and Options the writer's
    // options for it. It never asks about replacing a file: the caller does.
    bool Execute(QWidget* parent = nullptr);

    QFileDialog* create(QWidget* parent);
    bool accept(QFileDialog& dialog);

    // The extension of the file type at a 1-based filter index, without the dot ("jpg").
    QString extensionOfType(int index) const;
};

// The "advanced" settings of the save dialog for a file type: JPEG quality and progressive
// writing. Returns false when cancelled (options untouched).
bool editSaveOptions(QWidget* parent, TSaveOptions& options);

} // namespace velorix::imaging
