// Report page controls: placement, margins and alignment, pictures and painting.
#include "report/PReport.h"

#include "imaging/SmoothScale.h"
#include "pdf/PdfImages.h"
#include "report/PreparedPicture.h"
#include "workpool/WorkPool.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <chrono>
#include <future>

namespace {

QImage Filled(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Pixels with no pattern a wrong offset could match by chance.
QImage Noise(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    quint32 x = 2463534242u;
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < w; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            image.setPixel(i, y, x | 0xff000000u);
        }
    }
    return image;
}

// The first pixel where two pictures differ, as text; empty when none does.
QString FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("at %1,%2").arg(x).arg(y);
        }
    }
    return {};
}

// A report page as the main window builds one: 600 x 800, no margins, the image filling the
// panel inside the 1-pixel bevel, at its own size.
struct WindowPage {
    TPRPage page;
    TPRImage* image;
    WindowPage() {
        page.SetMarginTop(0);
        page.SetMarginLeft(0);
        page.SetMarginRight(0);
        page.SetMarginBottom(0);
        page.SetBounds(0, 0, 600, 800);
        auto* layout = new TPRLayoutPanel(&page);
        layout->SetAlign(alClient);
        image = new TPRImage(layout);
        image->SetAlign(alClient);
        image->SetStretch(false);
    }
};

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

class TestPReportControls : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void marginsAndAlignment();
    void alignmentOrder();
    void placementRules();
    void pictures();
    void painting();
    void scaledPicturePaintsWhatShows();
    void scaledPictureInAScrolledView();
    void preparedPicture();
};

void TestPReportControls::defaults() {
    TPRPage page;
    QCOMPARE(page.size(), QSize(596, 842));
    QCOMPARE(page.MarginTop(), 32);
    QCOMPARE(page.MarginBottom(), 32);
    TPRPanel panel(&page);
    QCOMPARE(panel.height(), 100);
    TPRImage image(&panel);
    QCOMPARE(image.size(), QSize(100, 30));
    QVERIFY(image.Printable());
    QVERIFY(image.SharedImage());
    QVERIFY(image.Stretch());
    QCOMPARE(image.Page(), &page);
    TPRLayoutPanel inner(&panel);
    QCOMPARE(inner.Page(), &page);
}

void TestPReportControls::marginsAndAlignment() {
    TPRPage page; // hidden throughout: alignment must not wait for a show
    auto* layout = new TPRLayoutPanel(&page);
    layout->SetAlign(alClient);
    // Default margins of 32 inside the 1-pixel bevel.
    QCOMPARE(layout->geometry(), QRect(33, 33, 596 - 66, 842 - 66));

    page.SetMarginTop(300); // not below 596 / 2
    QCOMPARE(page.MarginTop(), 32);
    page.SetMarginTop(298);
    QCOMPARE(page.MarginTop(), 32);
    page.SetMarginTop(-1);
    QCOMPARE(page.MarginTop(), 32);
    page.SetMarginTop(297);
    QCOMPARE(page.MarginTop(), 297);
    QCOMPARE(layout->y(), 298);

    page.SetMarginTop(0);
    page.SetMarginLeft(0);
    page.SetMarginRight(0);
    page.SetMarginBottom(0);
    page.SetBounds(0, 0, 600, 800);
    QCOMPARE(layout->geometry(), QRect(1, 1, 598, 798));

    // An image aligned to the panel follows the panel.
    auto* image = new TPRImage(layout);
    image->SetAlign(alClient);
    QCOMPARE(image->geometry(), QRect(0, 0, 598, 798));
    page.SetHeight(500);
    QCOMPARE(image->geometry(), QRect(0, 0, 598, 498));

    // Qt's own resize of a hidden page, then an explicit realign.
    page.resize(400, 300);
    page.Realign();
    QCOMPARE(layout->geometry(), QRect(1, 1, 398, 298));
}

