// A report page as the window makes one: margins 0, a layout panel over the page and a picture
// filling it, named PRImage1 unless told. Shared by report tests and benchmarks.
#pragma once

#include "report/PReport.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace velorix::testing {

struct ReportPage {
    TPRPage page;
    TPRImage* image;
    explicit ReportPage(const QImage& picture, bool stretch = true, QSize size = QSize(600, 800),
                        const QString& name = QStringLiteral("PRImage1")) {
        page.SetMarginTop(0);
        page.SetMarginLeft(0);
        page.SetMarginRight(0);
        page.SetMarginBottom(0);
        page.SetBounds(0, 0, size.width(), size.height());
        auto* layout = new TPRLayoutPanel(&page);
        layout->SetAlign(alClient);
        image = new TPRImage(layout);
        image->setObjectName(name);
        image->SetAlign(alClient);
        image->SetStretch(stretch);
        page.Realign();
        image->SetPicture(picture);
    }
};

} // namespace velorix::testing
