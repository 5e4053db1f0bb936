#pragma once
// The page set's history for "Annuler" and "Rétablir". Each recorded command is kept as the page
// set before it and after it: the pages in order (their controls kept alive while a step still
// names them), which tabs show, each page's picture and full-page state, and the page commands'
// state. Pictures are shared, not copied: a step costs only the pictures that it changed.
#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

struct TPendingScale;

namespace velorix {

// Keeps one page's controls (its tab sheet and all below it) alive for the steps that name it.
// A sheet out of the tab control has no parent: the last step that names it frees it.
class PageHold {
public:
    explicit PageHold(QWidget* sheet) : sheet_(sheet) {}
    ~PageHold();
    PageHold(const PageHold&) = delete;
    PageHold& operator=(const PageHold&) = delete;
    QWidget* sheet() const { return sheet_; }

private:
    QPointer<QWidget> sheet_;
};

// One page as a step remembers it.
struct PageState {
    std::shared_ptr<PageHold> hold;
    bool visible = true;
    QIcon icon;
    QImage picture;                       // null while `scale` is pending
    std::shared_ptr<TPendingScale> scale; // a zoomed picture not made yet
    bool stretch = true;
    bool shown = false; // the report page shows (a page whose picture never came stays hidden)

    bool SamePicture(const PageState& other) const;
    qint64 PictureBytes() const;
};

struct PageSetState {
    std::vector<PageState> pages;
    int current = -1;
    bool firstPageFilled = false;
    bool fullPageBox = false;
    std::vector<bool> commands; // enabled state of the page commands, in the window's order

    bool SameAs(const PageSetState& other) const;
    // The pages of `this` that are not in `other`, or whose picture differs there.
    qint64 BytesApartFrom(const PageSetState& other) const;
};

class TPageHistory {
public:
    // Steps beyond either bound are forgotten, oldest first.
    explicit TPageHistory(qint64 budgetBytes = qint64(1) << 30, int maxSteps = 200);

    // The hold of a page's sheet: one per sheet, shared by every state that names it.
    std::shared_ptr<PageHold> HoldOf(QWidget* sheet);

    // Keeps a command's step when it changed the page set; the steps undone are forgotten.
    void Record(PageSetState before, PageSetState after);

    bool CanUndo() const { return !done_.empty(); }
    bool CanRedo() const { return !undone_.empty(); }
    // The state to go back to (the last step's "before"), the step moving to the undone list;
    // the caller applies it. Null when there is nothing.
    const PageSetState* Undo();
    const PageSetState* Redo();
    // The step an Undo or Redo just moved, seen from the state it left.
    const PageSetState* LeftState() const { return left_; }

    int Steps() const { return int(done_.size() + undone_.size()); }
    qint64 HeldBytes() const { return held_; }
    qint64 Budget() const { return budget_; }

private:
    struct Step {
        PageSetState before;
        PageSetState after;
        qint64 bytes = 0;
    };
    void Trim();

    std::deque<Step> done_;
    std::vector<Step> undone_;
    const PageSetState* left_ = nullptr;
    qint64 held_ = 0;
    qint64 budget_;
    int maxSteps_;
    std::unordered_map<QWidget*, std::weak_ptr<PageHold>> holds_;
};

} // namespace velorix