void TestPReportControls::alignmentOrder() {
    TPRPage page;
    page.SetMarginTop(0);
    page.SetMarginLeft(0);
    page.SetMarginRight(0);
    page.SetMarginBottom(0);
    page.SetBounds(0, 0, 202, 102);
    // Created in an order that differs from the alignment order.
    auto* client = new TPRPanel(&page);
    client->SetAlign(alClient);
    auto* left = new TPRPanel(&page);
    left->resize(30, 10);
    left->SetAlign(alLeft);
    auto* top = new TPRPanel(&page);
    top->resize(10, 20);
    top->SetAlign(alTop);
    auto* bottom = new TPRPanel(&page);
    bottom->resize(10, 5);
    bottom->SetAlign(alBottom);
    auto* right = new TPRPanel(&page);
    right->resize(40, 10);
    right->SetAlign(alRight);
    auto* hidden = new TPRPanel(&page);
    hidden->resize(50, 50);
    hidden->hide();
    hidden->SetAlign(alTop);

    QCOMPARE(top->geometry(), QRect(1, 1, 200, 20));
    QCOMPARE(bottom->geometry(), QRect(1, 96, 200, 5));
    QCOMPARE(left->geometry(), QRect(1, 21, 30, 75));
    QCOMPARE(right->geometry(), QRect(161, 21, 40, 75));
    QCOMPARE(client->geometry(), QRect(31, 21, 130, 75));

    // Margins too large for the page leave an empty client area, not a negative one.
    page.SetMarginLeft(100);
    page.SetMarginRight(100);
    QCOMPARE(client->width(), 0);
}

void TestPReportControls::placementRules() {
    TPRPage page;
    TPRPanel panel(&page);
    QScrollArea other;

    try {
        TPRImage image(&page);
        QFAIL("an image directly on a page was accepted");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString(e.what()), QString("this component must set on TPRPanel"));
    }
    try {
        TPRLayoutPanel layout(&other);
        QFAIL("a layout panel on a scroll area was accepted");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString(e.what()), QString("TPRPage can not set on QScrollArea"));
    }

    // Re-parenting is checked too, and a refused move leaves the control where it was.
    auto* image = new TPRImage(&panel);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, image->setParent(&page));
    QCOMPARE(image->parentWidget(), &panel);
    auto* layout = new TPRLayoutPanel();
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, layout->setParent(&other));
    layout->setParent(&page);
    QCOMPARE(layout->Page(), &page);
    image->setParent(nullptr);
    delete image;

    // A move keeps a shown control shown (Qt alone would hide it) and realigns the new parent.
    TPRPage shownPage;
    shownPage.show();
    auto* moved = new TPRLayoutPanel(&shownPage);
    moved->SetAlign(alClient);
    QVERIFY(moved->isVisible());
    auto* hiddenOne = new TPRPanel(&shownPage);
    hiddenOne->hide();
    TPRPage target;
    target.SetBounds(0, 0, 300, 200);
    target.show();
    moved->setParent(&target);
    hiddenOne->setParent(&target);
    QVERIFY(moved->isVisible());
    QVERIFY(!hiddenOne->isVisible());
    QCOMPARE(moved->geometry(), QRect(33, 33, 234, 134));

    // A plain panel may go anywhere; an item on it has no page.
    TPRPanel loose(&other);
    TPRImage onLoose(&loose);
    QCOMPARE(onLoose.Page(), nullptr);
}

void TestPReportControls::pictures() {
    TPRPage page;
    TPRPanel panel(&page);
    TPRImage image(&panel);
    image.SetPictureData(Encoded(Filled(3, 2, Qt::red), "BMP"));
    QCOMPARE(image.Picture().size(), QSize(3, 2));
    QCOMPARE(image.Picture().pixelColor(1, 1), QColor(Qt::red));

    try {
        image.SetPictureData(Encoded(Filled(5, 5, Qt::blue), "JPEG"));
        QFAIL("a JPEG picture was accepted");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString(e.what()), QString("only bitmap image is allowed."));
    }
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, image.SetPictureData("BM garbage"));
    QCOMPARE(image.Picture().size(), QSize(3, 2)); // refused pictures leave the old one

    // The picture is a copy: changing the source afterwards does not reach the page.
    QImage source = Filled(2, 2, Qt::green);
    image.SetPicture(source);
    source.fill(Qt::black);
    QCOMPARE(image.Picture().pixelColor(0, 0), QColor(Qt::green));

    image.SetPictureData(QByteArray());
    QVERIFY(image.Picture().isNull());
}

