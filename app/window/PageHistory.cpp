// The page set's history, and the window's side of it: states taken before and after each
// recorded command, "Annuler" and "Rétablir" putting one back; moving pages, which renames
// every page so that names stay equal to positions.
#include "app/window/PageHistory.h"

#include "app/window/MainWindow.h"
#include "report/PReport.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace velorix {

PageHold::~PageHold() {
    // Out of the tab control and named by no step any more: nothing else frees it.
    if (sheet_ && !sheet_->parent())
        delete sheet_.data();
}

bool PageState::SamePicture(const PageState& other) const {
    return scale == other.scale && picture.cacheKey() == other.picture.cacheKey() &&
           stretch == other.stretch && shown == other.shown;
}

qint64 PageState::PictureBytes() const {
    if (scale)
        return qint64(scale->size.width()) * scale->size.height() * 4;
    return picture.sizeInBytes();
}

bool PageSetState::SameAs(const PageSetState& other) const {
    if (pages.size() != other.pages.size() || firstPageFilled != other.firstPageFilled)
        return false;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const PageState& a = pages[i];
        const PageState& b = other.pages[i];
        if (a.hold != b.hold || a.visible != b.visible || !a.SamePicture(b))
            return false;
    }
    return true;
}

qint64 PageSetState::BytesApartFrom(const PageSetState& other) const {
    qint64 bytes = 0;
    for (const PageState& page : pages) {
        bool shared = false;
        for (const PageState& there : other.pages)
            if (there.hold == page.hold && there.SamePicture(page))
                shared = true;
        if (!shared)
            bytes += page.PictureBytes();
    }
    return bytes;
}

TPageHistory::TPageHistory(qint64 budgetBytes, int maxSteps)
    : budget_(budgetBytes), maxSteps_(maxSteps) {}

std::shared_ptr<PageHold> TPageHistory::HoldOf(QWidget* sheet) {
    auto& slot = holds_[sheet];
    std::shared_ptr<PageHold> hold = slot.lock();
    if (!hold || hold->sheet() != sheet) {
        hold = std::make_shared<PageHold>(sheet);
        slot = hold;
    }
    return hold;
}

void TPageHistory::Record(PageSetState before, PageSetState after) {
    if (before.SameAs(after))
        return;
    left_ = nullptr;
    for (const Step& step : undone_)
        held_ -= step.bytes;
    undone_.clear();
    Step step;
    step.bytes = before.BytesApartFrom(after) + after.BytesApartFrom(before);
    step.before = std::move(before);
    step.after = std::move(after);
    held_ += step.bytes;
    done_.push_back(std::move(step));
    Trim();
    // Forgotten sheets leave the map once no step names them.
    std::erase_if(holds_, [](const auto& entry) { return entry.second.expired(); });
}

void TPageHistory::Trim() {
    while (!done_.empty() && (held_ > budget_ || Steps() > maxSteps_)) {
        held_ -= done_.front().bytes;
        done_.pop_front();
    }
}

const PageSetState* TPageHistory::Undo() {
    if (done_.empty())
        return nullptr;
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
    left_ = &undone_.back().after;
    return &undone_.back().before;
}

const PageSetState* TPageHistory::Redo() {
    if (undone_.empty())
        return nullptr;
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
    left_ = &done_.back().before;
    return &done_.back().after;
}

// ---- The window's side ---------------------------------------------------------------------

namespace {

TPRImage* ImageOf(QWidget* sheet) {
    return sheet ? sheet->findChild<TPRImage*>() : nullptr;
}

TPRPage* ReportPageOf(QWidget* sheet) {
    return sheet ? sheet->findChild<TPRPage*>() : nullptr;
}

} // namespace

std::vector<QObject*> Tvelorix_2::HistoryCommands() const {
    return {imprimer,
            enregistrerimage,
            mailer,
            effacer,
            moins90,
            plus90,
            plus180,
            noiretblanc,
            selection,
            auto_,
            Zoom1,
            Imprimerlimage1,
            Maileruneimage1,
            ENREGISTRERLIMAGE1,
            EnregistrerToutes1,
            OUTILS1->menuAction()};
}

