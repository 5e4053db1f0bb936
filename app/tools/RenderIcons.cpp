// Build tool: writes the program's icon as PNG files for the desktop's icon theme.
//   RenderIcons DIR SIZE...   writes DIR/SIZE.png for every size
#include "app/window/Artwork.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: RenderIcons DIR SIZE...\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString file = dir + QStringLiteral("/%1.png").arg(size);
        if (size <= 0 || !velorix::artwork::applicationIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "RenderIcons: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