void TestPReportControls::painting() {
    TPRPage page;
    page.SetBounds(0, 0, 60, 40);
    auto* layout = new TPRLayoutPanel(&page);
    layout->SetAlign(alClient);
    auto* image = new TPRImage(layout);
    image->setObjectName("PRImage7");
    image->SetAlign(alClient);
    page.SetMarginTop(0);
    page.SetMarginLeft(0);
    page.SetMarginRight(0);
    page.SetMarginBottom(0);
    QCOMPARE(image->size(), QSize(58, 38));

    // No picture: a dotted blue outline along the four edges, the white panel inside.
    const QColor blue(0, 0, 255);
    QImage shot = layout->grab().toImage();
    auto bluesOnEdge = [&](int x0, int y0, int dx, int dy, int n) {
        int count = 0;
        for (int i = 0; i < n; ++i) {
            count += shot.pixelColor(x0 + i * dx, y0 + i * dy) == blue ? 1 : 0;
        }
        return count;
    };
    for (int edge : {bluesOnEdge(0, 0, 1, 0, 58), bluesOnEdge(0, 37, 1, 0, 58),
                     bluesOnEdge(0, 0, 0, 1, 38), bluesOnEdge(57, 0, 0, 1, 38)}) {
        QVERIFY(edge > 5);
        QVERIFY(edge < 35); // dotted, not solid
    }
    QCOMPARE(shot.pixelColor(30, 30), QColor(Qt::white));

    // A 10 x 10 picture, half red half green: stretched it fills the item.
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (int y = 5; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            picture.setPixelColor(x, y, Qt::green);
        }
    }
    image->SetPicture(picture);
    shot = layout->grab().toImage();
    QCOMPARE(shot.pixelColor(50, 2), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(50, 35), QColor(Qt::green));

    // Not stretched: at its own size from the top-left corner, the rest is the white panel.
    image->SetStretch(false);
    shot = layout->grab().toImage();
    QCOMPARE(shot.pixelColor(2, 2), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(2, 7), QColor(Qt::green));
    QCOMPARE(shot.pixelColor(20, 20), QColor(Qt::white));

    // The page keeps its 1-pixel bevel around the panel.
    shot = page.grab().toImage();
    QVERIFY(shot.pixelColor(0, 20) != QColor(Qt::red));
    QVERIFY(shot.pixelColor(59, 20).lightness() < 200); // the raised bevel's shadow
    QCOMPARE(shot.pixelColor(1, 20), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(1, 2), QColor(Qt::red));
}

// Painting a pending scaled picture draws the pixels the picture will have, and makes nothing
// more than what shows.
void TestPReportControls::scaledPicturePaintsWhatShows() {
    WindowPage big;
    const QImage source = Noise(300, 400);
    big.image->SetScaledPicture(source, QSize(900, 1000));
    QVERIFY(big.image->ScalePending());
    const QImage shot = big.image->grab().toImage();
    QVERIFY(big.image->ScalePending());
    const QImage made = big.image->Picture();
    QVERIFY(!big.image->ScalePending());
    QCOMPARE(made.size(), QSize(900, 1000));
    QCOMPARE(made, SmoothScaled(source, QSize(900, 1000)));
    QCOMPARE(FirstDifference(shot, made.copy(0, 0, 598, 798)), QString());

    // Smaller than the item: the rest is the white panel.
    WindowPage small;
    const QImage tiny = Noise(20, 15);
    small.image->SetScaledPicture(tiny, QSize(50, 45));
    const QImage panel = small.image->parentWidget()->grab().toImage();
    QCOMPARE(FirstDifference(panel.copy(0, 0, 50, 45), SmoothScaled(tiny, QSize(50, 45))),
             QString());
    QCOMPARE(panel.pixelColor(50, 10), QColor(Qt::white));
    QCOMPARE(panel.pixelColor(10, 45), QColor(Qt::white));

    // The source's own size is the source itself, nothing pending; an empty size empties it.
    small.image->SetScaledPicture(tiny, tiny.size());
    QVERIFY(!small.image->ScalePending());
    QCOMPARE(small.image->Picture().cacheKey(), tiny.cacheKey());
    small.image->SetScaledPicture(tiny, QSize(0, 10));
    QVERIFY(small.image->Picture().isNull());
}