PageSetState Tvelorix_2::CapturePageSet() {
    PageSetState state;
    state.current = PageControl1->currentIndex();
    state.firstPageFilled = FirstPageFilled;
    state.fullPageBox = auto_->isChecked();
    for (int i = 0; i < PageControl1->count(); ++i) {
        QWidget* sheet = PageControl1->widget(i);
        PageState page;
        page.hold = history_->HoldOf(sheet);
        page.visible = PageControl1->isTabVisible(i);
        page.icon = PageControl1->tabIcon(i);
        if (TPRImage* image = ImageOf(sheet)) {
            if (image->ScalePending())
                page.scale = image->PendingScale();
            else
                page.picture = image->Picture();
            page.stretch = image->Stretch();
        }
        if (TPRPage* report = ReportPageOf(sheet))
            page.shown = !report->isHidden();
        state.pages.push_back(std::move(page));
    }
    for (QObject* command : HistoryCommands()) {
        if (auto* widget = qobject_cast<QWidget*>(command))
            state.commands.push_back(widget->isEnabled());
        else if (auto* action = qobject_cast<QAction*>(command))
            state.commands.push_back(action->isEnabled());
    }
    return state;
}

void Tvelorix_2::ApplyPageSet(const PageSetState& target, const PageSetState& from) {
    {
        QuietPageChanges quiet(quietPageChanges_);
        ++restoringPages_;
        // Pages that the target does not hold leave the tab control, kept by the steps alone.
        std::vector<QWidget*> wanted;
        for (const PageState& page : target.pages)
            wanted.push_back(page.hold->sheet());
        for (int i = PageControl1->count() - 1; i >= 0; --i) {
            QWidget* sheet = PageControl1->widget(i);
            if (std::find(wanted.begin(), wanted.end(), sheet) == wanted.end()) {
                PageControl1->removeTab(i);
                sheet->setParent(nullptr);
            }
        }
        for (int i = 0; i < int(target.pages.size()); ++i) {
            const PageState& page = target.pages[std::size_t(i)];
            QWidget* sheet = page.hold->sheet();
            const int at = PageControl1->indexOf(sheet);
            if (at < 0)
                PageControl1->insertTab(i, sheet, page.icon, QString());
            else if (at != i)
                PageControl1->tabBar()->moveTab(at, i);
            PageControl1->setTabVisible(i, page.visible);
            // Only what this step changed: a later zoom of another page stays.
            const auto old = std::find_if(from.pages.begin(), from.pages.end(),
                                          [&](const PageState& p) { return p.hold == page.hold; });
            TPRImage* image = ImageOf(sheet);
            if (image && (old == from.pages.end() || !old->SamePicture(page))) {
                if (page.scale)
                    image->SetPendingScale(page.scale);
                else
                    image->SetPicture(page.picture);
                image->SetStretch(page.stretch);
                image->SetRecogniseText(searchableText_);
                image->PrepareStream();
                if (TPRPage* report = ReportPageOf(sheet))
                    report->setVisible(page.shown);
                image->update();
            }
        }
        --restoringPages_;
        RenamePages();
        FirstPageFilled = target.firstPageFilled;
        if (target.current >= 0 && target.current < PageControl1->count())
            PageControl1->setCurrentIndex(target.current);
    }
    // The page shown now takes its zoom source and full-page state, as entering it does.
    PageControl1Change(PageControl1);
    const QSignalBlocker blocker(auto_);
    auto_->setChecked(target.fullPageBox);
    const std::vector<QObject*> commands = HistoryCommands();
    for (std::size_t i = 0; i < commands.size() && i < target.commands.size(); ++i) {
        if (auto* widget = qobject_cast<QWidget*>(commands[i]))
            widget->setEnabled(target.commands[i]);
        else if (auto* action = qobject_cast<QAction*>(commands[i]))
            action->setEnabled(target.commands[i]);
    }
}

