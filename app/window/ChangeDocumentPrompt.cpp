#include "app/window/ChangeDocumentPrompt.h"

#include "app/window/Artwork.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velorix {

Tchangerdoc::Tchangerdoc(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("changerdoc"));
    setModal(true);
    setFixedSize(274, 101);
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    setPalette(pal);
    setAutoFillBackground(true);

    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    fill->addWidget(Panel1);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 100, 100);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(artwork::scannerPictogram(200)));

    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(100, 0, 173, 65);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setPlainText(QStringLiteral("Changez le document à \nscanner avant de confirmer."));
    QFont memoFont;
    memoFont.setFamilies({QStringLiteral("Segoe UI Emoji"), QStringLiteral("Segoe UI"),
                          QStringLiteral("DejaVu Sans")});
    memoFont.setPixelSize(13);
    Memo1->setFont(memoFont);
    QPalette memoPal = Memo1->palette();
    memoPal.setColor(QPalette::Base, memoPal.color(QPalette::Button));
    memoPal.setColor(QPalette::Text, Qt::black);
    Memo1->setPalette(memoPal);

    Button2 = new QPushButton(QStringLiteral("&OK"), Panel1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(152, 68, 75, 25);
    Button2->setDefault(true);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(Button2); });
}

void Tchangerdoc::Button2Click(QObject*) {
    accept();
}

void Tchangerdoc::showEvent(QShowEvent* event) {
    // Centred on the main window each time it appears.
    if (QWidget* owner = parentWidget())
        move(owner->geometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
}

} // namespace velorix
