// The window's side of recovery: the page set handed to the writer after every change, the
// question at start for a session that did not end, and its pages put back.
#include "app/window/MainWindow.h"
#include "app/window/PageHistory.h"
#include "app/window/Recovery.h"
#include "report/PReport.h"
#include "waits/Waits.h"

#include <QCheckBox>
#include <QScrollBar>
#include <QTabWidget>

namespace velorix {

void Tvelorix_2::StartRecovery() {
    if (services_.recoveryFolder.isEmpty())
        return;
    // Told on the writer's thread; the warning waits for the window and for no command to run,
    // so that a scan under way goes on.
    QPointer<Tvelorix_2> self(this);
    recovery_ = std::make_unique<TRecovery>(services_.recoveryFolder, [self](const QString& why) {
        QMetaObject::invokeMethod(
            self,
            [self, why] {
                waits::WhenNoCommand(self, [self, why] {
                    self->prompts().warning(
                        QStringLiteral("La sauvegarde de secours des pages est arrêtée (%1) : "
                                       "les pages restent ouvertes, mais ne pourront pas être "
                                       "restaurées après un arrêt brutal du programme.")
                            .arg(why));
                });
            },
            Qt::QueuedConnection);
    });
}

void Tvelorix_2::KeepForRecovery() {
    if (!recovery_ || !recovery_->Working())
        return;
    std::vector<RecoveredPage> pages;
    // The placeholder of the window's own page is no page of the user's.
    if (FirstPageFilled) {
        for (const PageState& page : CapturePageSet().pages) {
            // A zoomed picture not made yet is kept at its own size.
            const QImage picture = page.scale ? page.scale->source : page.picture;
            if (!picture.isNull())
                pages.push_back({picture, page.visible, page.stretch});
        }
    }
    recovery_->Keep(std::move(pages));
}

void Tvelorix_2::RestorePages(const std::vector<RecoveredPage>& pages) {
    int n = PageCount();
    for (const RecoveredPage& kept : pages) {
        TPRImage* image = nullptr;
        TPRPage* report = nullptr;
        if (!FirstPageFilled && (image = FillFirstPage(PageKind::Scanned))) {
            report = PRPage1;
            FirstPageFilled = true;
        } else {
            const ImagePage page = AddImagePage(++n, PageKind::Scanned);
            image = page.image;
            report = page.page;
        }
        image->SetPicture(kept.picture);
        image->SetStretch(kept.stretch);
        report->show();
        image->PrepareStream();
        PageControl1->setTabVisible(PageControl1->count() - 1, kept.visible);
    }
    for (int i = 0; i < PageControl1->count(); ++i) {
        if (PageControl1->isTabVisible(i)) {
            ActivatePage(i);
            break;
        }
    }
    EnablePageCommands();
    PageControl1Change(PageControl1);
    Zoom1->setEnabled(!auto_->isChecked());
    KeepForRecovery();
}

void OfferRecovery(Tvelorix_2& window) {
    if (!window.Recovery())
        return;
    const QString root = window.services().recoveryFolder;
    for (const QString& folder : TRecovery::Abandoned(root)) {
        const int count = TRecovery::PageCount(folder);
        if (count > 0 &&
            window.prompts().confirm(QStringLiteral("La dernière session s'est arrêtée avant la "
                                                    "fin. Restaurer ses %1 pages ?")
                                         .arg(count))) {
            int unreadable = 0;
            const std::vector<RecoveredPage> pages = TRecovery::Read(folder, &unreadable);
            window.RestorePages(pages);
            // Kept by this session now: the old folder goes once they are written again.
            window.Recovery()->Flush();
            if (unreadable > 0)
                window.prompts().warning(
                    QStringLiteral("%1 page(s) de la dernière session étaient endommagées et "
                                   "n'ont pas pu être restaurées.")
                        .arg(unreadable));
        }
        TRecovery::Remove(folder);
    }
}

} // namespace velorix