void Tvelorix_2::RenamePages() {
    for (int i = 0; i < PageControl1->count(); ++i) {
        QWidget* sheet = PageControl1->widget(i);
        const int n = i + 1;
        // The window's own page keeps its own names while it is first; elsewhere it is named
        // as the pages added at run time are.
        const bool design = i == 0 && sheet == TabSheet1;
        sheet->setObjectName(design ? QStringLiteral("TabSheet1")
                                    : QStringLiteral("TabeSheet%1").arg(n));
        PageControl1->setTabText(i, QString::number(n));
        if (TPRPage* page = ReportPageOf(sheet))
            page->setObjectName(design ? QStringLiteral("PRPage1")
                                       : QStringLiteral("Page%1").arg(n));
        if (auto* panel = sheet->findChild<TPRLayoutPanel*>())
            panel->setObjectName(QStringLiteral("PRLayoutPanel%1").arg(n));
        if (TPRImage* image = ImageOf(sheet))
            image->setObjectName(QStringLiteral("PRImage%1").arg(n));
        if (sheet == TabSheet1 && ScrollBox1)
            ScrollBox1->setObjectName(design ? QStringLiteral("ScrollBox1") : QString());
    }
}

void Tvelorix_2::Recorded(const std::function<void()>& command) {
    PageSetState before = CapturePageSet();
    ++recording_;
    Guarded(command);
    --recording_;
    history_->Record(std::move(before), CapturePageSet());
    UpdateHistoryActions();
    KeepForRecovery();
}

void Tvelorix_2::UpdateHistoryActions() {
    Annuler1->setEnabled(history_->CanUndo());
    Retablir1->setEnabled(history_->CanRedo());
}

void Tvelorix_2::PageTabMoved(int from, int to) {
    if (restoringPages_ > 0)
        return;
    RenamePages();
    if (recording_ > 0)
        return; // the recorded command's own step holds the move
    // A tab dragged by the user: the state before is the one after with the tab put back.
    PageSetState after = CapturePageSet();
    PageSetState before = after;
    PageState moved = before.pages[std::size_t(to)];
    before.pages.erase(before.pages.begin() + to);
    before.pages.insert(before.pages.begin() + from, std::move(moved));
    if (before.current == to)
        before.current = from;
    history_->Record(std::move(before), std::move(after));
    UpdateHistoryActions();
    KeepForRecovery();
}

int Tvelorix_2::NeighbourPage(int index, int direction) const {
    for (int i = index + direction; i >= 0 && i < PageControl1->count(); i += direction)
        if (PageControl1->isTabVisible(i))
            return i;
    return -1;
}

void Tvelorix_2::MovePage(int from, int to) {
    if (from < 0 || to < 0 || from >= PageControl1->count() || to >= PageControl1->count() ||
        from == to)
        return;
    QuietPageChanges quiet(quietPageChanges_);
    PageControl1->tabBar()->moveTab(from, to); // renames through PageTabMoved
}

void Tvelorix_2::DeplacerGauche1Click(QObject*) {
    const int i = PageControl1->currentIndex();
    if (i >= 0 && PageControl1->isTabVisible(i))
        MovePage(i, NeighbourPage(i, -1));
}

void Tvelorix_2::DeplacerDroite1Click(QObject*) {
    const int i = PageControl1->currentIndex();
    if (i >= 0 && PageControl1->isTabVisible(i))
        MovePage(i, NeighbourPage(i, +1));
}

void Tvelorix_2::Annuler1Click(QObject*) {
    if (const PageSetState* target = history_->Undo())
        ApplyPageSet(*target, *history_->LeftState());
    UpdateHistoryActions();
    KeepForRecovery();
}

void Tvelorix_2::Retablir1Click(QObject*) {
    if (const PageSetState* target = history_->Redo())
        ApplyPageSet(*target, *history_->LeftState());
    UpdateHistoryActions();
    KeepForRecovery();
}

} // namespace velorix
