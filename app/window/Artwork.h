#pragma once
// The program's own artwork, drawn at start-up: the fifteen 16 x 16 icons of ImageList1, the
// button glyphs, page 1's placeholder picture and the window icon.
#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>

namespace velorix::artwork {

// Icons by index: 0 save, 1 scan and print, 2 scan and save, 3 printer, 4 page, 5 mail a PDF,
// 6 PDF, 7 camera, 8 picture, 9 folder, 10 mail a picture, 11 scanner, 12 arrow, 13 grey levels,
// 14 help.
QList<QIcon> imageList();

// A button glyph: "moins90", "plus90", "plus180", "noiretblanc", "selection", "selectionecran",
// "effacer", "scanner", "imprimer", "enregistrer", "pdf", "mail", "modifier", "ouvrir".
QIcon glyph(const QString& name);

// A scanner pictogram on a transparent background, size x size pixels.
QImage scannerPictogram(int size);

// Page 1's placeholder: 598 x 798, 24 bits, plain grey with a small scanner in the middle.
QImage placeholderPicture();

// The program's icon (window, menus, file managers), size x size pixels.
QImage applicationIcon(int size);
QIcon windowIcon();

} // namespace velorix::artwork
