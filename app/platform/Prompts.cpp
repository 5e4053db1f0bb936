#include "app/platform/Prompts.h"

#include "ScanPlatform.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressDialog>

#include <limits>

namespace velorix {

namespace {
QString title() {
    return QCoreApplication::applicationName();
}
class SilentProgress final : public ProgressWindow {
public:
    void setPage(int, int) override {}
    void show() override {}
    bool cancelled() const override { return false; }
};

class DialogProgress final : public ProgressWindow {
public:
    DialogProgress(QWidget* owner, const QString& caption, bool cancellable)
        : dialog_(QString(), cancellable ? QStringLiteral("Annuler") : QString(), 0, 1, owner) {
        dialog_.setWindowTitle(caption);
        // Modal, so that no other command starts while this one waits for its work.
        dialog_.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
        dialog_.setAutoReset(false);
        dialog_.setAutoClose(false);
        // The command decides when to show it, not QProgressDialog's own estimate.
        dialog_.setMinimumDuration(std::numeric_limits<int>::max());
        dialog_.setMinimumWidth(280);
    }
    void setPage(int n, int total) override {
        dialog_.setMaximum(total);
        dialog_.setValue(n - 1);
        dialog_.setLabelText(QStringLiteral("Page %1 sur %2").arg(n).arg(total));
    }
    void setCaption(const QString& caption) override { dialog_.setWindowTitle(caption); }
    void show() override { dialog_.show(); }
    bool cancelled() const override { return dialog_.wasCanceled(); }

private:
    QProgressDialog dialog_;
};

} // namespace

std::unique_ptr<ProgressWindow> Prompts::progress(const QString&, bool) {
    return std::make_unique<SilentProgress>();
}

std::unique_ptr<scan::IScanProgress>
Prompts::scanProgress(const std::string& title, const std::string& text, bool cancellable) {
    return scan::CreateScanProgressDialog(title, text, cancellable);
}

std::unique_ptr<ProgressWindow> QtPrompts::progress(const QString& caption, bool cancellable) {
    return std::make_unique<DialogProgress>(owner_, caption, cancellable);
}

bool QtPrompts::confirm(const QString& text) {
    return QMessageBox::question(owner_, title(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void QtPrompts::inform(const QString& text) {
    QMessageBox::information(owner_, title(), text, QMessageBox::Ok);
}

void QtPrompts::warning(const QString& text) {
    QMessageBox::warning(owner_, title(), text, QMessageBox::Ok);
}

void QtPrompts::error(const QString& text) {
    QMessageBox::critical(owner_, title(), text, QMessageBox::Ok);
}

void QtPrompts::errorWithTitle(const QString& text, const QString& caption) {
    QMessageBox::critical(owner_, caption, text, QMessageBox::Ok);
}

} // namespace velorix
