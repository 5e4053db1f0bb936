#pragma once
// The checks of the capture probe programs: each failed one is printed and counted.
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QTest>
#include <QWidget>

#include <cstdio>

namespace probe {

inline int failures = 0;

// How long a window may take to be shown: a window manager that has just started, on a machine
// busy with other tests under the sanitizers, took more than Qt's default 5 s.
constexpr int kShowMs = 30000;

// Shows the window and waits until it is on the screen. Once in a while, with openbox just
// started, a window was never exposed in 30 s while the next one was at once: after 10 s the
// window is shown again, as a user would open it again.
inline bool showAndWait(QWidget& window) {
    window.show();
    if (QTest::qWaitForWindowExposed(&window, 10000))
        return true;
    std::fprintf(stderr, "not shown after 10 s: shown again\n");
    window.hide();
    window.show();
    return QTest::qWaitForWindowExposed(&window, kShowMs);
}

inline void check(bool ok, const QString& what) {
    if (!ok) {
        ++failures;
        std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
    }
}

// The whole desktop's rectangle, which a reference picture of it must fill.
inline QRect desktopOf(const QList<QRect>& screens, const QImage& ref) {
    QRect bounds;
    for (const QRect& r : screens)
        bounds |= r;
    check(ref.size() == bounds.size(), QStringLiteral("reference %1x%2, desktop %3x%4")
                                           .arg(ref.width())
                                           .arg(ref.height())
                                           .arg(bounds.width())
                                           .arg(bounds.height()));
    return bounds;
}

} // namespace probe