// In a scroll box smaller than the page, the part in view is the part of the picture under it.
void TestPReportControls::scaledPictureInAScrolledView() {
    QScrollArea box;
    box.setWidgetResizable(false);
    box.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    box.resize(260, 190);
    auto* page = new WindowPage;
    box.setWidget(&page->page);
    const QImage source = Noise(200, 300);
    page->image->SetScaledPicture(source, QSize(1200, 1300));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.horizontalScrollBar()->setValue(250);
    box.verticalScrollBar()->setValue(330);
    const int dx = box.horizontalScrollBar()->value();
    const int dy = box.verticalScrollBar()->value();
    QVERIFY(dx > 0 && dy > 0);
    QWidget* view = box.viewport();
    const QImage shot = view->grab().toImage();
    QVERIFY(page->image->ScalePending());
    // Viewport (0, 0) is page (dx, dy), the image (dx - 1, dy - 1) inside the bevel.
    const QRect shown(dx - 1, dy - 1, view->width(), view->height());
    QCOMPARE(FirstDifference(shot, SmoothScaledPart(source, QSize(1200, 1300), shown)), QString());
    box.takeWidget();
    delete page;
}

// The prepared state alone: a post that fails leaves the page exportable, and a stream the
// window needs before any worker started it is made on the window's thread.
void TestPReportControls::preparedPicture() {
    const QImage source = Noise(300, 400);
    const QSize size(900, 1000);
    const QImage scaled = SmoothScaled(source, size);
    {
        TPreparedPicture picture;
        picture.SetScaledPicture(source, size);
        pdfwork::TWorkPool::FailNextPosts(1);
        picture.PrepareStream();
        QVERIFY(!picture.StreamPending());
        QCOMPARE(picture.Picture(), scaled);
        const auto stream = picture.CompressedPicture();
        QVERIFY(stream != nullptr);
        QVERIFY(*stream == *TPdfBitmapImage::CompressPixels(scaled));
    }

    // Every worker busy for ten seconds: the enlargement is made on the caller at once.
    std::promise<void> release;
    const std::shared_future<void> gate = release.get_future().share();
    auto& pool = pdfwork::TWorkPool::Shared();
    for (int i = 0; i < pool.ThreadCount(); ++i)
        pool.Post([gate] { gate.wait_for(std::chrono::seconds(10)); });
    TPreparedPicture picture;
    picture.SetScaledPicture(source, size);
    picture.PrepareStream();
    QVERIFY(picture.StreamPending());
    QElapsedTimer clock;
    clock.start();
    const QImage made = picture.Picture();
    const qint64 waited = clock.elapsed();
    // Only the picture was made there: its compression waits for a worker.
    QVERIFY(picture.StreamPending());
    release.set_value();
    QCOMPARE(made, scaled);
    const auto stream = picture.CompressedPicture();
    QVERIFY(picture.StreamReady());
    QVERIFY(*stream == *TPdfBitmapImage::CompressPixels(scaled));
    QVERIFY2(waited < 5000, qPrintable(QStringLiteral("waited %1 ms").arg(waited)));
}

QTEST_MAIN(TestPReportControls)
#include "PReportTest.moc"
