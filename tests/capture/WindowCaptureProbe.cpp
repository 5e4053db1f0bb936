// The program's own capture command on a real desktop, for WaylandCaptureTest.sh: the window as
// the program builds it (the platform's services, their screen layer included), its "Capture
// bureau" button clicked once for each screen, a rectangle dragged with Qt's events over that
// screen's overlay. Each capture's page must hold the reference's pixels.
//   WindowCaptureProbe REF   REF: the whole desktop as a reference tool saw it
// Exit status 0 when every check holds; the failed checks are printed.
#include "tests/capture/OverlayDriver.h"
#include "tests/capture/ProbeChecks.h"

#include "app/window/MainWindow.h"
#include "capture/ScreenCapture.h"
#include "report/PRImage.h"

#include <QApplication>
#include <QTest>
#include <QToolButton>

#include <cstdio>

namespace {

using probe::check;

// Answers nothing and writes down what the program says: a failed capture is reported, never
// waited on.
class NotedPrompts : public velorix::Prompts {
public:
    bool confirm(const QString& text) override {
        std::fprintf(stderr, "question: %s\n", qPrintable(text));
        return false;
    }
    void inform(const QString& text) override { note(QStringLiteral("message"), text); }
    void warning(const QString& text) override { note(QStringLiteral("warning"), text); }
    void error(const QString& text) override { note(QStringLiteral("error"), text); }

private:
    static void note(const QString& kind, const QString& text) {
        check(false, kind + QStringLiteral(": ") + text);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: WindowCaptureProbe REF\n");
        return 2;
    }
    const QImage ref =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const QList<QRect> screens = velorix::capture::DesktopScreens();
    const QRect bounds = probe::desktopOf(screens, ref);

    velorix::Services services = velorix::Services::platform();
    services.prompts = std::make_shared<NotedPrompts>();
    velorix::Tvelorix_2 window(std::move(services));
    check(probe::showAndWait(window), QStringLiteral("the window shown"));
    velorix::capture::TScreenCapture& component = *window.ScreenCapture1;
    for (int i = 0; i < screens.size(); ++i) {
        int shown = 0;
        component.OnOverlayShown = [&](velorix::capture::TCaptureRectForm&) {
            shown = int(component.Overlays().size());
            if (std::size_t(i) >= component.Overlays().size()) {
                component.Overlays().front()->close();
                return;
            }
            overlay::drag(*component.Overlays()[std::size_t(i)], QPoint(100, 100),
                          QPoint(300, 250));
        };
        const int pages = window.PageCount();
        window.selectionecran->click();
        check(shown == screens.size(), QStringLiteral("an overlay on every screen"));
        check(window.PageCount() == (i == 0 ? 1 : pages + 1),
              QStringLiteral("capture %1 made a page").arg(i + 1));
        const TPRImage* image = window.ActivePageImage();
        const QImage page =
            image ? image->Picture().convertToFormat(QImage::Format_RGB32) : QImage();
        const QRect place = screens[i].translated(-bounds.topLeft());
        check(page == ref.copy(place.x() + 100, place.y() + 100, 200, 150),
              QStringLiteral("the page of screen %1 holds the reference's pixels (%2x%3)")
                  .arg(i + 1)
                  .arg(page.width())
                  .arg(page.height()));
        std::fprintf(stderr, "grab backend %s, screen %d of %d: page %dx%d\n",
                     qPrintable(component.Grab().Name()), i + 1, shown, page.width(),
                     page.height());
    }
    return probe::failures == 0 ? 0 : 1;
}
